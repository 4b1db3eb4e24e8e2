#include "production/KV27_Program.h"

#include "framework/app/KE_Application.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "platform/crt/WinCrt.h"
#include "production/KV27_ApplicationFactory.h"
#include "production/KV27_NameValidator.h"
#include "production/KV27_Show.h"
#include "production/KV27_SubsystemBridge.h"
#include "render/scene/KR_SceneManager.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

constexpr const char* ARCHIVE_NAME = "KV27.dat";

// The show still plays without its archive, drawing nothing where nothing could be read: one line
// on stderr says so, naming the folder looked in, why the archive could not be read (missing, the
// reason it could not be opened, or not a whole archive) and which of the files every run reads
// the repositories cannot serve either (developer mode may find them in the working directory).
// The engine holds the factory from KE_Application::Initialize on.
void ReportMissingArchive(KF_FileManager* pFiles, KU_ApplicationFactory* pFactory, const char* pDirectory)
{
    std::FILE* pArchive = std::fopen(ARCHIVE_NAME, "rb");
    const int iError = errno;
    std::string sProblem = "could not be read";
    if (pArchive != nullptr)
        std::fclose(pArchive);
    else if (iError == ENOENT)
        sProblem = "not found";
    else
        sProblem += std::string(" (") + std::strerror(iError) + ")";
    const char* pProblem = sProblem.c_str();
    const KB_String sMaterials = pFactory->GetMaterialFilePath();
    const KB_String sConfig(KR_SceneManager::SCENE_CONFIG_PATH);
    std::string sMissing;
    for (const KB_String* pPath : {&sConfig, &sMaterials})
        if (!pFiles->FileExists(*pPath))
            sMissing += std::string(sMissing.empty() ? "\"" : " and \"") + pPath->GetBuffer() + "\"";
    if (sMissing.empty())
        std::fprintf(stderr, "kv27: \"%s\" %s in \"%s\"; reading the assets from that folder\n", ARCHIVE_NAME,
                     pProblem, pDirectory);
    else
        std::fprintf(stderr,
                     "kv27: \"%s\" %s in \"%s\"; without it %s cannot be read either, and the show plays "
                     "without them\n",
                     ARCHIVE_NAME, pProblem, pDirectory, sMissing.c_str());
}

} // namespace

int KV27_Program::Run(const KB_String& sCommandLine)
{
    KV27_SubsystemBridge bridges;
    bridges.Install();

    int iExitCode = 0;
    {
        KE_Application application;
        application.Initialize(new KV27_ApplicationFactory(), sCommandLine);

        KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
        pEngine->SetApplicationName(KB_String("KV-27: Moorglow"));
        pEngine->SetApplicationShortName(KB_String("KV-27"));

        // The archive comes first, so a file present in both is served from it.
        KF_FileManager* pFiles = pEngine->GetFileManager();
        pFiles->SetNameValidator(new KV27_NameValidator());
        const bool bArchive = pFiles->AddDataRepository(KB_String(ARCHIVE_NAME)); // only when it opens
        char directory[MAX_PATH] = {};
        const bool bDirectory = _getcwd(directory, MAX_PATH) != nullptr;
        if (pEngine->IsDeveloperBuild() && bDirectory)
        {
            pFiles->SetWorkingDirectory(directory);
            pFiles->AddDirectoryRepository(KB_String(directory));
        }
        if (!bArchive)
            ReportMissingArchive(pFiles, pEngine->GetApplicationFactory(), bDirectory ? directory : ".");

        // The scene configuration, then the five scenes in the order they play.
        KV27_Show::AddScenes(pEngine->GetSceneManager());

        iExitCode = application.Run(GetModuleHandleA(nullptr), SW_SHOWDEFAULT);
    }
    KV27_SubsystemBridge::Uninstall();
    return iExitCode;
}
