#include "platform/d3d11/D3D11Modules.h"

#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/dxgi.h"
#include "platform/win32/WinModules.h"

namespace
{

// Entry points are stored under the generic procedure type, as GetProcAddress returns them.
template <class TFunction>
FARPROC AsProcedure(TFunction* pFunction)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(pFunction));
}

} // namespace

namespace D3D11Modules
{

void Register()
{
    Win32Modules::RegisterProcedure("d3d11.dll", "D3D11CreateDevice", AsProcedure(&D3D11CreateDevice));
    Win32Modules::RegisterProcedure("dxgi.dll", "CreateDXGIFactory", AsProcedure(&CreateDXGIFactory));
}

} // namespace D3D11Modules
