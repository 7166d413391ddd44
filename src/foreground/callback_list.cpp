#include "foreground/callback_list.h"

#include "common/new.h"
#include "strings/atl_exception.h"

void CallbackList::Append(ForegroundCallback callback, uintptr_t context)
{
    auto* entry = new (std::nothrow) CallbackEntry;
    if (entry == nullptr)
        ATL::AtlThrow(E_OUTOFMEMORY);
    entry->Callback = callback;
    entry->Context = context;
    entry->Previous = m_tail;
    if (m_tail != nullptr)
        m_tail->Next = entry;
    else
        m_head = entry;
    m_tail = entry;
    ++m_count;
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
    --m_count;
    delete entry;
}

void CallbackList::RemoveAll() noexcept
{
    while (m_head != nullptr)
        Remove(m_head);
}

Registration* CallbackList::Snapshot(size_t& count) const
{
    count = 0;
    if (m_count == 0)
        return nullptr;
    auto* pairs = new (std::nothrow) Registration[m_count];
    if (pairs == nullptr)
        ATL::AtlThrow(E_OUTOFMEMORY);
    for (CallbackEntry* entry = m_head; entry != nullptr; entry = entry->Next)
        pairs[count++] = {entry->Callback, entry->Context};
    return pairs;
}
