// Fuzzes the COLLADA importer on whole documents, read through the fuzz engine's memory repository
// with every flag set (tangents, boxes, centres). The meshes are made on the Direct3D stand-in
// through a fake graphics device and a resource manager that only makes meshes; no material
// library is loaded, so material names stay unresolved. A model that imports is then cached as the
// loader caches it, and the cache must read back (FuzzModelCache).

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "fuzz/FuzzGraphics.h"
#include "fuzz/FuzzModelCache.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelResource.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/MeshMakingResourceManager.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzGraphics(new MeshMakingResourceManager());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    MemoryRepository& repository = FuzzEngine::Get().GetRepository();
    repository.SetFile("Models/fuzz.dae", std::string(reinterpret_cast<const char*>(pData), uiSize));
    KR_ModelResource* pModel = KR_ColladaImporter::Import("Models/fuzz.dae", 1, 1, 1);
    CheckModelCache(pModel, "Models/fuzz.dae");
    delete pModel;
    D3D11Control::ClearCallLog();
    return 0;
}
