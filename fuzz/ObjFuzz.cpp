// Fuzzes the OBJ importer: the first byte picks the load options (bit 0 tangents, bit 1 box, bit 2
// centre), the rest is the text. Every parse that succeeds must give indices inside its vertices
// and one material id per triangle below the name count; the model is then made on the Direct3D
// stand-in (meshes from a resource manager that only makes meshes).

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "render/models/KR_ObjImporter.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/NullResourceManager.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace
{

class MeshMakingResources : public NullResourceManager
{
public:
    KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertices,
                            std::uint32_t uiTriangles) override
    {
        std::unique_ptr<KR_MeshDX11> pMesh(new KR_MeshDX11());
        return pMesh->Allocate(uiStride, uiVertices, uiTriangles) ? pMesh.release() : nullptr;
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
    pEngine->SetGraphicsResourceManager(new MeshMakingResources());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 1)
        return 0;
    Install();
    const std::uint8_t uiOptions = pData[0];
    // A copy of exactly the text, so reading past its end is caught.
    const std::vector<char> text(pData + 1, pData + uiSize);
    const char* pText = text.empty() ? nullptr : text.data();
    KR_ObjImporter importer;
    if (importer.ParseText(pText, text.size(), uiOptions & 1))
    {
        const std::uint32_t uiIndices = importer.GetIndexCount();
        if (uiIndices % 3 != 0)
            __builtin_trap();
        for (std::uint32_t i = 0; i < uiIndices; ++i)
            if (importer.GetIndices()[i] >= importer.GetVertexCount())
                __builtin_trap();
        for (std::uint32_t i = 0; i < uiIndices / 3; ++i)
            if (importer.GetAttributeIds()[i] >= importer.GetMaterialNames().GetNumMembers())
                __builtin_trap();
    }
    delete importer.ImportText(pText, text.size(), uiOptions & 1, uiOptions & 2, uiOptions & 4);
    if (importer.GetVertexCount() != 0 || importer.GetIndexCount() != 0)
        __builtin_trap();
    D3D11Control::ClearCallLog();
    return 0;
}
