#pragma once

#include "low/Low.h"

struct High
{
    Low m_Low;
};
