#include "production/KV27_Program.h"

#include "framework/app/KE_Application.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/crt/WinCrt.h"
#include "production/KV27_ApplicationFactory.h"
#include "production/KV27_NameValidator.h"
#include "production/KV27_Show.h"
#include "production/KV27_SubsystemBridge.h"

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
        pFiles->AddDataRepository(KB_String("KV27.dat")); // only when it opens
        if (pEngine->IsDeveloperBuild())
        {
            char directory[MAX_PATH] = {};
            if (_getcwd(directory, MAX_PATH) != nullptr)
            {
                pFiles->SetWorkingDirectory(directory);
                pFiles->AddDirectoryRepository(KB_String(directory));
            }
        }

        // The scene configuration, then the five scenes in the order they play.
        KV27_Show::AddScenes(pEngine->GetSceneManager());

        iExitCode = application.Run(GetModuleHandleA(nullptr), SW_SHOWDEFAULT);
    }
    KV27_SubsystemBridge::Uninstall();
    return iExitCode;
}
