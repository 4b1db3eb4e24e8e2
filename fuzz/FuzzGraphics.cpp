#include "fuzz/FuzzGraphics.h"

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "tests/support/FakeGraphicsDevice.h"

void InstallFuzzGraphics(KR_GraphicsResourceManager* pResources)
{
    static bool s_bInstalled = false;
    if (s_bInstalled)
    {
        delete pResources;
        return;
    }
    s_bInstalled = true;
    FuzzEngine::Get();
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                 &pDevice, nullptr, &pContext)))
    {
        __builtin_trap();
    }
    // Kept until the process ends, like the engine.
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    pEngine->SetGraphicsDevice(new FakeGraphicsDevice(pDevice, pContext));
    if (pResources != nullptr)
        pEngine->SetGraphicsResourceManager(pResources);
}
