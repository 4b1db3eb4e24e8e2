#include "fuzz/FuzzModelCache.h"

#include "fuzz/FuzzEngine.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelLoader.h"
#include "render/models/KR_ModelResource.h"
#include "tests/support/MemoryRepository.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

void CheckModelCache(KR_ModelResource* pModel, const char* pSourcePath)
{
    if (pModel == nullptr)
        return;
    if (!KR_ModelLoader::WriteModelCache(pModel, pSourcePath))
        __builtin_trap();
    MemoryRepository& repository = FuzzEngine::Get().GetRepository();
    const KB_String sCacheName = KR_ModelLoader::GetCacheName(pSourcePath);
    const std::string sCache = repository.GetFileContents(sCacheName.GetBuffer());
    repository.RemoveFile(sCacheName);
    // An exact-size copy, so reading past the file is caught.
    const std::vector<std::uint8_t> file(sCache.begin(), sCache.end());
    const std::unique_ptr<KR_ModelResource> pRead(KR_ModelCacheReader::ReadModel(file.data(), file.size()));
    if (pRead == nullptr || pRead->GetTriangleCount() != pModel->GetTriangleCount())
        __builtin_trap();
}
