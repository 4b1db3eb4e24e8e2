// kvpack <folder> <archive>: packs a folder into a data archive with the production's name
// validator. The archive's top directory is named after the folder, so packing "assets" serves
// paths such as "Assets/sceneconfig.xml" (names are matched without regard to case).
// Exit code 0 on success, 1 on a failure, 2 on wrong usage; messages go to stderr. SIGINT or
// SIGTERM while it writes removes the archive's temporary file and leaves any old archive whole.

#include "framework/core/KU_TemporaryFiles.h"
#include "framework/files/KF_DataRepository.h"
#include "production/KV27_NameValidator.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // First, before any thread starts; should it fail, a signal ends the run as it always did.
    KU_TemporaryFiles::RemoveOnInterrupt();
    if (argc != 3)
    {
        std::fprintf(stderr,
                     "usage: kvpack <folder> <archive>\n"
                     "Packs the folder into a data archive; its top directory takes the folder's name.\n");
        return 2;
    }
    KV27_NameValidator validator;
    KF_DataRepository archive;
    if (!archive.CreateFromDirectory(argv[1], &validator, true))
    {
        // The builder says why: a folder it cannot read, or names an archive could not tell apart.
        std::fprintf(stderr, "kvpack: %s\n", archive.GetBuildError().GetBuffer());
        return 1;
    }
    if (!archive.SaveToFile(argv[2]))
    {
        // The builder says which file it could not read or write, and why.
        if (archive.GetBuildError().GetLength() > 0)
            std::fprintf(stderr, "kvpack: %s\n", archive.GetBuildError().GetBuffer());
        else
            std::fprintf(stderr, "kvpack: cannot write the archive \"%s\"\n", argv[2]);
        return 1;
    }
    // Read back what was written, so a broken archive never goes unnoticed.
    KF_DataRepository check;
    if (!check.LoadFromFile(argv[2]))
    {
        std::fprintf(stderr, "kvpack: the archive \"%s\" was written but does not open\n", argv[2]);
        return 1;
    }
    std::printf("kvpack: packed \"%s\" into \"%s\"\n", argv[1], argv[2]);
    return 0;
}
