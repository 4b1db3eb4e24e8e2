// KV27_AssetGenerator: Install, bringing the asset folder to a fresh run by the manifests.

#include "production/KV27_AssetGenerator.h"

#include "framework/core/KU_FileUtilities.h"
#include "framework/core/KU_TemporaryFiles.h"
#include "production/KV27_AssetManifest.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace
{

bool ReadWhole(const std::filesystem::path& file, std::string* pBytes)
{
    std::uint64_t uiSize = 0;
    const int iFile = KU_FileUtilities::OpenRegularFile(file.c_str(), &uiSize);
    if (iFile < 0)
        return false;
    pBytes->resize(static_cast<std::size_t>(uiSize));
    const bool bRead =
        KU_FileUtilities::ReadWholeFile(iFile, reinterpret_cast<std::uint8_t*>(pBytes->data()), uiSize);
    close(iFile);
    return bRead;
}

} // namespace

bool KV27_AssetGenerator::Install(const std::string& sStagedFolder, const std::string& sAssetFolder,
                                  bool bForce, InstallReport* pReport, std::string* pError)
{
    namespace fs = std::filesystem;
    auto fail = [pError](const std::string& sWhat)
    {
        if (pError != nullptr)
            *pError = sWhat;
        return false;
    };
    KV27_AssetManifest fresh;
    if (!fresh.ReadFolder(sStagedFolder))
        return fail("cannot read the generated files in " + sStagedFolder);
    const std::string sManifest = KV27_AssetManifest::GetManifestPath(sAssetFolder);
    KV27_AssetManifest previous;
    std::error_code error;
    if (fs::exists(sManifest, error) && !previous.Load(sManifest) && !bForce)
        return fail("cannot read " + sManifest + " (--force replaces every generated file)");

    InstallReport report;
    const fs::path folder = KV27_AssetManifest::GetFolderPath(sAssetFolder);
    // A file is replaced when it is missing, holds what the previous run made, or on force; a
    // file with other content was edited since and is kept.
    for (const KV27_AssetManifest::Entry& entry : fresh.GetEntries())
    {
        const fs::path target = folder / entry.sPath;
        std::uint64_t uiHash = 0;
        const bool bExists = fs::exists(target, error);
        if (bExists && KV27_AssetManifest::HashFile(target.string(), &uiHash) && uiHash == entry.uiHash)
            continue;
        const KV27_AssetManifest::Entry* pPrevious = previous.Find(entry.sPath);
        if (bExists && !bForce && (pPrevious == nullptr || pPrevious->uiHash != uiHash))
        {
            report.vKept.push_back(entry.sPath);
            continue;
        }
        fs::create_directories(target.parent_path(), error);
        // Through a temporary file beside it, so the target is the old file or the new one, whole.
        std::string sBytes;
        if (!ReadWhole(fs::path(sStagedFolder) / entry.sPath, &sBytes))
            return fail("cannot read the generated " + entry.sPath + " in " + sStagedFolder);
        if (!KU_TemporaryFiles::WriteWholeFile(KB_String(target.string().c_str()), sBytes.data(),
                                               sBytes.size()))
        {
            const int iError = errno;
            return fail("cannot write " + target.string() + ": " + std::strerror(iError));
        }
        report.vWritten.push_back(entry.sPath);
    }
    // Files the previous run made and this one does not: removed unless edited since.
    for (const KV27_AssetManifest::Entry& entry : previous.GetEntries())
    {
        const fs::path target = folder / entry.sPath;
        if (fresh.Find(entry.sPath) != nullptr || !fs::exists(target, error))
            continue;
        std::uint64_t uiHash = 0;
        if (!bForce && (!KV27_AssetManifest::HashFile(target.string(), &uiHash) || uiHash != entry.uiHash))
        {
            report.vKept.push_back(entry.sPath);
            continue;
        }
        if (!fs::remove(target, error))
            return fail("cannot remove " + target.string() + ": " + error.message());
        report.vRemoved.push_back(entry.sPath);
        // Folders it leaves empty go too, up to the asset folder.
        for (fs::path parent = target.parent_path();
             parent != folder && parent.native().size() > folder.native().size() &&
             fs::is_empty(parent, error) && !error;
             parent = parent.parent_path())
            fs::remove(parent, error);
    }
    std::sort(report.vKept.begin(), report.vKept.end());
    if (!fresh.Save(sManifest))
    {
        const int iError = errno;
        return fail("cannot write " + sManifest + ": " + std::strerror(iError));
    }
    if (pReport != nullptr)
        *pReport = report;
    return true;
}
