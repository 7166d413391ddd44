// The monitor's registrations: a doubly linked list of (callback, context)
// pairs in the order in which they were registered.
//
// The list does no locking of its own; its owner guards every call (see
// CForegroundMonitor::m_lock).  Walks never hold entries: they call a copy of
// the pairs (Snapshot), so an entry can be freed the moment it is removed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "foreground/foreground_callback.h"

struct CallbackEntry {
    CallbackEntry* Next = nullptr;
    CallbackEntry* Previous = nullptr;
    ForegroundCallback Callback = nullptr;  // never null
    uintptr_t Context = 0;
};

// One registration as a walk calls it.
struct Registration {
    ForegroundCallback Callback;
    uintptr_t Context;
};

class CallbackList {
public:
    CallbackList() = default;
    ~CallbackList() { RemoveAll(); }
    CallbackList(const CallbackList&) = delete;
    CallbackList& operator=(const CallbackList&) = delete;

    // A new entry at the tail; raises CAtlException(E_OUTOFMEMORY) when none can be had.
    void Append(ForegroundCallback callback, uintptr_t context);
    // The first entry from the head with this pair; a null callback matches nothing.
    CallbackEntry* Find(ForegroundCallback callback, uintptr_t context) const;
    // Unlinks the entry and frees it.
    void Remove(CallbackEntry* entry) noexcept;
    // Removes every entry, head first.
    void RemoveAll() noexcept;

    // The pairs from head to tail, in a new array the caller frees with
    // delete[]; `count` receives their number.  Raises CAtlException(E_OUTOFMEMORY).
    Registration* Snapshot(size_t& count) const;

    CallbackEntry* Head() const { return m_head; }

private:
    CallbackEntry* m_head = nullptr;
    CallbackEntry* m_tail = nullptr;
    size_t m_count = 0;
};
