// The string workspace and the number conversions of the input fields.
//
// Every operation that yields a text writes it into the one process-wide workspace at an
// offset that the caller passes (always the current `position`) and leaves `position` on the
// text's terminator. The block moves when it grows, so callers hold offsets, never addresses,
// across a producer call. The workspace and the StringHeap belong to the main thread.
#pragma once

#include <windows.h>
#include <cstdint>
#include <cstdio>

// The platform's own sprintf of MSVCRT.dll, with which the program formats every text.
// mingw-w64's C++ library swaps std::sprintf for mingw's own printf family, which would add
// some 20 KB to the program; __ms_sprintf is mingw's name for the platform's function.
#if defined(__MINGW32__)
#define SystemSprintf __ms_sprintf
#else
#define SystemSprintf std::sprintf
#endif

struct StringWorkspace {
    HANDLE heap;      // the StringHeap, created without serialisation
    char* buffer;     // the workspace block
    int32_t position; // offset of the first free byte
    int32_t capacity; // the size the growth rule works against; the block is capacity + 5 bytes
};

// The process's workspace.
StringWorkspace* Workspace();

// Creates the StringHeap and the first 16-byte block; false when the platform refuses either.
bool WorkspaceInit();
// Makes room for n bytes at offset `at` and returns the write address, valid until the next call
// that may grow the workspace; `position` becomes at + n. Null (nothing changed) when the
// StringHeap cannot grow the block.
char* WorkspaceReserve(int32_t n, int32_t at);
// Gives back the unused end of a reservation; returns the new `position`.
int32_t WorkspaceGiveBack(int32_t n);

// Copies the text at `start` into a string variable (a StringHeap block of length + 5 bytes,
// resized in place on later assignments) and sets `position` back to `start`.
int32_t AssignString(char** variable, int32_t start);

// Text to a signed 64-bit integer: blanks and tabs, one sign, "$" hexadecimal, "%" binary,
// else decimal; stops at the first non-digit; wraps modulo 2^64. Null or no digits give 0.
int64_t ParseInteger(const char* text);
// ParseInteger into `value`, and whether the number lies in the signed 64-bit range: false for
// a number that ParseInteger wraps, such as 2^64 + 888, which it reads as 888, or
// -18446744073709550728 and "-$FFFFFFFFFFFFFC88", which it reads as 888 too.
bool ParseIntegerFits(const char* text, int64_t* value);
// A decimal number with a point or a comma, counted in units of its `decimals`-th decimal place:
// with 3 decimals "0,1" and "0.1" read 100, and "5" reads 5000. Blanks and tabs may stand around
// it. False for anything else: no digit, a sign, a second mark, more decimals than `decimals`
// other than trailing zeros (with 0 decimals, any mark), or a value past 64 bits.
bool ParseDecimal(const char* text, int32_t decimals, uint64_t* value);
// Text to single precision with the platform's atof (a comma is not a decimal point).
float ParseFloat(const char* text);
// "%f" of the value at `at`; infinities and not-a-number read "inf", "-inf" and "nan" on every
// runtime library. Returns the new `position`.
int32_t FormatFloat(float value, int32_t at);
