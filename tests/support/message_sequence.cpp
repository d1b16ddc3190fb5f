#include "tests/support/message_sequence.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace testsupport {

namespace {

struct Subclass {
    MessageRecorder* recorder;
    WNDPROC previous;
};

// Windows under watch; test threads own their windows, the map belongs to the main thread.
std::map<HWND, Subclass>& Subclasses() {
    static std::map<HWND, Subclass> subclasses;
    return subclasses;
}

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
    char line[160];
    std::snprintf(line, sizeof line, "%s (%u) wParam %#lx lParam %#lx", MessageName(message),
                  message, static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
    return line;
}

bool Matches(const ExpectedMessage& expected, const RecordedMessage& actual) {
    if (expected.message != actual.message) {
        return false;
    }
    if ((expected.flags & SEQ_WPARAM) && expected.wParam != actual.wParam) {
        return false;
    }
    if ((expected.flags & SEQ_LPARAM) && expected.lParam != actual.lParam) {
        return false;
    }
    if ((expected.flags & SEQ_FOCUS) && expected.focus != actual.focus) {
        return false;
    }
    return true;
}

} // namespace

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto found = Subclasses().find(window);
    if (found == Subclasses().end()) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    Subclass subclass = found->second;
    if (subclass.recorder) {
        subclass.recorder->Record(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The window is going: forget it before passing the message on.
        if (subclass.recorder) {
            auto& watched = subclass.recorder->watched_;
            watched.erase(std::remove(watched.begin(), watched.end(), window), watched.end());
        }
        Subclasses().erase(window);
    }
    return CallWindowProcA(subclass.previous, window, message, wParam, lParam);
}

MessageRecorder::~MessageRecorder() {
    std::vector<HWND> watched = watched_;
    for (HWND window : watched) {
        Unwatch(window);
    }
}

void MessageRecorder::Watch(HWND window) {
    if (!window || Subclasses().count(window)) {
        return;
    }
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecorderProc)));
    Subclasses()[window] = Subclass{this, previous};
    watched_.push_back(window);
}

void MessageRecorder::Unwatch(HWND window) {
    auto found = Subclasses().find(window);
    if (found == Subclasses().end() || found->second.recorder != this) {
        return;
    }
    // Only when nobody has subclassed on top of the recorder can its procedure be taken out.
    if (IsWindow(window) &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)) == RecorderProc) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.previous));
        Subclasses().erase(found);
    } else {
        // Stay in the chain but stop recording: the procedure passes everything through.
        found->second.recorder = nullptr;
    }
    watched_.erase(std::remove(watched_.begin(), watched_.end(), window), watched_.end());
}

void MessageRecorder::Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!only_.empty() && std::find(only_.begin(), only_.end(), message) == only_.end()) {
        return;
    }
    messages_.push_back(RecordedMessage{window, message, wParam, lParam, GetFocus()});
}

size_t MessageRecorder::Count(UINT message) const {
    return static_cast<size_t>(
        std::count_if(messages_.begin(), messages_.end(),
                      [message](const RecordedMessage& m) { return m.message == message; }));
}

bool IsNoiseMessage(UINT message) {
    switch (message) {
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_NCPAINT:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_GETICON:
    case WM_GETOBJECT:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_TIMER:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
    case WM_SYNCPAINT:
        return true;
    default:
        return false;
    }
}

const char* MessageName(UINT message) {
    static const std::map<UINT, const char*> names = {
        {WM_CREATE, "WM_CREATE"},
        {WM_DESTROY, "WM_DESTROY"},
        {WM_MOVE, "WM_MOVE"},
        {WM_SIZE, "WM_SIZE"},
        {WM_ACTIVATE, "WM_ACTIVATE"},
        {WM_SETFOCUS, "WM_SETFOCUS"},
        {WM_KILLFOCUS, "WM_KILLFOCUS"},
        {WM_SETTEXT, "WM_SETTEXT"},
        {WM_GETTEXT, "WM_GETTEXT"},
        {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
        {WM_PAINT, "WM_PAINT"},
        {WM_CLOSE, "WM_CLOSE"},
        {WM_ERASEBKGND, "WM_ERASEBKGND"},
        {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
        {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"},
        {WM_SETFONT, "WM_SETFONT"},
        {WM_GETMINMAXINFO, "WM_GETMINMAXINFO"},
        {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
        {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
        {WM_NOTIFY, "WM_NOTIFY"},
        {WM_NCCREATE, "WM_NCCREATE"},
        {WM_NCDESTROY, "WM_NCDESTROY"},
        {WM_NCCALCSIZE, "WM_NCCALCSIZE"},
        {WM_NCPAINT, "WM_NCPAINT"},
        {WM_NCACTIVATE, "WM_NCACTIVATE"},
        {WM_KEYDOWN, "WM_KEYDOWN"},
        {WM_KEYUP, "WM_KEYUP"},
        {WM_CHAR, "WM_CHAR"},
        {WM_COMMAND, "WM_COMMAND"},
        {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
        {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
        {WM_LBUTTONUP, "WM_LBUTTONUP"},
        {WM_PARENTNOTIFY, "WM_PARENTNOTIFY"},
        {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"},
        {BM_CLICK, "BM_CLICK"},
        {BM_SETSTATE, "BM_SETSTATE"},
        {13103, "GADGET_FOCUS_NOTICE"},
        {12501, "MSG_NOTIFY_CLICK"},
        {12502, "MSG_NOTIFY_CLICK_POSTED"},
    };
    auto found = names.find(message);
    return found == names.end() ? "message" : found->second;
}

::testing::AssertionResult SequenceMatches(const std::vector<RecordedMessage>& actual,
                                           const ExpectedMessage* expected) {
    size_t e = 0;
    size_t a = 0;
    std::string problem;
    while (expected[e].message && a < actual.size()) {
        if (Matches(expected[e], actual[a])) {
            ++e;
            ++a;
        } else if (expected[e].flags & SEQ_OPTIONAL) {
            ++e;
        } else if (IsNoiseMessage(actual[a].message)) {
            ++a;
        } else {
            problem = "entry " + std::to_string(e) + " does not match received message " +
                      std::to_string(a);
            break;
        }
    }
    if (problem.empty()) {
        for (; expected[e].message; ++e) {
            if (!(expected[e].flags & SEQ_OPTIONAL)) {
                problem = "expected entry " + std::to_string(e) + " never arrived";
                break;
            }
        }
    }
    if (problem.empty()) {
        for (; a < actual.size(); ++a) {
            if (!IsNoiseMessage(actual[a].message)) {
                problem = "received message " + std::to_string(a) + " was not expected";
                break;
            }
        }
    }
    if (problem.empty()) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream report;
    report << problem << "\n  expected:\n";
    for (size_t i = 0; expected[i].message; ++i) {
        report << "    " << i << ": "
               << Describe(expected[i].message, expected[i].wParam, expected[i].lParam)
               << ((expected[i].flags & SEQ_OPTIONAL) ? " (optional)" : "") << "\n";
    }
    report << "  received:\n";
    for (size_t i = 0; i < actual.size(); ++i) {
        report << "    " << i << ": "
               << Describe(actual[i].message, actual[i].wParam, actual[i].lParam)
               << (IsNoiseMessage(actual[i].message) ? " (noise)" : "") << "\n";
    }
    return ::testing::AssertionFailure() << report.str();
}

} // namespace testsupport
