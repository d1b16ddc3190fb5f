// The stand-in port library's trace as the tests read it: one line per write,
// "<microseconds> <port> <byte>".
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct PortWrite {
    long long microseconds;
    unsigned port;
    unsigned value;
};

// The trace so far: every whole line (empty when there is no trace file).
std::vector<PortWrite> ReadTrace(const std::string& path);

} // namespace testsupport
