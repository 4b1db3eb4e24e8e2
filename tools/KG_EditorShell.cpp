#include "tools/KG_EditorShell.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/forms/FormsSystem.h"

#include <string>

bool tools_openFile(const char* pRelativePath)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pRelativePath == nullptr || pFiles == nullptr)
        return false;
    const KB_String& sDirectory = pFiles->GetWorkingDirectory();
    std::string sPath =
        sDirectory.GetBuffer() != nullptr ? std::string(sDirectory.GetBuffer()) : std::string();
    sPath += "/";
    sPath += pRelativePath;
    const KB_String sForward = KU_FileUtilities::EnforceForwardSlashes(KB_String(sPath.c_str()));
    return forms::Process::Start(sForward.GetBuffer() != nullptr ? sForward.GetBuffer() : "");
}
