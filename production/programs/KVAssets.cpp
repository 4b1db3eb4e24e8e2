// kvassets <asset folder>: makes the production's show data (scene configuration, the scenes'
// entities and curves, models, colour cubes, textures, music) in the asset folder, replacing what
// an earlier run made there. Run by hand after changing the generator; its output is committed.
// Exit code 0 on success, 1 on a failure, 2 on wrong usage; messages go to stderr.

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "production/KV27_AssetGenerator.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: kvassets <asset folder>\n"
                             "Writes the production's generated assets into the folder.\n");
        return 2;
    }
    // The entities write through the engine's file manager: one writable repository on the folder.
    KE_ApplicationManager engine(nullptr, KE_ApplicationManager::MemberOwnership::Lent);
    KF_FileManager files;
    if (!files.AddDirectoryRepository(argv[1]))
    {
        std::fprintf(stderr, "kvassets: cannot use the folder \"%s\"\n", argv[1]);
        return 1;
    }
    engine.SetFileManager(&files);
    std::string sError;
    const bool bOk = KV27_AssetGenerator::Generate(argv[1], &sError);
    engine.SetFileManager(nullptr);
    if (!bOk)
    {
        std::fprintf(stderr, "kvassets: %s\n", sError.c_str());
        return 1;
    }
    std::printf("kvassets: wrote the generated assets into \"%s\"\n", argv[1]);
    return 0;
}
