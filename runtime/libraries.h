// Shared libraries under numbers and calls of their functions by name.
#pragma once

#include <windows.h>
#include <cstdint>
#include <type_traits>

struct LibraryRecord {
    HMODULE module; // non-zero exactly while the library is open under this entry
};

constexpr int LIBRARY_CALL_MAX_ARGUMENTS = 20;

bool LibrariesInit();
// Opens a library under a number (0 or more, or AUTO_NUMBER), closing what held the number.
// Returns the module handle, for AUTO_NUMBER the entry's address; 0 on failure.
intptr_t LibraryOpen(intptr_t number, const char* file);
// The exported function `name` of the library, or null. Looked up anew on every call.
FARPROC LibraryGetFunction(intptr_t number, const char* name);
// The same as the pointer type of the function's declaration, so that the compiler checks every
// call through it.
template <typename Function>
Function LibraryGetTypedFunction(intptr_t number, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(LibraryGetFunction(number, name)));
}
// Calls the function with `count` word arguments in order and returns its word result, or 0
// when the function is not found. A word is pointer-sized. On 32-bit Windows it works for
// stdcall and cdecl functions alike; 64-bit Windows has one calling convention.
intptr_t LibraryCallWords(intptr_t number, const char* name, const intptr_t* arguments, int count);
void LibraryClose(intptr_t number);
void LibraryCloseAll();

// Calls a function with word arguments whatever its calling convention: the caller's stack is
// restored in every case.
intptr_t CallWithWords(FARPROC function, const intptr_t* arguments, int count);

template <typename T>
intptr_t LibraryWord(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(value);
    } else {
        return static_cast<intptr_t>(value);
    }
}

// The 21 call forms, 0 to 20 word arguments.
template <typename... Arguments>
intptr_t LibraryCall(intptr_t number, const char* name, Arguments... arguments) {
    static_assert(sizeof...(Arguments) <= LIBRARY_CALL_MAX_ARGUMENTS,
                  "a library call takes at most 20 word arguments");
    const intptr_t words[sizeof...(Arguments) + 1] = {LibraryWord(arguments)...};
    return LibraryCallWords(number, name, words, static_cast<int>(sizeof...(Arguments)));
}
