#include "app/drive_plan.h"

#include <cmath>

namespace {

struct Run {
    uint8_t stepHigh;
    uint8_t stepLow;
};

// In signals (PortWiringMap): bit 0 X direction, bit 1 X step, bit 2 Y direction, bit 3 Y step.
// The pre-travel runs each axis back and then forward by the same steps, so that both start the
// square with the slack of their nuts taken up toward +, the direction of sides 1 and 2. Then
// the square: X forward, Y forward, X back, Y back.
const Run RUNS[RUN_COUNT] = {{3, 1}, {2, 0}, {12, 4}, {8, 0}, {2, 0}, {8, 0}, {3, 1}, {12, 4}};

// The rate of a run after n steps of its ramp, in steps per microsecond.
double Rate(const DrivePlan& plan, double n) {
    return std::sqrt(plan.startRateSquared + plan.accelerationTwice * n);
}

// Half the interval from step j of a ramp to step j + 1: the step is due 2 / (v(j) + v(j + 1))
// after the one before, which never cancels as the difference of the two times would.
uint64_t RampHalf(const DrivePlan& plan, int64_t j) {
    const double half =
        1.0 / (Rate(plan, static_cast<double>(j)) + Rate(plan, static_cast<double>(j + 1)));
    auto whole = static_cast<uint64_t>(half);
    whole += whole < half ? 1 : 0;
    return whole > plan.delay ? whole : plan.delay;
}

// The half of step k of a run of `pulses`: its last steps mirror the first, and a run shorter
// than two ramps turns in its middle.
uint64_t Half(const DrivePlan& plan, int64_t k, int64_t pulses) {
    const int64_t fromEnd = pulses - 1 - k;
    const int64_t j = k < fromEnd ? k : fromEnd;
    return j < plan.ramp ? RampHalf(plan, j) : plan.delay;
}

// The halves of the first n steps of a run, for the time left: the ramp as the steps would come
// unrounded, (sqrt(f0^2 + 2an) - f0) / a, written so that it holds for a = 0 too.
double Halves(const DrivePlan& plan, int64_t n) {
    const int64_t ramped = n < plan.ramp ? n : plan.ramp;
    const double rampTime =
        2.0 * ramped / (Rate(plan, static_cast<double>(ramped)) + std::sqrt(plan.startRateSquared));
    return rampTime / 2 + static_cast<double>(n - ramped) * static_cast<double>(plan.delay);
}

} // namespace

void DrivePlanBegin(DrivePlan* plan, const DriveOrder& order) {
    const DriveSettings& settings = order.settings;
    // On the machine's pins and levels, once: a step line at rest may be high, and what ends a
    // pulse (a stop's last write too) is the mapped step-low byte.
    for (uint32_t run = 0; run < RUN_COUNT; ++run) {
        plan->stepHigh[run] = PortWiringMap(settings.wiring, RUNS[run].stepHigh);
        plan->stepLow[run] = PortWiringMap(settings.wiring, RUNS[run].stepLow);
        plan->pulses[run] = run < FIRST_SIDE_RUN ? int64_t{settings.pretravel} : order.steps;
    }
    plan->delay = order.delay;
    // A start delay not above D needs no ramp: the run starts at full rate.
    const bool ramped = settings.ramp > 0 && settings.startDelay > order.delay && order.delay > 0;
    plan->ramp = ramped ? settings.ramp : 0;
    const double full = 1.0 / (2.0 * static_cast<double>(order.delay));
    const double start = ramped ? 1.0 / (2.0 * settings.startDelay) : full;
    plan->startRateSquared = start * start;
    plan->accelerationTwice = ramped ? (full * full - start * start) / settings.ramp : 0;
    plan->run = 0;
    plan->pulse = -1;
    plan->raised = false;
    plan->half = 0;
    // Each run: its direction write, then its halves, those of its first half once from each end.
    double total = 0;
    for (int64_t pulses : plan->pulses) {
        if (pulses > 0) {
            total += static_cast<double>(order.delay) +
                     2 * (Halves(*plan, (pulses + 1) / 2) + Halves(*plan, pulses / 2));
        }
    }
    constexpr double TWO_TO_64 = 18446744073709551616.0;
    plan->left = total < TWO_TO_64 ? static_cast<uint64_t>(total) : UINT64_MAX;
}

bool DrivePlanNext(DrivePlan* plan, PlannedWrite* write) {
    while (plan->run < RUN_COUNT && plan->pulses[plan->run] <= 0) {
        ++plan->run;
    }
    if (plan->run == RUN_COUNT) {
        return false;
    }
    const uint32_t run = plan->run;
    const uint8_t low = plan->stepLow[run];
    if (plan->pulse < 0) {
        *write = {low, low, run, plan->delay};
        plan->pulse = 0;
    } else if (!plan->raised) {
        plan->half = Half(*plan, plan->pulse, plan->pulses[run]);
        *write = {plan->stepHigh[run], low, run, plan->half};
        plan->raised = true;
    } else {
        *write = {low, low, run, plan->half};
        plan->raised = false;
        if (++plan->pulse == plan->pulses[run]) {
            ++plan->run;
            plan->pulse = -1;
        }
    }
    plan->left = plan->left > write->wait ? plan->left - write->wait : 0;
    return true;
}

uint64_t DriveWrites(int32_t steps, uint32_t pretravel) {
    const uint64_t before = pretravel > 0 ? 4 * (2 * uint64_t{pretravel} + 1) : 0;
    return before + (steps > 0 ? 4 * (2 * static_cast<uint64_t>(steps) + 1) : 0);
}
