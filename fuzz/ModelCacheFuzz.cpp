// Fuzzes the model cache reader on whole cache files, header included. The meshes read make their
// buffers on the Direct3D stand-in, through a fake graphics device installed in the engine; no
// material library is loaded, so material names stay unresolved.

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelResource.h"
#include "tests/support/FakeGraphicsDevice.h"

#include <cstdint>
#include <vector>

namespace
{

void Install()
{
    static bool s_bInstalled = false;
    if (s_bInstalled)
        return;
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
    KE_ApplicationManager::GetInstance()->SetGraphicsDevice(new FakeGraphicsDevice(pDevice, pContext));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    Install();
    // A copy of exactly the file, so reading past its end is caught.
    const std::vector<std::uint8_t> file(pData, pData + uiSize);
    delete KR_ModelCacheReader::ReadModel(file.data(), file.size());
    D3D11Control::ClearCallLog();
    return 0;
}
