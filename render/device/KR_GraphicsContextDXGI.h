#pragma once
// The DXGI half of a graphics context: loads "dxgi.dll" at run time (so the program starts on a
// machine without it), makes the DXGI factory and enumerates adapters, outputs and display modes
// in DXGI_FORMAT_R8G8B8A8_UNORM_SRGB. The library stays loaded for the program's life.

#include "platform/d3d11/dxgi.h"
#include "platform/win32/WinTypes.h"
#include "render/device/KR_GraphicsContext.h"

class KR_GraphicsContextDXGI : public KR_GraphicsContext
{
public:
    // Loads the library and makes the factory; a failure leaves the factory null.
    KR_GraphicsContextDXGI();
    ~KR_GraphicsContextDXGI() override;

    // Tries "dxgi.dll" once; true when it is loaded.
    bool LoadLibraries() override;
    KB_GrowingArray<KB_String>* GetAdapterNames() override;
    KB_GrowingArray<KB_String>* GetOutputNames(std::uint32_t uiAdapter) override;
    KB_GrowingArray<KR_ScreenResolution>* GetScreenResolutions(std::uint32_t uiAdapter,
                                                               std::uint32_t uiOutput) override;

protected:
    using CreateDXGIFactoryFunction = HRESULT (*)(REFIID riid, void** ppFactory);

    // Loads "dxgi.dll" and looks up CreateDXGIFactory unless that was tried before.
    void LoadDXGILibrary();

    IDXGIFactory* m_pDXGIFactory = nullptr; // owned reference
    bool m_bDXGILibraryTried = false;
    HMODULE m_hDXGIModule = nullptr; // never freed
    CreateDXGIFactoryFunction m_pCreateDXGIFactory = nullptr;
};
