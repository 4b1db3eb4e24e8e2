#pragma once
// Delivers messages synchronously to every receiver registered for the message's type, in list
// order. One per engine, owned by the engine singleton (KE_ApplicationManager::GetDispatcher).
//
// Each type has its own list, created on its first registration with capacity 2. Registering
// appends (no duplicate check: a receiver registered twice hears everything twice); removing
// takes the first match, moves the last receiver into its slot and shrinks the list when fewer
// than half of its slots are used.
//
// Threads: dispatches come from the main thread; registrations and removals may come from any
// thread (the load job registers what it loads). One lock guards the lists for every change and
// every step of a walk, and is never held while a receiver runs, so a receiver may register,
// unregister, dispatch or join a thread that is waiting to register.
//
// Does NOT own receivers, queue messages, or deliver a type outside 0-7 (ignored).

#include "framework/app/KE_Messages.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/threads/KT_Mutex.h"

#include <cstdint>

class KE_MessageReceiver;

class KE_Dispatcher
{
public:
    KE_Dispatcher();
    ~KE_Dispatcher(); // frees the lists; the receivers are left alone

    KE_Dispatcher(const KE_Dispatcher&) = delete;
    KE_Dispatcher& operator=(const KE_Dispatcher&) = delete;

    // pReceiver not owned; null is ignored.
    void RegisterReceiver(KE_MessageType type, KE_MessageReceiver* pReceiver);
    // An absent list or receiver is ignored.
    void UnRegisterReceiver(KE_MessageType type, KE_MessageReceiver* pReceiver);
    // Calls Receive of receiver 0, 1, ... re-reading the list after every call: a receiver added
    // meanwhile hears the same message, and the receiver moved into the slot of one that removed
    // itself is skipped for this message.
    void Dispatch(KE_MessageType type, KE_MessageSubType subType, void* pPayload);

    std::uint32_t GetReceiverCount(KE_MessageType type);
    std::uint32_t GetReceiverCapacity(KE_MessageType type); // 0 before the first registration

private:
    using ReceiverList = KB_GrowingArray<KE_MessageReceiver*>;

    // Null for an invalid type or a type without list. Caller holds the lock.
    ReceiverList* GetList(KE_MessageType type) const;

    ReceiverList** m_pReceiverLists = nullptr; // owned table of KE_MESSAGE_TYPE_COUNT owned lists
    KT_Mutex m_oMutex;                         // guards the table and every list
};
