#include "foreground/callback_list.h"

CallbackEntry* CallbackList::Append(ForegroundCallback callback, uintptr_t context)
{
    auto* entry = new CallbackEntry;
    entry->Callback = callback;
    entry->Context = context;
    entry->Linked = true;
    entry->Previous = m_tail;
    if (m_tail != nullptr)
        m_tail->Next = entry;
    else
        m_head = entry;
    m_tail = entry;
    return entry;
}

CallbackEntry* CallbackList::Find(ForegroundCallback callback, uintptr_t context) const
{
    if (callback == nullptr)
        return nullptr;
    for (CallbackEntry* entry = m_head; entry != nullptr; entry = entry->Next) {
        if (entry->Callback == callback && entry->Context == context)
            return entry;
    }
    return nullptr;
}

void CallbackList::Remove(CallbackEntry* entry) noexcept
{
    if (entry->Previous != nullptr)
        entry->Previous->Next = entry->Next;
    else
        m_head = entry->Next;
    if (entry->Next != nullptr)
        entry->Next->Previous = entry->Previous;
    else
        m_tail = entry->Previous;
    entry->Next = nullptr;
    entry->Previous = nullptr;
    entry->Linked = false;
    if (entry->Holds == 0)
        delete entry;
}

void CallbackList::RemoveAll() noexcept
{
    while (m_head != nullptr)
        Remove(m_head);
}

std::vector<CallbackEntry*> CallbackList::HoldAll()
{
    std::vector<CallbackEntry*> held;
    for (CallbackEntry* entry = m_head; entry != nullptr; entry = entry->Next)
        held.push_back(entry);
    for (CallbackEntry* entry : held)
        ++entry->Holds;
    return held;
}

void CallbackList::Release(CallbackEntry* entry) noexcept
{
    if (--entry->Holds == 0 && !entry->Linked)
        delete entry;
}
