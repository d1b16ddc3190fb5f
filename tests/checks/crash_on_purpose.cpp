// Crashes on purpose: a test program that crashes must end at once with a failure, so the test
// environment must not start a debugger that waits for a user.
#include <windows.h>
#include <cstdio>

int main() {
    std::puts("crashing on purpose");
    std::fflush(stdout);
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}
