// The layer's posts and payloads, noted in one list that every thread shares.
#include "gui/layer_posts.h"

#include "gui/layer_numbers.h"
#include "gui/window_table.h"
#include "runtime/memory_heaps.h"
#include "runtime/threads.h"

namespace {

// One message the layer posted and the window has not yet taken; or, for a payload, one made
// and not yet posted (then `posted` is false and `window` null).
struct LayerPost {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam; // the payload's address for a payload
    bool payload;
    bool posted;
};

// Newest first. Posts come from any thread, so the list has a lock of its own; it is short, as
// the window takes every post soon after it is made.
NodeList posts = nullptr;
FirstUseLock postsLock = {};

constexpr size_t PAYLOAD_MINIMUM_SIZE = 6 * sizeof(void*);

void LockPosts() {
    FirstUseLockEnter(&postsLock);
}

void UnlockPosts() {
    FirstUseLockLeave(&postsLock);
}

// Called with the lock held.
LayerPost* FindPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    for (void* entry = NodeListFirst(posts); entry != nullptr; entry = NodeListNext(entry)) {
        auto* post = static_cast<LayerPost*>(entry);
        if (post->posted && post->window == window && post->message == message &&
            post->wParam == wParam && post->lParam == lParam) {
            return post;
        }
    }
    return nullptr;
}

// Called with the lock held.
LayerPost* FindPayload(void* payload) {
    for (void* entry = NodeListFirst(posts); entry != nullptr; entry = NodeListNext(entry)) {
        auto* post = static_cast<LayerPost*>(entry);
        if (post->payload && post->lParam == reinterpret_cast<LPARAM>(payload)) {
            return post;
        }
    }
    return nullptr;
}

bool IsPayloadMessage(UINT message) {
    return message == MSG_WINDOW_DATA || message == MSG_GADGET_DATA;
}

bool IsNumberedWindow(HWND window) {
    return WindowNumberOf(window) != -1;
}

// Forgets the posts to the window, or (for null) to every window that is gone: one that closed
// while a post to it was on its way from another thread. Called with the lock held.
void GiveBackPosts(HWND window) {
    for (void* entry = NodeListFirst(posts); entry != nullptr;) {
        void* next = NodeListNext(entry);
        auto* post = static_cast<LayerPost*>(entry);
        if (post->posted &&
            (window != nullptr ? post->window == window : !IsWindow(post->window))) {
            if (post->payload) {
                FreeEventPayloadBlocks(reinterpret_cast<void*>(post->lParam));
            }
            NodeListRemove(&posts, entry);
        }
        entry = next;
    }
}

} // namespace

bool PostLayerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing else would take it: the post would stay for good.
    if (!IsNumberedWindow(window)) {
        return false;
    }
    LockPosts();
    GiveBackPosts(nullptr);
    auto* post = static_cast<LayerPost*>(NodeListAdd(&posts, sizeof(LayerPost)));
    bool sent = false;
    if (post != nullptr) {
        *post = {window, message, wParam, lParam, false, true};
        // Noted first: the window's thread may take the message before PostMessageA returns.
        sent = PostMessageA(window, message, wParam, lParam) != 0;
        if (!sent) {
            NodeListRemove(&posts, post);
        }
    }
    UnlockPosts();
    return sent;
}

bool IsLayerPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool removed) {
    LockPosts();
    LayerPost* post = FindPost(window, message, wParam, lParam);
    // A payload's note is its owner until the window takes the payload.
    if (post != nullptr && removed && !post->payload) {
        NodeListRemove(&posts, post);
    }
    UnlockPosts();
    return post != nullptr;
}

void GiveBackWindowMessages(HWND window) {
    LockPosts();
    GiveBackPosts(window);
    UnlockPosts();
}

void* MakeEventPayload(size_t size) {
    void* payload = MainHeapAlloc(size < PAYLOAD_MINIMUM_SIZE ? PAYLOAD_MINIMUM_SIZE : size);
    if (payload == nullptr) {
        return nullptr;
    }
    LockPosts();
    auto* post = static_cast<LayerPost*>(NodeListAdd(&posts, sizeof(LayerPost)));
    if (post != nullptr) {
        *post = {nullptr, 0, 0, reinterpret_cast<LPARAM>(payload), true, false};
    }
    UnlockPosts();
    if (post == nullptr) {
        MainHeapFree(payload);
        return nullptr;
    }
    return payload;
}

bool PostEventPayload(HWND window, UINT message, WPARAM wParam, void* payload) {
    if (payload == nullptr || !IsPayloadMessage(message) || !IsNumberedWindow(window)) {
        return false;
    }
    LockPosts();
    GiveBackPosts(nullptr);
    LayerPost* post = FindPayload(payload);
    bool sent = false;
    if (post != nullptr && !post->posted) {
        post->window = window;
        post->message = message;
        post->wParam = wParam;
        post->posted = true;
        sent = PostMessageA(window, message, wParam, reinterpret_cast<LPARAM>(payload)) != 0;
        if (!sent) {
            post->window = nullptr;
            post->posted = false;
        }
    }
    UnlockPosts();
    return sent;
}

bool GiveBackEventPayload(void* payload) {
    if (payload == nullptr) {
        return false;
    }
    LockPosts();
    LayerPost* post = FindPayload(payload);
    // A posted one is on its way: the window that takes it, or its closing, gives it back.
    const bool made = post != nullptr && !post->posted;
    if (made) {
        NodeListRemove(&posts, post);
    }
    UnlockPosts();
    if (made) {
        FreeEventPayloadBlocks(payload);
    }
    return made;
}

bool TakeEventPayload(HWND window, UINT message, WPARAM wParam, void* payload) {
    if (payload == nullptr) {
        return false;
    }
    LockPosts();
    LayerPost* post = FindPost(window, message, wParam, reinterpret_cast<LPARAM>(payload));
    const bool taken = post != nullptr && post->payload;
    if (taken) {
        NodeListRemove(&posts, post);
    }
    UnlockPosts();
    return taken;
}

void FreeEventPayloadBlocks(void* payload) {
    if (payload == nullptr) {
        return;
    }
    // The payload's sixth word may point to a second block that goes with it.
    void* second = static_cast<void**>(payload)[5];
    if (second != nullptr) {
        MainHeapFree(second);
    }
    MainHeapFree(payload);
}

int LiveEventPayloads() {
    int count = 0;
    LockPosts();
    for (void* entry = NodeListFirst(posts); entry != nullptr; entry = NodeListNext(entry)) {
        count += static_cast<LayerPost*>(entry)->payload ? 1 : 0;
    }
    UnlockPosts();
    return count;
}
