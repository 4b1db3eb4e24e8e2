// kvassets [--force] <asset folder>: makes the production's show data (scene configuration, the
// scenes' entities and curves, models, colour cubes, textures, music) in a fresh folder, then
// brings the asset folder up to it: files the previous run made and nobody edited since are
// replaced, files edited since are kept and listed (--force replaces them too), and the manifest
// beside the folder ("<folder>.manifest") records the new run. Run by hand after changing the
// generator; its output and the manifest are committed. Exit code 0 on success, 1 on a failure,
// 2 on wrong usage; messages go to stderr, the report to stdout.

#include "framework/app/KE_ApplicationManager.h"
#include "framework/core/KU_HashUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "production/KV27_AssetGenerator.h"
#include "production/KV27_AssetManifest.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

// A folder under the system's temporary folder, named after the asset folder so that runs on
// different trees do not meet; emptied first.
fs::path MakeStagingFolder(const std::string& sAssetFolder, std::string* pError)
{
    const std::string sManifest = KV27_AssetManifest::GetManifestPath(sAssetFolder);
    char name[40];
    std::snprintf(name, sizeof(name), "kvassets-%016llx",
                  static_cast<unsigned long long>(KU_HashUtilities::HashFNV1a64(
                      reinterpret_cast<const std::uint8_t*>(sManifest.data()), sManifest.size())));
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error) / name;
    if (error)
    {
        *pError = "no temporary folder";
        return {};
    }
    fs::remove_all(folder, error);
    if (!fs::create_directories(folder, error))
    {
        *pError = "cannot make " + folder.string();
        return {};
    }
    return folder;
}

bool Generate(const fs::path& staging, std::string* pError)
{
    // The entities write through the engine's file manager: one writable repository on the folder.
    KE_ApplicationManager engine(nullptr, KE_ApplicationManager::MemberOwnership::Lent);
    KF_FileManager files;
    if (!files.AddDirectoryRepository(KB_String(staging.string().c_str())))
    {
        *pError = "cannot use the folder " + staging.string();
        return false;
    }
    engine.SetFileManager(&files);
    const bool bOk = KV27_AssetGenerator::Generate(staging.string(), pError);
    engine.SetFileManager(nullptr);
    return bOk;
}

} // namespace

int main(int argc, char** argv)
{
    const bool bForce = argc == 3 && std::strcmp(argv[1], "--force") == 0;
    if (argc != 2 && !bForce)
    {
        std::fprintf(stderr, "usage: kvassets [--force] <asset folder>\n"
                             "Writes the production's generated assets into the folder, keeping files\n"
                             "edited since the last run unless --force is given.\n");
        return 2;
    }
    const std::string sFolder = argv[argc - 1];
    std::error_code error;
    if (!fs::is_directory(sFolder, error))
    {
        std::fprintf(stderr, "kvassets: cannot use the folder \"%s\"\n", sFolder.c_str());
        return 1;
    }
    std::string sError;
    const fs::path staging = MakeStagingFolder(sFolder, &sError);
    KV27_AssetGenerator::InstallReport report;
    const bool bOk = !staging.empty() && Generate(staging, &sError) &&
                     KV27_AssetGenerator::Install(staging.string(), sFolder, bForce, &report, &sError);
    if (!staging.empty())
        fs::remove_all(staging, error);
    if (!bOk)
    {
        std::fprintf(stderr, "kvassets: %s\n", sError.c_str());
        return 1;
    }
    std::printf("kvassets: \"%s\": %zu file(s) written, %zu removed, %zu kept; manifest \"%s\"\n",
                sFolder.c_str(), report.vWritten.size(), report.vRemoved.size(), report.vKept.size(),
                KV27_AssetManifest::GetManifestPath(sFolder).c_str());
    if (!report.vKept.empty())
    {
        std::printf("kvassets: kept, edited since the last run (--force replaces them):\n");
        for (const std::string& sPath : report.vKept)
            std::printf("  %s\n", sPath.c_str());
    }
    return 0;
}
