#include "tests/support/port_trace.h"

#include <windows.h>
#include <cstdio>

namespace testsupport {

std::vector<PortWrite> ReadTrace(const std::string& path) {
    std::vector<PortWrite> writes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return writes;
    }
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        content.append(chunk, got);
    }
    CloseHandle(file);
    size_t at = 0;
    while (at < content.size()) {
        size_t end = content.find('\n', at);
        if (end == std::string::npos) {
            break; // a line still being written
        }
        PortWrite write = {};
        if (std::sscanf(content.c_str() + at, "%lld %u %u", &write.microseconds, &write.port,
                        &write.value) == 3) {
            writes.push_back(write);
        }
        at = end + 1;
    }
    return writes;
}

} // namespace testsupport
