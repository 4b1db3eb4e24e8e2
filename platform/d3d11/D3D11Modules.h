#pragma once
// Makes the stand-in's exported functions reachable through the Win32 stand-in's run-time
// library loading: "D3D11CreateDevice" in "d3d11.dll" and "CreateDXGIFactory" in "dxgi.dll".
// The program calls it once at start, before a graphics context loads the libraries; calling it
// again changes nothing. Thread-safe.

namespace D3D11Modules
{
void Register();
} // namespace D3D11Modules
