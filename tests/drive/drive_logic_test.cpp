// The square drive's sequence of port writes and waits, recorded through its operations.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/square_drive.h"

namespace {

struct Step {
    char kind;       // 'W' write, 'S' sleep, 'R' read back
    uint32_t first;  // port, or milliseconds
    uint32_t second; // byte
    bool operator==(const Step& other) const {
        return kind == other.kind && first == other.first && second == other.second;
    }
};

std::ostream& operator<<(std::ostream& out, const Step& step) {
    return out << step.kind << "(" << step.first << "," << step.second << ")";
}

// Records what the drive does; the step count and the delay come from functions of what has
// been recorded so far, so a case can change them in the middle of a drive.
struct Recorder {
    int64_t port = 888;
    std::function<int64_t(const Recorder&)> steps = [](const Recorder&) { return 100; };
    std::function<int64_t(const Recorder&)> delay = [](const Recorder&) { return 5; };
    size_t stopAfterWrites = SIZE_MAX; // told to stop once this many writes are made
    int32_t readBack = NO_READ_BACK;   // what the port gives back: a byte, or -1 for nothing
    std::vector<Step> log;
    std::vector<uint32_t> idles; // of each write: what a stop after it would write
    std::vector<DriveProgress> progress;
    size_t writes = 0;
    int portReads = 0;
    int reports = 0;
    intptr_t reportedDrive = 0;           // the name the last report carried
    std::vector<uint32_t> noPortReported; // port, byte written, byte read

    static constexpr int32_t NO_READ_BACK = -2; // no operation to read the port with

    SquareDriveIo Io() {
        SquareDriveIo io = {};
        io.context = this;
        io.readPortAddress = [](void* c) {
            auto* r = static_cast<Recorder*>(c);
            ++r->portReads;
            return r->port;
        };
        io.readStepCount = [](void* c) {
            auto* r = static_cast<Recorder*>(c);
            return r->steps(*r);
        };
        io.readDelay = [](void* c) {
            auto* r = static_cast<Recorder*>(c);
            return r->delay(*r);
        };
        io.writePort = [](void* c, uint32_t port, uint8_t value, uint8_t idle) {
            auto* r = static_cast<Recorder*>(c);
            if (r->writes >= r->stopAfterWrites) {
                return false;
            }
            r->log.push_back({'W', port, value});
            r->idles.push_back(idle);
            ++r->writes;
            return true;
        };
        io.sleep = [](void* c, uint32_t milliseconds) {
            auto* r = static_cast<Recorder*>(c);
            r->log.push_back({'S', milliseconds, 0});
            return r->writes < r->stopAfterWrites;
        };
        if (readBack != NO_READ_BACK) {
            io.readPort = [](void* c, uint32_t, int32_t* value) {
                auto* r = static_cast<Recorder*>(c);
                r->log.push_back({'R', 0, 0});
                *value = r->readBack;
                return true;
            };
        }
        io.noteProgress = [](void* c, intptr_t, const DriveProgress& progress) {
            static_cast<Recorder*>(c)->progress.push_back(progress);
        };
        io.reportDone = [](void* c, intptr_t drive) {
            auto* r = static_cast<Recorder*>(c);
            ++r->reports;
            r->reportedDrive = drive;
        };
        io.reportNoPort = [](void* c, intptr_t drive, uint32_t port, uint8_t written,
                             uint8_t read) {
            auto* r = static_cast<Recorder*>(c);
            r->reportedDrive = drive;
            r->noPortReported = {port, written, read};
        };
        return io;
    }

