// The square drive's sequence of port writes and waits, recorded through its operations.
#include <gtest/gtest.h>

#include <vector>

#include "app/square_drive.h"
#include "tests/support/expected_square.h"

using testsupport::SquareBytes;

namespace {

struct Step {
    char kind;       // 'W' write, 'S' sleep, 'R' read back
    uint64_t first;  // port, or microseconds
    uint32_t second; // byte
    bool operator==(const Step& other) const {
        return kind == other.kind && first == other.first && second == other.second;
    }
};

std::ostream& operator<<(std::ostream& out, const Step& step) {
    return out << step.kind << "(" << step.first << "," << step.second << ")";
}

// The start command's order with the window's defaults: port 888, 100 steps, 5 ms.
DriveOrder DefaultOrder() {
    return {888, 100, 5000, DEFAULT_DRIVE_SETTINGS, 0};
}

// Records what the drive does.
struct Recorder {
    size_t stopAfterWrites = SIZE_MAX; // told to stop once this many writes are made
    int32_t readBack = NO_READ_BACK;   // what the port gives back: a byte, or -1 for nothing
    std::vector<Step> log;
    std::vector<uint32_t> idles; // of each write: what a stop after it would write
    std::vector<DriveProgress> progress;
    size_t writes = 0;
    int reports = 0;
    intptr_t reportedDrive = 0;           // the name the last report carried
    std::vector<uint32_t> noPortReported; // port, byte written, byte read

    static constexpr int32_t NO_READ_BACK = -2; // no operation to read the port with

