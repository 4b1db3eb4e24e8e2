// kv27 [/develop]: plays the production. Assembles the engine for it (factory, names, file
// repositories, scene configuration and the five scenes) and hands over to the application's
// main loop; the exit code is the one KE_Application::Run returns.

#include "framework/app/KE_Application.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/crt/WinCrt.h"
#include "platform/d3d11/D3D11Modules.h"
#include "production/KV27_ApplicationFactory.h"
#include "production/KV27_NameValidator.h"
#include "production/KV27_Show.h"
#include "production/KV27_SubsystemBridge.h"

#include <string>

namespace
{

// The command line as Windows hands it to the program: the arguments after the program name,
// joined by single blanks, so "/develop" alone switches developer mode on.
KB_String JoinArguments(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return KB_String(line.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    // The Direct3D and DXGI libraries are loaded at run time; make the stand-in's entry points
    // reachable first.
    D3D11Modules::Register();

    KV27_SubsystemBridge bridges;
    bridges.Install();

    KE_Application application;
    application.Initialize(new KV27_ApplicationFactory(), JoinArguments(argc, argv));

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

    const int iExitCode = application.Run(GetModuleHandleA(nullptr), SW_SHOWDEFAULT);
    KV27_SubsystemBridge::Uninstall();
    return iExitCode;
}
