#include "runtime/libraries.h"

#include "runtime/object_table.h"

namespace {

ObjectTable* libraryTable = nullptr;

// The table is only created if LibrariesInit ran; every operation tolerates its absence.
LibraryRecord* FindLibrary(intptr_t number) {
    return static_cast<LibraryRecord*>(ObjectTableFind(libraryTable, number));
}

} // namespace

#if defined(_WIN64)
namespace {
// The x64 convention is the only one on 64-bit Windows: the caller reserves the stack for the
// arguments and removes it again, and a callee reads only the arguments it declares. So every
// function can be called with all twenty words, the unused ones zero.
using TwentyWordFunction = intptr_t (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                        intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                        intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                        intptr_t, intptr_t);
static_assert(LIBRARY_CALL_MAX_ARGUMENTS == 20, "the call below passes twenty words");

intptr_t KalibrixCallWords(FARPROC function, const intptr_t* arguments, int count) {
    intptr_t words[LIBRARY_CALL_MAX_ARGUMENTS] = {};
    for (int i = 0; i < count; ++i) {
        words[i] = arguments[i];
    }
    auto call = reinterpret_cast<TwentyWordFunction>(reinterpret_cast<void (*)()>(function));
    return call(words[0], words[1], words[2], words[3], words[4], words[5], words[6], words[7],
                words[8], words[9], words[10], words[11], words[12], words[13], words[14],
                words[15], words[16], words[17], words[18], words[19]);
}
} // namespace
#elif defined(__GNUC__) && defined(__i386__)
// Pushes the words last to first and calls the function. The caller's stack pointer is kept in
// EBP, which both stdcall and cdecl functions preserve, and restored from it after the call, so
// it does not matter whether the callee or the caller is meant to pop the arguments. The stack
// is aligned to 16 bytes at the call for callees that expect it.
extern "C" intptr_t KalibrixCallWords(FARPROC function, const intptr_t* arguments, int count);
asm(".text\n"
    ".globl _KalibrixCallWords\n"
    ".def _KalibrixCallWords; .scl 2; .type 32; .endef\n"
    "_KalibrixCallWords:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    movl 8(%ebp), %eax\n"  // function
    "    movl 12(%ebp), %edx\n" // arguments
    "    movl 16(%ebp), %ecx\n" // count
    "    leal (,%ecx,4), %ebx\n"
    "    negl %ebx\n"
    "    addl %esp, %ebx\n"
    "    andl $-16, %ebx\n"
    "    leal (%ebx,%ecx,4), %esp\n"
    "    testl %ecx, %ecx\n"
    "    jz 2f\n"
    "1:\n"
    "    pushl -4(%edx,%ecx,4)\n"
    "    decl %ecx\n"
    "    jnz 1b\n"
    "2:\n"
    "    call *%eax\n"
    "    leal -4(%ebp), %esp\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");
#elif defined(_MSC_VER) && defined(_M_IX86)
namespace {
intptr_t KalibrixCallWords(FARPROC function, const intptr_t* arguments, int count) {
    intptr_t result;
    // ESI keeps the caller's stack pointer across the call whatever convention the callee has.
    __asm {
        mov esi, esp
        mov eax, function
        mov edx, arguments
        mov ecx, count
        test ecx, ecx
        jz call_it
    push_next:
        push dword ptr [edx + ecx * 4 - 4]
        dec ecx
        jnz push_next
    call_it:
        call eax
        mov esp, esi
        mov result, eax
    }
    return result;
}
} // namespace
#else
#error "CallWithWords knows the calling conventions of 32-bit and 64-bit x86 only"
#endif

intptr_t CallWithWords(FARPROC function, const intptr_t* arguments, int count) {
    if (function == nullptr || count < 0 || count > LIBRARY_CALL_MAX_ARGUMENTS ||
        (count > 0 && arguments == nullptr)) {
        return 0;
    }
    return KalibrixCallWords(function, arguments, count);
}

bool LibrariesInit() {
    if (libraryTable == nullptr) {
        libraryTable = ObjectTableCreate(sizeof(LibraryRecord), 16, LibraryClose);
    }
    return libraryTable != nullptr;
}

intptr_t LibraryOpen(intptr_t number, const char* file) {
    auto* record = static_cast<LibraryRecord*>(ObjectTableAllocate(libraryTable, number));
    if (record == nullptr) {
        return 0;
    }
    HMODULE module = file == nullptr ? nullptr : LoadLibraryA(file);
    if (module == nullptr) {
        // An empty dynamic entry could never be found or closed again; give it back now.
        if (number == AUTO_NUMBER) {
            ObjectTableFree(libraryTable, reinterpret_cast<intptr_t>(record));
        }
        return 0;
    }
    record->module = module;
    return number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record)
                                 : reinterpret_cast<intptr_t>(module);
}

FARPROC LibraryGetFunction(intptr_t number, const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    LibraryRecord* record = FindLibrary(number);
    if (record == nullptr) {
        return nullptr;
    }
    return GetProcAddress(record->module, name);
}

intptr_t LibraryCallWords(intptr_t number, const char* name, const intptr_t* arguments, int count) {
    FARPROC function = LibraryGetFunction(number, name);
    if (function == nullptr) {
        return 0;
    }
    return CallWithWords(function, arguments, count);
}

void LibraryClose(intptr_t number) {
    LibraryRecord* record = FindLibrary(number);
    if (record == nullptr) {
        return;
    }
    HMODULE module = record->module;
    // The entry is emptied before the library goes, so no lookup finds a freed module.
    ObjectTableFree(libraryTable, number);
    FreeLibrary(module);
}

void LibraryCloseAll() {
    ObjectTableRewind(libraryTable);
    intptr_t number = 0;
    while (ObjectTableNext(libraryTable, &number) != nullptr) {
        LibraryClose(number);
    }
}
