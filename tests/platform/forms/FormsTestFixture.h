#pragma once
// Every forms test starts and ends with the stand-in (and the Win32 key table and boxes) reset.

#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"

#include <gtest/gtest.h>

class FormsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
    }
    void TearDown() override
    {
        FormsControl::Reset();
        Win32Control::Reset();
    }
};
