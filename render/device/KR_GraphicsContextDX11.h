#pragma once
// The Direct3D 11 graphics context ("DirectX 11"): loads "d3d11.dll" next to "dxgi.dll" at run
// time, makes the device on the chosen adapter (feature level 11_0 or better required), the swap
// chain on the main window, and the Direct3D 11 implementations of the device-dependent engine
// objects. Main thread only.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsContextDXGI.h"

class KR_GraphicsContextDX11 : public KR_GraphicsContextDXGI
{
public:
    KR_GraphicsContextDX11();
    ~KR_GraphicsContextDX11() override;

    // Tries each library once; true when both are loaded.
    bool LoadLibraries() override;
    KB_String GetName() override;
    KR_GraphicsDevice* CreateGraphicsDevice(HWND hWindow, std::uint32_t uiAdapter, std::uint32_t uiOutput,
                                            KR_ScreenResolution* pScreenResolution) override;
    bool ApplyScreenResolution(KR_ScreenResolution* pScreenResolution) override;
    KR_GraphicsResourceManager* CreateGraphicsResourceManager() override;
    KR_ParticleEngine* CreateParticleEngine() override;
    KR_PostFXEngine* CreatePostFXEngine() override;
    KR_OITRenderer* CreateOITRenderer() override;
    KR_MetaBallRenderer* CreateMetaBallRenderer() override;
    KR_ShaderCoreManager* CreateShaderCoreManager() override;

private:
    // Centres the window (grown by its frame) on the output, or fits it to the output when
    // fullscreen.
    void PlaceWindow(HWND hWindow, IDXGIAdapter* pAdapter, std::uint32_t uiOutput,
                     const KR_ScreenResolution& screenResolution);

    bool m_bD3D11LibraryTried = false;
    HMODULE m_hD3D11Module = nullptr; // never freed
    PFN_D3D11_CREATE_DEVICE m_pD3D11CreateDevice = nullptr;
};
