// Fuzzes the OBJ importer: the first byte picks the load options (bit 0 tangents, bit 1 box, bit 2
// centre), the rest is the text. Every parse that succeeds must give indices inside its vertices
// and one material id per triangle below the name count; the model is then made on the Direct3D
// stand-in (meshes from a resource manager that only makes meshes), cached as the loader caches it
// and read back (FuzzModelCache).

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "fuzz/FuzzGraphics.h"
#include "fuzz/FuzzModelCache.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "render/models/KR_ObjImporter.h"
#include "tests/support/MeshMakingResourceManager.h"

#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzGraphics(new MeshMakingResourceManager());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 1)
        return 0;
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
    KR_ModelResource* pModel =
        importer.ImportText(pText, text.size(), uiOptions & 1, uiOptions & 2, uiOptions & 4);
    CheckModelCache(pModel, "Models/fuzz.obj");
    delete pModel;
    if (importer.GetVertexCount() != 0 || importer.GetIndexCount() != 0)
        __builtin_trap();
    D3D11Control::ClearCallLog();
    return 0;
}
