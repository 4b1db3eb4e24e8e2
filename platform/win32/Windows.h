#pragma once
// Umbrella header of the Win32 stand-in: what engine code includes in place of the system header.

#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinMessages.h"
#include "platform/win32/WinModules.h"
#include "platform/win32/WinSystem.h"
#include "platform/win32/WinTypes.h"
#include "platform/win32/WinWindow.h"
