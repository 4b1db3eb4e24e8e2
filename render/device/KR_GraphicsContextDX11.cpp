#include "render/device/KR_GraphicsContextDX11.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/app/KE_ToolsBridge.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsDeviceDX11.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManagerDX11.h"
#include "render/effects/KR_MetaBallRendererDX11.h"
#include "render/effects/KR_OITRendererDX11.h"
#include "render/effects/KR_ParticleEngineDX11.h"
#include "render/effects/KR_PostFXEngineDX11.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ObjImporter.h"

#include <new>

namespace
{

constexpr const char* DEVICE_FAILED_TEXT = "Failed to initialize DirectX 11 Device.";
constexpr const char* FEATURE_LEVEL_TEXT =
    "The chosen Device does not support D3D_FEATURE_LEVEL_11_0. You need a "
    "DirectX 11 capable graphics card to run this Demo.";
constexpr const char* DEVICE_CAPTION = "Device Initialization";

// Tells the user why there is no device, through the managed facade when the engine has one
// (reached through the tools bridge), else with the same box directly.
void ShowDeviceMessage(const char* pText)
{
    KE_ApplicationManager* pApplication = KE_ApplicationManager::GetInstance();
    KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
    if (pApplication != nullptr && pTools != nullptr && pApplication->GetManagedFacade() != nullptr)
    {
        pTools->ShowMessageBox(pApplication->GetManagedFacade(), KB_String(pText), KB_String(DEVICE_CAPTION));
        return;
    }
    MessageBoxA(nullptr, pText, DEVICE_CAPTION, MB_OK);
}

} // namespace

KR_GraphicsContextDX11::KR_GraphicsContextDX11() = default;

KR_GraphicsContextDX11::~KR_GraphicsContextDX11() = default;

bool KR_GraphicsContextDX11::LoadLibraries()
{
    LoadDXGILibrary();
    if (m_hDXGIModule == nullptr)
        return false;
    if (!m_bD3D11LibraryTried)
    {
        m_bD3D11LibraryTried = true;
        m_hD3D11Module = LoadLibraryA("d3d11.dll");
        if (m_hD3D11Module != nullptr)
        {
            m_pD3D11CreateDevice = reinterpret_cast<PFN_D3D11_CREATE_DEVICE>(
                reinterpret_cast<void (*)()>(GetProcAddress(m_hD3D11Module, "D3D11CreateDevice")));
        }
    }
    return m_hD3D11Module != nullptr;
}

KB_String KR_GraphicsContextDX11::GetName()
{
    return KB_String("DirectX 11");
}

KR_GraphicsDevice* KR_GraphicsContextDX11::CreateGraphicsDevice(HWND hWindow, std::uint32_t uiAdapter,
                                                                std::uint32_t uiOutput,
                                                                KR_ScreenResolution* pScreenResolution)
{
    if (pScreenResolution == nullptr || !LoadLibraries() || m_pDXGIFactory == nullptr ||
        m_pD3D11CreateDevice == nullptr)
    {
        return nullptr;
    }
    IDXGIAdapter* pAdapter = nullptr;
    if (FAILED(m_pDXGIFactory->EnumAdapters(uiAdapter, &pAdapter)))
        return nullptr;

    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    D3D_FEATURE_LEVEL featureLevel = D3D_FEATURE_LEVEL_9_1;
    const HRESULT hrDevice = m_pD3D11CreateDevice(pAdapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                                  D3D11_SDK_VERSION, &pDevice, &featureLevel, &pContext);
    if (FAILED(hrDevice) || featureLevel < D3D_FEATURE_LEVEL_11_0)
    {
        KR_ReleaseAndNull(pContext);
        KR_ReleaseAndNull(pDevice);
        pAdapter->Release();
        ShowDeviceMessage(FAILED(hrDevice) ? DEVICE_FAILED_TEXT : FEATURE_LEVEL_TEXT);
        return nullptr;
    }

    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferDesc.Width = pScreenResolution->m_uiWidth;
    desc.BufferDesc.Height = pScreenResolution->m_uiHeight;
    desc.BufferDesc.RefreshRate.Numerator = pScreenResolution->m_uiRefreshRateNumerator;
    desc.BufferDesc.RefreshRate.Denominator = pScreenResolution->m_uiRefreshRateDenominator;
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
    desc.SampleDesc.Count = pScreenResolution->m_uiAntiAliasing;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 1;
    desc.OutputWindow = hWindow;
    desc.Windowed = TRUE; // fullscreen is entered once the swap chain exists
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    desc.Flags = 0;

    UINT uiQualityLevels = 0;
    pDevice->CheckMultisampleQualityLevels(desc.BufferDesc.Format, desc.SampleDesc.Count, &uiQualityLevels);
    desc.SampleDesc.Quality = uiQualityLevels > 0 ? uiQualityLevels - 1 : 0;
    pScreenResolution->m_uiMultisampleQuality = desc.SampleDesc.Quality;

    PlaceWindow(hWindow, pAdapter, uiOutput, *pScreenResolution);
    pAdapter->Release();

    IDXGISwapChain* pSwapChain = nullptr;
    if (FAILED(m_pDXGIFactory->CreateSwapChain(pDevice, &desc, &pSwapChain)))
    {
        KR_ReleaseAndNull(pContext);
        KR_ReleaseAndNull(pDevice);
        return nullptr;
    }
    if (pScreenResolution->m_bFullscreen)
        pSwapChain->SetFullscreenState(TRUE, nullptr);
    auto* pGraphicsDevice =
        new (std::nothrow) KR_GraphicsDeviceDX11(pDevice, pContext, pSwapChain, *pScreenResolution);
    if (pGraphicsDevice == nullptr)
    {
        if (pScreenResolution->m_bFullscreen)
            pSwapChain->SetFullscreenState(FALSE, nullptr);
        pSwapChain->Release();
        pContext->Release();
        pDevice->Release();
    }
    return pGraphicsDevice;
}