    std::vector<uint32_t> Bytes() const {
        std::vector<uint32_t> bytes;
        for (const Step& step : log) {
            if (step.kind == 'W') {
                bytes.push_back(step.second);
            }
        }
        return bytes;
    }
};

// The bytes of the sides in side order: a side with pulses first sets its direction alone, then
// pulses as byte pairs.
std::vector<uint32_t> Pulses(int side1, int side2, int side3, int side4) {
    const uint32_t pairs[4][2] = {{2, 0}, {8, 0}, {3, 1}, {12, 4}};
    const int counts[4] = {side1, side2, side3, side4};
    std::vector<uint32_t> bytes;
    for (int side = 0; side < 4; ++side) {
        if (counts[side] > 0) {
            bytes.push_back(pairs[side][1]);
        }
        for (int i = 0; i < counts[side]; ++i) {
            bytes.push_back(pairs[side][0]);
            bytes.push_back(pairs[side][1]);
        }
    }
    return bytes;
}

TEST(DriveLogicTest, DefaultsGive804WritesToPort888EachFollowedByItsWait) {
    Recorder recorder;
    SquareDriveIo io = recorder.Io();
    io.drive = 7;
    EXPECT_TRUE(DrawSquare(io));
    ASSERT_EQ(recorder.log.size(), 1608u);
    EXPECT_EQ(recorder.Bytes(), Pulses(100, 100, 100, 100));
    for (size_t i = 0; i < recorder.log.size(); i += 2) {
        ASSERT_EQ(recorder.log[i].kind, 'W') << i;
        ASSERT_EQ(recorder.log[i].first, 888u) << i;
        ASSERT_EQ(recorder.log[i + 1], (Step{'S', 5, 0})) << i;
        // A stop after a step-high byte ends the pulse with the side's direction alone.
        ASSERT_EQ(recorder.idles[i / 2], recorder.log[i].second & ~0x0Au) << i;
    }
    EXPECT_EQ(recorder.portReads, 1);
    EXPECT_EQ(recorder.reports, 1);
    EXPECT_EQ(recorder.reportedDrive, 7) << "the completion must name its drive";
    // How far it has come, after every write: the four sides are runs 4 to 7.
    ASSERT_EQ(recorder.progress.size(), 804u);
    for (size_t i = 0; i < 804; ++i) {
        ASSERT_EQ(recorder.progress[i].writesMade, i + 1);
        ASSERT_EQ(recorder.progress[i].writesInAll, 804u);
        ASSERT_EQ(recorder.progress[i].run, FIRST_SIDE_RUN + i / 201) << i;
    }
}

// kalibrix.ini puts each signal on its pin at its level; the sequence keeps its shape. Each row
// gives the twelve bytes of a one-step square (per side: its direction with both step lines at
// rest, the step, at rest again), and what a stop after any of them writes is that side's byte
// at rest: a stopped pulse ends at the step lines' idle level, high when they are active low.
TEST(DriveLogicTest, TheWiringMapsEverySignalToItsPinAndLevel) {
    const struct {
        const char* name;
        PortWiring wiring; // XTakt, XRichtung, YTakt, YRichtung, and the three inversions
        std::vector<uint32_t> bytes;
    } rows[] = {
        {"defaults", {3, 2, 5, 4, 0, 0, 0}, {0, 2, 0, 0, 8, 0, 1, 3, 1, 4, 12, 4}},
        {"step and direction swapped",
         {2, 3, 4, 5, 0, 0, 0},
         {0, 1, 0, 0, 4, 0, 2, 3, 2, 8, 12, 8}},
        {"active-low step", {3, 2, 5, 4, 1, 0, 0}, {10, 8, 10, 10, 2, 10, 11, 9, 11, 14, 6, 14}},
        {"X axis inverted", {3, 2, 5, 4, 0, 1, 0}, {1, 3, 1, 1, 9, 1, 0, 2, 0, 5, 13, 5}},
        {"swapped and active low", {2, 3, 4, 5, 1, 0, 0}, {5, 4, 5, 5, 1, 5, 7, 6, 7, 13, 9, 13}},
        {"pins 6 to 9, active low, Y inverted",
         {9, 8, 7, 6, 1, 0, 1},
         {176, 48, 176, 176, 144, 176, 240, 112, 240, 160, 128, 160}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder;
        recorder.steps = [](const Recorder&) { return 1; };
        SquareDriveIo io = recorder.Io();
        const DriveSettings settings = {row.wiring, 1, 0, 0, 5000};
        io.settings = &settings;
        EXPECT_TRUE(DrawSquare(io));
        EXPECT_EQ(recorder.Bytes(), row.bytes);
        ASSERT_EQ(recorder.idles.size(), row.bytes.size());
        for (size_t i = 0; i < row.bytes.size(); ++i) {
            EXPECT_EQ(recorder.idles[i], row.bytes[i - i % 3]) << "write " << i;
        }
    }
}

// Vorlauf takes up each axis's slack toward +: X back and forward, Y back and forward, each run
// built like a side, then the square as ever. Every byte follows the wiring, and a stop in the
// middle of a pre-travel pulse ends it with that run's byte at rest.
TEST(DriveLogicTest, APreTravelRunsEachAxisBackAndForwardBeforeTheSquare) {
    // Step on pins 2 and 4, active low; direction on pins 3 and 5.
    const DriveSettings settings = {{2, 3, 4, 5, 1, 0, 0}, 1, 2, 0, 5000};
    const std::vector<uint32_t> pretravel = {
        7,  6, 7,  6, 7,  // X back: 7, (6, 7) x 2
        5,  4, 5,  4, 5,  // X forward
        13, 9, 13, 9, 13, // Y back
        5,  1, 5,  1, 5,  // Y forward
    };
    const std::vector<uint32_t> square = {5, 4, 5, 5, 1, 5, 7, 6, 7, 13, 9, 13};
    Recorder recorder;
    recorder.steps = [](const Recorder&) { return 1; };
    SquareDriveIo io = recorder.Io();
    io.settings = &settings;
    EXPECT_TRUE(DrawSquare(io));
    std::vector<uint32_t> expected = pretravel;
    expected.insert(expected.end(), square.begin(), square.end());
    EXPECT_EQ(recorder.Bytes(), expected);
    ASSERT_EQ(recorder.progress.size(), expected.size());
    EXPECT_EQ(recorder.progress.back().writesInAll, DriveWrites(1, 2));
    EXPECT_EQ(DriveWrites(1, 2), 8u * (1 + 2) + 8);
    EXPECT_EQ(recorder.progress[4].run, 0u);
    EXPECT_EQ(recorder.progress[5].run, 1u);
    EXPECT_EQ(recorder.progress[20].run, FIRST_SIDE_RUN);
    EXPECT_EQ(recorder.reports, 1);

    Recorder stopped;
    stopped.stopAfterWrites = 12; // once Y back's first step has begun, its line low
    SquareDriveIo stoppedIo = stopped.Io();
    stoppedIo.settings = &settings;
    EXPECT_FALSE(DrawSquare(stoppedIo));
    expected.resize(12);
    EXPECT_EQ(stopped.Bytes(), expected);
    EXPECT_EQ(stopped.idles.back(), 13u) << "the begun pulse ends with Y back at rest";
    EXPECT_EQ(stopped.reports, 0);
}

// The first write sets the directions with every step line at rest; the port must give it back,
// or no port answers at the address and the drive ends there, reporting what it read.
TEST(DriveLogicTest, AFirstByteThatDoesNotComeBackEndsTheDrive) {
    const struct {
        const char* name;
        int32_t readBack;
        uint8_t checkPort;
        uint32_t pretravel;
        bool drawn;
    } rows[] = {
        {"read back", 0, 1, 0, true},
        {"a floating bus", 255, 1, 0, false},
        {"a library that cannot read", -1, 1, 0, true},
        {"PortPruefen=0", 255, 0, 0, true},
        {"no read operation", Recorder::NO_READ_BACK, 1, 0, true},
        {"the pre-travel's first byte", 0, 1, 3, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder;
        recorder.steps = [](const Recorder&) { return 1; };
        recorder.readBack = row.readBack;
        SquareDriveIo io = recorder.Io();
        io.drive = 5;
        const DriveSettings settings = {DEFAULT_PORT_WIRING, row.checkPort, row.pretravel, 0, 5000};
        io.settings = &settings;
        EXPECT_EQ(DrawSquare(io), row.drawn);
        EXPECT_EQ(recorder.reports, row.drawn ? 1 : 0);
        if (row.drawn) {
            EXPECT_TRUE(recorder.noPortReported.empty());
            continue;
        }
        // The pre-travel begins with X back, direction high: 1 goes out, 0 comes back.
        const uint32_t written = row.pretravel > 0 ? 1 : 0;
        EXPECT_EQ(recorder.log, (std::vector<Step>{{'W', 888, written}, {'R', 0, 0}}));
        EXPECT_EQ(recorder.noPortReported,
                  (std::vector<uint32_t>{888, written, static_cast<uint32_t>(row.readBack)}));
        EXPECT_EQ(recorder.reportedDrive, 5);
    }
}

TEST(DriveLogicTest, StepCountAndDelayChangedMidDriveApplyAtTheNextReadOfEach) {
    Recorder recorder;
    recorder.steps = [](const Recorder& r) { return r.writes < 10 ? 3 : 1; };
    recorder.delay = [](const Recorder& r) { return r.writes < 3 ? 5 : 7; };
    EXPECT_TRUE(DrawSquare(recorder.Io()));
    // Side 1 runs its 3 pulses; side 2 ends after the pulse during which the count fell to 1.
    EXPECT_EQ(recorder.Bytes(), Pulses(3, 1, 1, 1));
    EXPECT_EQ(recorder.log[1], (Step{'S', 5, 0}));
    EXPECT_EQ(recorder.log[3], (Step{'S', 5, 0}));
    EXPECT_EQ(recorder.log[5], (Step{'S', 7, 0}));
    EXPECT_EQ(recorder.log.back(), (Step{'S', 7, 0}));
    EXPECT_EQ(recorder.reports, 1);
}

TEST(DriveLogicTest, OnlyTheLow32BitsOfTheInputsCount) {
    const struct {
        const char* name;
        int64_t port;
        int64_t steps;
        int64_t delay;
        int pulsesPerSide;
        uint32_t port32;
        uint32_t wait;
    } rows[] = {
        {"one step per side", 888, 1, 5, 1, 888, 5},
        {"step count 0", 888, 0, 5, 0, 888, 5},
        {"step count 2^31", 888, INT64_C(0x80000000), 5, 0, 888, 5},
        {"step count 2^32 - 1", 888, INT64_C(0xFFFFFFFF), 5, 0, 888, 5},
        {"step count -1", 888, -1, 5, 0, 888, 5},
        {"step count 2^32", 888, INT64_C(0x100000000), 5, 0, 888, 5},
        {"step count 2^32 + 2", 888, INT64_C(0x100000002), 5, 2, 888, 5},
        {"delay 2^32 + 5", 888, 1, INT64_C(0x100000005), 1, 888, 5},
        {"delay 0", 888, 1, 0, 1, 888, 0},
        {"delay -1", 888, 1, -1, 1, 888, 0xFFFFFFFF},
        {"port 2^32 + 888", INT64_C(0x100000378), 1, 5, 1, 888, 5},
        {"port 0x378", 0x378, 1, 5, 1, 0x378, 5},
        {"port 65535", 0xFFFF, 1, 5, 1, 0xFFFF, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder;
        recorder.port = row.port;
        const int64_t steps = row.steps;
        const int64_t delay = row.delay;
        recorder.steps = [steps](const Recorder&) { return steps; };
        recorder.delay = [delay](const Recorder&) { return delay; };
        EXPECT_TRUE(DrawSquare(recorder.Io()));
        const int n = row.pulsesPerSide;
        EXPECT_EQ(recorder.Bytes(), Pulses(n, n, n, n));
        for (const Step& step : recorder.log) {
            EXPECT_EQ(step.first, step.kind == 'W' ? row.port32 : row.wait);
        }
        EXPECT_EQ(recorder.reports, 1);
    }
}

TEST(DriveLogicTest, AStoppedDriveWritesNothingMoreAndReportsNothing) {
    // Stopped during a wait (after an odd or an even write) and at a write itself.
    for (size_t stopAfter : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{203}}) {
        SCOPED_TRACE(stopAfter);
        Recorder recorder;
        recorder.stopAfterWrites = stopAfter;
        EXPECT_FALSE(DrawSquare(recorder.Io()));
        EXPECT_EQ(recorder.writes, stopAfter);
        std::vector<uint32_t> expected = Pulses(100, 100, 100, 100);
        expected.resize(stopAfter);
        EXPECT_EQ(recorder.Bytes(), expected);
        EXPECT_EQ(recorder.reports, 0);
        // Nothing happens after the refused wait or write.
        if (stopAfter > 0) {
            EXPECT_EQ(recorder.log.back().kind, 'S');
        }
    }
}

// "Out32" takes 16 bits: any other address would reach the register of another device.
TEST(DriveLogicTest, APortOutsideTheIoSpaceIsNeverWritten) {
    for (int64_t port : {INT64_C(0), INT64_C(0x10000), INT64_C(0x100000000), INT64_C(-1)}) {
        SCOPED_TRACE(port);
        Recorder recorder;
        recorder.port = port;
        EXPECT_FALSE(DrawSquare(recorder.Io()));
        EXPECT_TRUE(recorder.log.empty());
        EXPECT_EQ(recorder.reports, 0);
    }
}

TEST(DriveLogicTest, MissingOperationsAreSkipped) {
    SquareDriveIo io = {};
    io.readPortAddress = [](void*) { return INT64_C(888); };
    EXPECT_TRUE(DrawSquare(io)); // step count 0: no pulse, written nowhere
}

} // namespace
