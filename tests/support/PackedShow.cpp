#include "tests/support/PackedShow.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace PackedShow
{

std::string Pack(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack,
                 const std::string& sFolder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string sStageRoot = sFolder + ".stage";
    const std::string sStage = sStageRoot + "/assets";
    fs::remove_all(sStageRoot, error);
    fs::create_directories(sStageRoot, error);
    fs::create_directories(sFolder, error);
    fs::copy(sAssets, sStage, fs::copy_options::recursive, error);
    if (error)
        return "cannot stage " + sAssets + ": " + error.message();
    // The archive takes no ".fx" names: the effects go in precompiled (".fxo").
    const std::string sCompile = sKvfxc + " '" + sAssets + "' '" + sStage + "' >/dev/null";
    if (std::system(sCompile.c_str()) != 0)
        return "failed: " + sCompile;
    const std::string sPack = sKvpack + " '" + sStage + "' '" + sFolder + "/KV27.dat' >/dev/null";
    if (std::system(sPack.c_str()) != 0)
        return "failed: " + sPack;
    fs::remove_all(sStageRoot, error);
    return "";
}

RunFolder::RunFolder(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack)
    : m_sRun(m_Folder.Join("run"))
{
    m_sFault = m_Folder.IsValid() ? Pack(sAssets, sKvfxc, sKvpack, m_sRun) : "cannot make a temporary folder";
}

RunFolder::~RunFolder()
{
    Leave();
}

bool RunFolder::Enter()
{
    char acDirectory[4096] = {};
    if (getcwd(acDirectory, sizeof(acDirectory)) == nullptr)
        return false;
    if (chdir(m_sRun.c_str()) != 0)
        return false;
    m_sOldDirectory = acDirectory;
    return true;
}

bool RunFolder::Leave()
{
    if (m_sOldDirectory.empty())
        return true;
    const bool bLeft = chdir(m_sOldDirectory.c_str()) == 0;
    m_sOldDirectory.clear();
    return bLeft;
}

} // namespace PackedShow
