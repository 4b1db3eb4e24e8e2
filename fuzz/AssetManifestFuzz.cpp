// Fuzzes the asset manifest's text form: a text that parses is formatted, and the formatted text
// must parse to the same entries and format to the same text again.

#include "production/KV27_AssetManifest.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    KV27_AssetManifest manifest;
    if (!manifest.Parse(std::string(reinterpret_cast<const char*>(pData), uiSize)))
        return 0;
    const std::string sFormatted = manifest.Format();
    KV27_AssetManifest again;
    if (!again.Parse(sFormatted) || again.GetEntries().size() != manifest.GetEntries().size())
        __builtin_trap();
    for (std::size_t i = 0; i < again.GetEntries().size(); ++i)
        if (again.GetEntries()[i].sPath != manifest.GetEntries()[i].sPath ||
            again.GetEntries()[i].uiHash != manifest.GetEntries()[i].uiHash)
            __builtin_trap();
    if (again.Format() != sFormatted)
        __builtin_trap();
    return 0;
}
