// The monitor's registrations: a doubly linked list of (callback, context)
// pairs in the order in which they were registered.
//
// The list does no locking of its own; its owner guards every call (see
// CForegroundMonitor::m_lock).  An entry that a walk still holds outlives its
// removal from the list until the walk lets go of it, so that a callback may
// remove entries, its own included, while the walk goes on.
#pragma once

#include <cstdint>
#include <vector>

#include "foreground/foreground_callback.h"

struct CallbackEntry {
    CallbackEntry* Next = nullptr;
    CallbackEntry* Previous = nullptr;
    ForegroundCallback Callback = nullptr;  // never null
    uintptr_t Context = 0;

    // Walks that hold the entry, and whether it is still in the list; an
    // entry removed while held is freed by the walk that lets go of it last.
    unsigned Holds = 0;
    bool Linked = false;
};

class CallbackList {
public:
    CallbackList() = default;
    ~CallbackList() { RemoveAll(); }
    CallbackList(const CallbackList&) = delete;
    CallbackList& operator=(const CallbackList&) = delete;

    // A new entry at the tail.
    CallbackEntry* Append(ForegroundCallback callback, uintptr_t context);
    // The first entry from the head with this pair; a null callback matches nothing.
    CallbackEntry* Find(ForegroundCallback callback, uintptr_t context) const;
    // Unlinks the entry and frees it, unless a walk still holds it.
    void Remove(CallbackEntry* entry) noexcept;
    // Removes every entry, head first.
    void RemoveAll() noexcept;

    // Every entry from head to tail, each held until Release.
    std::vector<CallbackEntry*> HoldAll();
    // Lets go of an entry that HoldAll returned.
    void Release(CallbackEntry* entry) noexcept;

    CallbackEntry* Head() const { return m_head; }
    CallbackEntry* Tail() const { return m_tail; }

private:
    CallbackEntry* m_head = nullptr;
    CallbackEntry* m_tail = nullptr;
};
