#pragma once
// Umbrella header of the Win32 stand-in: what engine code includes in place of the system header.

#include "platform/win32/WinTypes.h"
#include "platform/win32/WinSystem.h"
#include "platform/win32/WinFiles.h"