    SquareDriveIo Io() {
        SquareDriveIo io = {};
        io.context = this;
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
        io.sleep = [](void* c, uint64_t microseconds) {
            auto* r = static_cast<Recorder*>(c);
            r->log.push_back({'S', microseconds, 0});
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

    std::vector<uint64_t> Waits() const {
        std::vector<uint64_t> waits;
        for (const Step& step : log) {
            if (step.kind == 'S') {
                waits.push_back(step.first);
            }
        }
        return waits;
    }
};

TEST(DriveLogicTest, DefaultsGive804WritesToPort888EachFollowedByItsWait) {
    Recorder recorder;
    DriveOrder order = DefaultOrder();
    order.name = 7;
    EXPECT_TRUE(DrawSquare(order, recorder.Io()));
    ASSERT_EQ(recorder.log.size(), 1608u);
    EXPECT_EQ(recorder.Bytes(), SquareBytes(100));
    for (size_t i = 0; i < recorder.log.size(); i += 2) {
        ASSERT_EQ(recorder.log[i].kind, 'W') << i;
        ASSERT_EQ(recorder.log[i].first, 888u) << i;
        ASSERT_EQ(recorder.log[i + 1], (Step{'S', 5000, 0})) << i;
        // A stop after a step-high byte ends the pulse with the side's direction alone.
        ASSERT_EQ(recorder.idles[i / 2], recorder.log[i].second & ~0x0Au) << i;
    }
    EXPECT_EQ(recorder.reports, 1);
    EXPECT_EQ(recorder.reportedDrive, 7) << "the completion must name its drive";
    // How far it has come, after every write: the four sides are runs 4 to 7, and the time left
    // is that of the waits still to come.
    ASSERT_EQ(recorder.progress.size(), 804u);
    for (size_t i = 0; i < 804; ++i) {
        ASSERT_EQ(recorder.progress[i].writesMade, i + 1);
        ASSERT_EQ(recorder.progress[i].writesInAll, 804u);
        ASSERT_EQ(recorder.progress[i].run, FIRST_SIDE_RUN + i / 201) << i;
        ASSERT_EQ(recorder.progress[i].microsecondsLeft, (803 - i) * 5000) << i;
    }
}

// Each run ramps from the start delay S to D over its first R steps and back over its last: step
// n is due (sqrt(f0^2 + 2an) - f0) / a after the run's first, f0 = 1 / 2S, f = 1 / 2D,
// a = (f^2 - f0^2) / 2R. Each step is two halves of its interval, rounded up to the microsecond,
// so for S = 1 ms, D = 0.1 ms and R = 4 the halves of the first four steps, 329.25, 164.19,
// 126.73 and 107.10 us, wait 330, 165, 127 and 108 us. Each run sets its direction and waits D
// first, the pre-travel's runs as well.
TEST(DriveLogicTest, TheRampTimesEachStepAsPlanned) {
    const struct {
        const char* name;
        int32_t steps;
        uint32_t pretravel;
        uint64_t delay;
        uint32_t ramp;
        uint32_t startDelay;
        std::vector<uint64_t> halves; // of every run, one per step
    } rows[] = {
        {"no ramp", 3, 0, 100, 0, 1000, {100, 100, 100}},
        {"a start delay not above D", 3, 0, 100, 4, 100, {100, 100, 100}},
        {"up, at full rate, down",
         10,
         0,
         100,
         4,
         1000,
         {330, 165, 127, 108, 100, 100, 108, 127, 165, 330}},
        {"shorter than two ramps: up for half, then down",
         5,
         0,
         100,
         4,
         1000,
         {330, 165, 127, 165, 330}},
        {"the pre-travel ramps alike", 5, 5, 100, 4, 1000, {330, 165, 127, 165, 330}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DriveOrder order = {888, row.steps, row.delay, DEFAULT_DRIVE_SETTINGS, 0};
        order.settings.pretravel = row.pretravel;
        order.settings.ramp = row.ramp;
        order.settings.startDelay = row.startDelay;
        Recorder recorder;
        EXPECT_TRUE(DrawSquare(order, recorder.Io()));
        std::vector<uint64_t> run = {row.delay};
        for (uint64_t half : row.halves) {
            run.insert(run.end(), {half, half});
        }
        std::vector<uint64_t> expected;
        const int runs = row.pretravel > 0 ? 8 : 4;
        for (int i = 0; i < runs; ++i) {
            expected.insert(expected.end(), run.begin(), run.end());
        }
        const std::vector<uint64_t> waits = recorder.Waits();
        EXPECT_EQ(waits, expected);
        // The time left counts the ramp, to its rounding.
        uint64_t all = 0;
        for (uint64_t wait : waits) {
            all += wait;
        }
        ASSERT_FALSE(recorder.progress.empty());
        EXPECT_NEAR(static_cast<double>(recorder.progress.front().microsecondsLeft),
                    static_cast<double>(all - waits.front()), 2.0 * row.halves.size() * runs);
    }

    // Microstepping: S = 5 ms, D = 0.05 ms over 1000 steps. The last steps of the ramp come out
    // just above D (50.01 us and more) and wait 51 us; the first at full rate waits D.
    DriveOrder order = {888, 2500, 50, DEFAULT_DRIVE_SETTINGS, 0};
    order.settings.ramp = 1000;
    Recorder recorder;
    EXPECT_TRUE(DrawSquare(order, recorder.Io()));
    const std::vector<uint64_t> waits = recorder.Waits();
    ASSERT_EQ(waits.size(), 4 * (1 + 2 * 2500u));
    const std::vector<uint64_t> start(waits.begin(), waits.begin() + 5);
    EXPECT_EQ(start, (std::vector<uint64_t>{50, 2317, 2317, 1267, 1267}));
    const std::vector<uint64_t> seam(waits.begin() + 1 + 2 * 999, waits.begin() + 1 + 2 * 1001);
    EXPECT_EQ(seam, (std::vector<uint64_t>{51, 51, 50, 50}));
    EXPECT_EQ(waits[2 * 2500], 2317u) << "the side's last step";
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
        DriveOrder order = DefaultOrder();
        order.steps = 1;
        order.settings.wiring = row.wiring;
        EXPECT_TRUE(DrawSquare(order, recorder.Io()));
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
    DriveOrder order = DefaultOrder();
    order.steps = 1;
    order.settings.wiring = {2, 3, 4, 5, 1, 0, 0};
    order.settings.pretravel = 2;
    const std::vector<uint32_t> pretravel = {
        7,  6, 7,  6, 7,  // X back: 7, (6, 7) x 2
        5,  4, 5,  4, 5,  // X forward
        13, 9, 13, 9, 13, // Y back
        5,  1, 5,  1, 5,  // Y forward
    };
    const std::vector<uint32_t> square = {5, 4, 5, 5, 1, 5, 7, 6, 7, 13, 9, 13};
    Recorder recorder;
    EXPECT_TRUE(DrawSquare(order, recorder.Io()));
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
    EXPECT_FALSE(DrawSquare(order, stopped.Io()));
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
        recorder.readBack = row.readBack;
        DriveOrder order = DefaultOrder();
        order.steps = 1;
        order.settings.checkPort = row.checkPort;
        order.settings.pretravel = row.pretravel;
        order.name = 5;
        EXPECT_EQ(DrawSquare(order, recorder.Io()), row.drawn);
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

TEST(DriveLogicTest, AStoppedDriveWritesNothingMoreAndReportsNothing) {
    // Stopped during a wait (after an odd or an even write) and at a write itself.
    for (size_t stopAfter : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{203}}) {
        SCOPED_TRACE(stopAfter);
        Recorder recorder;
        recorder.stopAfterWrites = stopAfter;
        EXPECT_FALSE(DrawSquare(DefaultOrder(), recorder.Io()));
        EXPECT_EQ(recorder.writes, stopAfter);
        std::vector<uint32_t> expected = SquareBytes(100);
        expected.resize(stopAfter);
        EXPECT_EQ(recorder.Bytes(), expected);
        EXPECT_EQ(recorder.reports, 0);
        // Nothing happens after the refused wait or write.
        if (stopAfter > 0) {
            EXPECT_EQ(recorder.log.back().kind, 'S');
        }
    }
}

// "Out32" takes 16 bits: any other address would reach the register of another device. A step
// count below 1 draws no side.
TEST(DriveLogicTest, AnOrderOutsideItsRangesWritesNothing) {
    for (uint32_t port : {0u, 0x10000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(port);
        Recorder recorder;
        DriveOrder order = DefaultOrder();
        order.port = port;
        EXPECT_FALSE(DrawSquare(order, recorder.Io()));
        EXPECT_TRUE(recorder.log.empty());
        EXPECT_EQ(recorder.reports, 0);
    }
    for (int32_t steps : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(steps);
        Recorder recorder;
        DriveOrder order = DefaultOrder();
        order.steps = steps;
        EXPECT_TRUE(DrawSquare(order, recorder.Io()));
        EXPECT_TRUE(recorder.log.empty());
        EXPECT_EQ(recorder.reports, 1);
    }
}

TEST(DriveLogicTest, MissingOperationsAreSkipped) {
    EXPECT_TRUE(DrawSquare(DefaultOrder(), SquareDriveIo{}));
}

} // namespace
