#include "framework/app/KE_Dispatcher.h"

#include "framework/app/KE_MessageReceiver.h"
#include "framework/threads/KT_AutoLock.h"

namespace
{
constexpr std::uint32_t INITIAL_LIST_CAPACITY = 2;
}

KE_Dispatcher::KE_Dispatcher()
{
    m_pReceiverLists = new ReceiverList*[KE_MESSAGE_TYPE_COUNT];
    for (std::uint32_t i = 0; i < KE_MESSAGE_TYPE_COUNT; ++i)
        m_pReceiverLists[i] = nullptr;
}

KE_Dispatcher::~KE_Dispatcher()
{
    KT_AutoLock lock(&m_oMutex);
    for (std::uint32_t i = 0; i < KE_MESSAGE_TYPE_COUNT; ++i)
    {
        delete m_pReceiverLists[i];
        m_pReceiverLists[i] = nullptr;
    }
    delete[] m_pReceiverLists;
    m_pReceiverLists = nullptr;
}

KE_Dispatcher::ReceiverList* KE_Dispatcher::GetList(KE_MessageType type) const
{
    if (static_cast<std::uint32_t>(type) >= KE_MESSAGE_TYPE_COUNT)
        return nullptr;
    return m_pReceiverLists[type];
}

void KE_Dispatcher::RegisterReceiver(KE_MessageType type, KE_MessageReceiver* pReceiver)
{
    if (static_cast<std::uint32_t>(type) >= KE_MESSAGE_TYPE_COUNT || pReceiver == nullptr)
        return;
    KT_AutoLock lock(&m_oMutex);
    if (m_pReceiverLists[type] == nullptr)
        m_pReceiverLists[type] = new ReceiverList(INITIAL_LIST_CAPACITY);
    m_pReceiverLists[type]->Add(pReceiver);
}

void KE_Dispatcher::UnRegisterReceiver(KE_MessageType type, KE_MessageReceiver* pReceiver)
{
    KT_AutoLock lock(&m_oMutex);
    ReceiverList* pList = GetList(type);
    if (pList == nullptr)
        return;
    const std::uint32_t count = pList->GetNumMembers();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if ((*pList)[i] != pReceiver)
            continue;
        const std::uint32_t last = count - 1;
        if (i != last)
            (*pList)[i] = (*pList)[last];
        pList->Remove(last); // clears the last slot and shrinks when under half full
        return;
    }
}

void KE_Dispatcher::Dispatch(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    for (std::uint32_t i = 0;; ++i)
    {
        KE_MessageReceiver* pReceiver = nullptr;
        {
            KT_AutoLock lock(&m_oMutex);
            const ReceiverList* pList = GetList(type);
            if (pList == nullptr || i >= pList->GetNumMembers())
                return;
            pReceiver = (*pList)[i];
        }
        pReceiver->Receive(type, subType, pPayload);
    }
}

std::uint32_t KE_Dispatcher::GetReceiverCount(KE_MessageType type)
{
    KT_AutoLock lock(&m_oMutex);
    const ReceiverList* pList = GetList(type);
    return pList != nullptr ? pList->GetNumMembers() : 0;
}

std::uint32_t KE_Dispatcher::GetReceiverCapacity(KE_MessageType type)
{
    KT_AutoLock lock(&m_oMutex);
    const ReceiverList* pList = GetList(type);
    return pList != nullptr ? pList->GetCapacity() : 0;
}
