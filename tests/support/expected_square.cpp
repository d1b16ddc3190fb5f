#include "tests/support/expected_square.h"

namespace testsupport {

const SideBytes DEFAULT_SIDES = {{2, 0}, {8, 0}, {3, 1}, {12, 4}};

void WiredSides(const PortWiring& wiring, SideBytes& sides) {
    // The default sides are made of the four signals; each goes to its pin at its level.
    const struct {
        unsigned signal;
        unsigned pin;
        bool inverted;
    } lines[] = {
        {1, wiring.xDirectionPin, wiring.xDirectionInverted != 0},
        {2, wiring.xStepPin, wiring.stepInverted != 0},
        {4, wiring.yDirectionPin, wiring.yDirectionInverted != 0},
        {8, wiring.yStepPin, wiring.stepInverted != 0},
    };
    for (int side = 0; side < 4; ++side) {
        for (int half = 0; half < 2; ++half) {
            unsigned byte = 0;
            for (const auto& line : lines) {
                if (((DEFAULT_SIDES[side][half] & line.signal) != 0) != line.inverted) {
                    byte |= 1u << (line.pin - 2); // pin p is bit p - 2
                }
            }
            sides[side][half] = byte;
        }
    }
}

std::vector<unsigned> SquareBytes(int steps, const SideBytes& sides, int pretravel) {
    std::vector<unsigned> bytes;
    auto run = [&bytes](const unsigned(&side)[2], int pulses) {
        if (pulses > 0) {
            bytes.push_back(side[1]);
        }
        for (int pulse = 0; pulse < pulses; ++pulse) {
            bytes.push_back(side[0]);
            bytes.push_back(side[1]);
        }
    };
    for (int side : {2, 0, 3, 1}) {
        run(sides[side], pretravel);
    }
    for (const auto& side : sides) {
        run(side, steps);
    }
    return bytes;
}

} // namespace testsupport
