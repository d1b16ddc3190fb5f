// A port library that loads but has no "Out32": the program must refuse it as if it were
// missing, or every square would "succeed" with nothing written.
#include <windows.h>

extern "C" __declspec(dllexport) short __stdcall Inp32(short) {
    return 0;
}
