#pragma once

#include "platform/stub/Stub.h"

struct Low
{
    Stub m_Stub;
};
