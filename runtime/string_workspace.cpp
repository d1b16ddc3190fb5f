#include "runtime/string_workspace.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

StringWorkspace workspace = {nullptr, nullptr, 0, 0};

constexpr int32_t FIRST_BLOCK_SIZE = 16;
constexpr int32_t GROWTH = 0x4000;
// Every block reaches this far past its capacity, so a terminator at the reserved end and a
// copy in 4-byte words that reads up to 3 bytes past a text's end stay inside it.
constexpr int32_t SLACK = 5;
constexpr int32_t FORMAT_RESERVE = 1024;

} // namespace

StringWorkspace* Workspace() {
    return &workspace;
}

bool WorkspaceInit() {
    if (workspace.heap != nullptr) {
        return true;
    }
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 4096, 0);
    if (heap == nullptr) {
        return false;
    }
    char* buffer = static_cast<char*>(HeapAlloc(heap, HEAP_NO_SERIALIZE, FIRST_BLOCK_SIZE));
    if (buffer == nullptr) {
        HeapDestroy(heap);
        return false;
    }
    workspace.heap = heap;
    workspace.buffer = buffer;
    workspace.position = 0;
    workspace.capacity = FIRST_BLOCK_SIZE;
    return true;
}

char* WorkspaceReserve(int32_t n, int32_t at) {
    if (workspace.buffer == nullptr || n < 0 || at < 0) {
        return nullptr;
    }
    // `at` is always `position`; should a caller pass more, the room is still measured from
    // the further of the two so that the reservation never runs past the block.
    const int64_t from = at > workspace.position ? at : workspace.position;
    const int64_t end = from + n;
    if (end >= workspace.capacity - 4) {
        const int64_t capacity = end + GROWTH;
        if (capacity + SLACK > INT32_MAX) {
            return nullptr;
        }
        void* block = HeapReAlloc(workspace.heap, HEAP_NO_SERIALIZE, workspace.buffer,
                                  static_cast<SIZE_T>(capacity + SLACK));
        if (block == nullptr) {
            return nullptr;
        }
        workspace.buffer = static_cast<char*>(block);
        workspace.capacity = static_cast<int32_t>(capacity);
    }
    workspace.position = at + n;
    return workspace.buffer + at;
}

int32_t WorkspaceGiveBack(int32_t n) {
    workspace.position -= n;
    return workspace.position;
}

int32_t AssignString(char** variable, int32_t start) {
    int32_t length = workspace.position - start;
    if (variable == nullptr || workspace.buffer == nullptr || start < 0 || length < 0) {
        workspace.position = start;
        return start;
    }
    const SIZE_T size = static_cast<SIZE_T>(length) + SLACK;
    void* block = *variable == nullptr
                      ? HeapAlloc(workspace.heap, HEAP_NO_SERIALIZE, size)
                      : HeapReAlloc(workspace.heap, HEAP_NO_SERIALIZE, *variable, size);
    if (block != nullptr) {
        *variable = static_cast<char*>(block);
        // Whole words, as the slack of both blocks allows.
        std::memcpy(block, workspace.buffer + start, (static_cast<size_t>(length) + 3) & ~3u);
        (*variable)[length] = '\0';
    }
    workspace.position = start;
    return start;
}

namespace {

// One digit more on the value; false once the digits no longer fit in 64 bits. The value wraps
// modulo 2^64 either way, as ParseInteger has always read it.
bool Accumulate(uint64_t* value, unsigned base, unsigned digit) {
    const bool fits = *value <= (UINT64_MAX - digit) / base;
    *value = *value * base + digit;
    return fits;
}

} // namespace

bool ParseIntegerFits(const char* text, int64_t* result) {
    bool fits = true;
    if (text == nullptr) {
        *result = 0;
        return fits;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    uint64_t value = 0;
    if (*p == '$') {
        for (++p;; ++p) {
            unsigned digit;
            if (*p >= '0' && *p <= '9') {
                digit = *p - '0';
            } else if (*p >= 'A' && *p <= 'F') {
                digit = *p - 'A' + 10;
            } else if (*p >= 'a' && *p <= 'f') {
                digit = *p - 'a' + 10;
            } else {
                break;
            }
            fits = Accumulate(&value, 16, digit) && fits;
        }
    } else if (*p == '%') {
        for (++p; *p == '0' || *p == '1'; ++p) {
            fits = Accumulate(&value, 2, *p - '0') && fits;
        }
    } else {
        for (; *p >= '0' && *p <= '9'; ++p) {
            fits = Accumulate(&value, 10, *p - '0') && fits;
        }
    }
    // A signed result holds 2^63 - 1 up and 2^63 down: "-18446744073709550728" would wrap to 888.
    const uint64_t largest = negative ? UINT64_C(1) << 63 : INT64_MAX;
    fits = fits && value <= largest;
    if (negative) {
        value = ~value + 1;
    }
    *result = static_cast<int64_t>(value);
    return fits;
}

int64_t ParseInteger(const char* text) {
    int64_t value = 0;
    ParseIntegerFits(text, &value);
    return value;
}

bool ParseDecimal(const char* text, int32_t decimals, uint64_t* value) {
    if (text == nullptr) {
        return false;
    }
    const char* at = text;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    uint64_t number = 0;
    bool fits = true;
    bool any = false;
    int32_t places = -1; // decimals read so far; -1 before the mark
    for (;; ++at) {
        if (*at >= '0' && *at <= '9') {
            any = true;
            if (places < decimals) {
                fits = Accumulate(&number, 10, static_cast<unsigned>(*at - '0')) && fits;
                places += places >= 0 ? 1 : 0;
            } else if (*at != '0') {
                return false; // finer than the unit: no value would be exact
            }
        } else if ((*at == '.' || *at == ',') && places < 0 && decimals > 0) {
            places = 0;
        } else {
            break;
        }
    }
    // The decimals not written are zeros.
    for (int32_t place = places < 0 ? 0 : places; place < decimals; ++place) {
        fits = Accumulate(&number, 10, 0) && fits;
    }
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    *value = number;
    return any && fits && *at == '\0';
}

float ParseFloat(const char* text) {
    if (text == nullptr) {
        return 0.0f;
    }
    return static_cast<float>(std::atof(text));
}

int32_t FormatFloat(float value, int32_t at) {
    // An empty text stands at `at` before the reservation that may fail, so that a caller who
    // reads the result then finds no stale bytes of an earlier text there.
    if (workspace.buffer != nullptr && at >= 0 && at < workspace.capacity) {
        workspace.buffer[at] = '\0';
        workspace.position = at;
    }
    char* out = WorkspaceReserve(FORMAT_RESERVE, at);
    if (out == nullptr) {
        return workspace.position;
    }
    int written;
    // Old runtime libraries spell these "1.#INF00" and the like; the text must not depend on
    // which one the program meets.
    if (std::isnan(value)) {
        written = SystemSprintf(out, "nan");
    } else if (std::isinf(value)) {
        written = SystemSprintf(out, value < 0 ? "-inf" : "inf");
    } else {
        // At most 47 characters for a float (sign, 39 digits, point, six decimals).
        written = SystemSprintf(out, "%f", static_cast<double>(value));
    }
    if (written < 0 || written >= FORMAT_RESERVE) {
        written = 0;
        out[0] = '\0';
    }
    return WorkspaceGiveBack(FORMAT_RESERVE - written);
}
