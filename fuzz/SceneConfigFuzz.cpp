// Fuzzes the scene configuration: the bytes are "Assets/sceneconfig.xml", loaded through
// KU_XmlUtilities::LoadXmlDocument as the scene manager loads it and read by
// KR_SceneConfig::Parse. Every entry read must keep its planes in order (unless a value is not a
// number) and the count must match what was appended.

#include "framework/files/KU_XmlUtilities.h"
#include "render/scene/KR_SceneConfig.h"
#include "tests/support/MemoryFiles.h"

#include <tinyxml.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

namespace
{

const char* const PATH = "Assets/sceneconfig.xml";

bool InOrder(double fLow, double fHigh)
{
    return std::isnan(fLow) || std::isnan(fHigh) || fHigh >= fLow;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    static MemoryFiles* s_pFiles = new MemoryFiles(false); // kept until the process ends
    MemoryRepository* pRepository = s_pFiles->GetRepository();
    pRepository->SetFile(PATH, std::string(reinterpret_cast<const char*>(pData), uiSize));
    std::unique_ptr<TiXmlDocument> pDocument(
        KU_XmlUtilities::LoadXmlDocument(s_pFiles->Get(), KB_String(PATH)));
    pRepository->RemoveAllFiles();
    if (pDocument == nullptr)
        return 0;
    KB_GrowingArray<KR_SceneConfigEntry> gEntries;
    gEntries.Add(KR_SceneConfigEntry()); // appended to, never replaced
    const std::uint32_t uiCount = KR_SceneConfig::Parse(*pDocument, gEntries);
    if (gEntries.GetNumMembers() != uiCount + 1)
        __builtin_trap();
    for (std::uint32_t i = 1; i < gEntries.GetNumMembers(); ++i)
    {
        const KR_SceneConfigEntry& entry = gEntries[i];
        if (!InOrder(entry.fNearPlane, entry.fFarPlane) || !InOrder(entry.fFarPlane, entry.fEditorFarPlane))
            __builtin_trap();
    }
    return 0;
}
