// Message sequences in the manner of Wine's conformance tests: a recorder subclasses windows
// and logs the messages they receive; a declared, zero-terminated table of expected messages
// is compared with the log, and a mismatch prints both lists.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace testsupport {

// What an expected entry compares beside the message number.
enum SequenceFlags : unsigned {
    SEQ_WPARAM = 1u,   // compare wParam
    SEQ_LPARAM = 2u,   // compare lParam
    SEQ_OPTIONAL = 4u, // the message may be missing
    SEQ_FOCUS = 8u,    // compare the focus window at receipt with `focus`
};

struct ExpectedMessage {
    UINT message; // 0 ends the table
    unsigned flags;
    WPARAM wParam;
    LPARAM lParam;
    HWND focus;
};

struct RecordedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    HWND focus; // GetFocus() when the message arrived
};

// Records the messages of the watched windows (all of them, or only the listed numbers).
// Must be used on the thread that owns the windows; the windows' own procedures still run.
class MessageRecorder {
  public:
    MessageRecorder() = default;
    explicit MessageRecorder(std::initializer_list<UINT> only) : only_(only) {}
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void Watch(HWND window);
    void Unwatch(HWND window);
    void Clear() { messages_.clear(); }
    const std::vector<RecordedMessage>& Messages() const { return messages_; }
    size_t Count(UINT message) const;

  private:
    friend LRESULT CALLBACK RecorderProc(HWND, UINT, WPARAM, LPARAM);
    void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<UINT> only_;
    std::vector<RecordedMessage> messages_;
    std::vector<HWND> watched_;
};

// Platform noise that the comparison skips wherever it stands (WM_GETTEXT, WM_NCPAINT, ...).
bool IsNoiseMessage(UINT message);
// A readable name for a message number.
const char* MessageName(UINT message);

// Compares the log with the expected table: entries in order, optional entries may be missing,
// noise may stand anywhere.
::testing::AssertionResult SequenceMatches(const std::vector<RecordedMessage>& actual,
                                           const ExpectedMessage* expected);

} // namespace testsupport
