#pragma once
// System services of the forms stand-in: the primary screen (the Win32 stand-in's desktop) and
// opening a file with its associated program, which goes to a hook (FormsControl.h) that by default
// only logs the path: nothing is started. Thread-safe.

#include "platform/forms/FormsDrawing.h"

#include <string>

namespace forms
{

class Screen
{
public:
    static Rectangle PrimaryScreenBounds(); // Screen.PrimaryScreen.Bounds
};

class Process
{
public:
    // Opens the file with its associated program; the answer is the hook's (true by default).
    static bool Start(const std::string& path);
};

} // namespace forms
