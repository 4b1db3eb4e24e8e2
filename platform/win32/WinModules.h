#pragma once
// Run-time library loading of the Win32 stand-in, over a table of built-in modules: "d3d11.dll"
// and "dxgi.dll" always exist (tests can make them missing), and the stand-in layers behind them
// register their entry points with Win32Modules::RegisterProcedure. Names compare without regard
// to case, and ".dll" is implied when a name has no extension. Nothing is read from disk.

#include "platform/win32/WinTypes.h"

using FARPROC = INT_PTR (*)();

// Null when the module is unknown or missing. Each successful load adds one reference.
HMODULE LoadLibraryA(LPCSTR fileName);
// Null when the module is not loaded or has no such entry point.
FARPROC GetProcAddress(HMODULE module, LPCSTR procedureName);
BOOL FreeLibrary(HMODULE module);
// A null name gives the program's own instance handle; otherwise a loaded module or null.
HMODULE GetModuleHandleA(LPCSTR moduleName);

namespace Win32Modules
{
// Adds (or replaces) an entry point of a built-in module, adding the module when it is new. Called
// by the stand-in layers that implement the module; safe from any thread.
void RegisterProcedure(const char* moduleName, const char* procedureName, FARPROC procedure);
} // namespace Win32Modules
