// Fuzzes the COLLADA importer on whole documents, read through the fuzz engine's memory repository
// with every flag set (tangents, boxes, centres). The meshes are made on the Direct3D stand-in
// through a fake graphics device and a resource manager that only makes meshes; no material
// library is loaded, so material names stay unresolved.

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelResource.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/NullResourceManager.h"

#include <cstdint>
#include <string>

namespace
{

class MeshOnlyResourceManager : public NullResourceManager
{
public:
    KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertices,
                            std::uint32_t uiTriangles) override
    {
        auto* pMesh = new KR_MeshDX11();
        if (!pMesh->Allocate(uiStride, uiVertices, uiTriangles))
        {
            delete pMesh;
            return nullptr;
        }
        return pMesh;
    }
};

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
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    pEngine->SetGraphicsDevice(new FakeGraphicsDevice(pDevice, pContext));
    pEngine->SetGraphicsResourceManager(new MeshOnlyResourceManager());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    Install();
    MemoryRepository& repository = FuzzEngine::Get().GetRepository();
    repository.SetFile("Models/fuzz.dae", std::string(reinterpret_cast<const char*>(pData), uiSize));
    delete KR_ColladaImporter::Import("Models/fuzz.dae", 1, 1, 1);
    D3D11Control::ClearCallLog();
    return 0;
}
