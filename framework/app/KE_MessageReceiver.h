#pragma once
// Base of everything that takes dispatcher messages. A receiver registers with KE_Dispatcher for
// the types it wants and must unregister before it is destroyed; the dispatcher does not own it.

#include "framework/app/KE_Messages.h"

class KE_MessageReceiver
{
public:
    virtual ~KE_MessageReceiver() = default;

    // Called synchronously on the sender's thread. True when the message was handled; the
    // dispatcher ignores the result. May register, unregister or dispatch.
    virtual bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) = 0;
};
