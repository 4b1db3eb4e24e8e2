// kvassets [--force] <asset folder>: makes the production's show data (scene configuration, the
// scenes' entities and curves, models, colour cubes, textures, music) in a fresh folder, then
// brings the asset folder up to it: files the previous run made and nobody edited since are
// replaced, files edited since are kept and listed (--force replaces them too), and the manifest
// beside the folder ("<folder>.manifest") records the new run. Run by hand after changing the
// generator; its output and the manifest are committed. Exit code 0 on success, 1 on a failure,
// 2 on wrong usage; messages go to stderr, the report to stdout.
//
// Each run generates into a folder of its own under the system's temporary folder and installs
// from it only once it is complete; every file it writes into the tree, the manifest included,
// is written whole to a temporary file beside it and renamed over it. One run at a time works on
// a tree: a second run while one holds it fails, naming the tree. SIGINT or SIGTERM removes the
// run's temporary files and its staging folder; every file it has installed by then is whole.

#include "framework/app/KE_ApplicationManager.h"
#include "framework/core/KU_TemporaryFiles.h"
#include "framework/files/KF_FileManager.h"
#include "production/KV27_AssetGenerator.h"
#include "production/KV27_AssetManifest.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// Holds the asset folder for this run (an exclusive lock on the folder itself, which leaves no
// file behind and ends with the process); false with *pError when another run holds it.
bool HoldFolder(const std::string& sAssetFolder, std::string* pError)
{
    const int iFolder = open(sAssetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (iFolder >= 0 && flock(iFolder, LOCK_EX | LOCK_NB) == 0)
        return true; // the descriptor stays open to the end of the run
    const int iError = errno;
    if (iFolder >= 0)
        close(iFolder);
    *pError = iError == EWOULDBLOCK ? "another kvassets run is working on \"" + sAssetFolder + "\""
                                    : "cannot lock \"" + sAssetFolder + "\": " + std::strerror(iError);
    return false;
}

// A new folder of its own under the system's temporary folder, live until removed.
fs::path MakeStagingFolder(std::string* pError)
{
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    KB_String sFolder;
    if (error ||
        !KU_TemporaryFiles::CreateFolder(KB_String((temporary / "kvassets-").string().c_str()), &sFolder))
    {
        *pError = "cannot make a folder in the temporary folder \"" + temporary.string() + "\"";
        return {};
    }
    return fs::path(sFolder.GetBuffer());
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
    // First, before any thread starts; should it fail, a signal ends the run as it always did.
    KU_TemporaryFiles::RemoveOnInterrupt();
    const bool bForce = argc == 3 && std::strcmp(argv[1], "--force") == 0;
    if ((argc != 2 && !bForce) || std::strcmp(argv[argc - 1], "--force") == 0)
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
    const fs::path staging = HoldFolder(sFolder, &sError) ? MakeStagingFolder(&sError) : fs::path();
    KV27_AssetGenerator::InstallReport report;
    const bool bOk = !staging.empty() && Generate(staging, &sError) &&
                     KV27_AssetGenerator::Install(staging.string(), sFolder, bForce, &report, &sError);
    if (!staging.empty())
        KU_TemporaryFiles::Remove(KB_String(staging.string().c_str()));
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