void KR_GraphicsContextDX11::PlaceWindow(HWND hWindow, IDXGIAdapter* pAdapter, std::uint32_t uiOutput,
                                         const KR_ScreenResolution& screenResolution)
{
    RECT monitor{};
    bool bHaveMonitor = false;
    IDXGIOutput* pOutput = nullptr;
    if (SUCCEEDED(pAdapter->EnumOutputs(uiOutput, &pOutput)))
    {
        DXGI_OUTPUT_DESC desc{};
        if (SUCCEEDED(pOutput->GetDesc(&desc)))
        {
            monitor = desc.DesktopCoordinates;
            bHaveMonitor = true;
        }
        pOutput->Release();
    }

    if (screenResolution.m_bFullscreen)
    {
        if (bHaveMonitor)
        {
            MoveWindow(hWindow, monitor.left, monitor.top, monitor.right - monitor.left,
                       monitor.bottom - monitor.top, TRUE);
        }
        return;
    }

    RECT window = {0, 0, static_cast<LONG>(screenResolution.m_uiWidth),
                   static_cast<LONG>(screenResolution.m_uiHeight)};
    AdjustWindowRect(&window, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, FALSE);
    const int iWidth = window.right - window.left;
    const int iHeight = window.bottom - window.top;
    if (!bHaveMonitor)
        bHaveMonitor = GetWindowRect(GetDesktopWindow(), &monitor) != FALSE;
    int iX = CW_USEDEFAULT;
    int iY = CW_USEDEFAULT;
    if (bHaveMonitor)
    {
        iX = ((monitor.right - monitor.left) >> 1) - (iWidth >> 1) + monitor.left;
        iY = ((monitor.bottom - monitor.top) >> 1) - (iHeight >> 1) + monitor.top;
    }
    MoveWindow(hWindow, iX, iY, iWidth, iHeight, TRUE);
}

bool KR_GraphicsContextDX11::ApplyScreenResolution(KR_ScreenResolution* pScreenResolution)
{
    KE_ApplicationManager* pApplication = KE_ApplicationManager::GetInstance();
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    ID3D11DeviceContext* pContext = pDevice != nullptr ? pDevice->GetImmediateContext() : nullptr;
    if (pContext == nullptr || pScreenResolution == nullptr)
        return false;
    pDevice->UnbindRenderTargets();
    pDevice->ReleaseSizeDependentResources();
    pContext->ClearState();
    KR_GraphicsResourceManager* pResourceManager = pApplication->GetGraphicsResourceManager();
    if (pResourceManager != nullptr)
    {
        pResourceManager->DestroyUnusedTextures();
        pResourceManager->DestroyUnusedBuffers();
    }
    pContext->Flush();
    const bool bResized = pDevice->Resize(pScreenResolution);
    // Made again even when the resize failed, so the device stays usable at its old size.
    const bool bCreated = pDevice->CreateSizeDependentResources();
    return bResized && bCreated;
}

KR_GraphicsResourceManager* KR_GraphicsContextDX11::CreateGraphicsResourceManager()
{
    // The manager's model loader reads caches and imports OBJ and COLLADA files through the seam;
    // what is set already (by a tool or a test) is kept.
    if (KR_ModelImporters::GetCacheReader() == nullptr)
        KR_ModelImporters::SetCacheReader(&KR_ModelCacheReader::LoadSerializedModel);
    if (KR_ModelImporters::FindImporter(".obj") == nullptr)
        KR_ModelImporters::RegisterImporter("obj", &KR_ObjImporter::Import);
    if (KR_ModelImporters::FindImporter("model.dae") == nullptr)
        KR_ModelImporters::RegisterImporter("dae", &KR_ColladaImporter::Import);
    return new (std::nothrow) KR_GraphicsResourceManagerDX11();
}

KR_ParticleEngine* KR_GraphicsContextDX11::CreateParticleEngine()
{
    return new (std::nothrow) KR_ParticleEngineDX11();
}

KR_PostFXEngine* KR_GraphicsContextDX11::CreatePostFXEngine()
{
    return new (std::nothrow) KR_PostFXEngineDX11();
}

KR_OITRenderer* KR_GraphicsContextDX11::CreateOITRenderer()
{
    return new (std::nothrow) KR_OITRendererDX11();
}

KR_MetaBallRenderer* KR_GraphicsContextDX11::CreateMetaBallRenderer()
{
    return new (std::nothrow) KR_MetaBallRendererDX11();
}

KR_ShaderCoreManager* KR_GraphicsContextDX11::CreateShaderCoreManager()
{
    return new (std::nothrow) KR_ShaderCoreManagerDX11();
}
