#pragma once
// The generated show packed as the run command packs it, for tests and benchmarks that play the
// program in-process: the asset tree copied to a stage, its effects precompiled there with
// kvfxc, and the stage packed with kvpack into "<folder>/KV27.dat". Test code only.

#include "tests/support/TestTempDir.h"

#include <string>

namespace PackedShow
{

// sAssets: the asset tree ("<source>/assets"); sKvfxc, sKvpack: the two programs. The folder is
// made when missing; the stage is made beside it and removed afterwards. Empty on success, else
// what failed.
std::string Pack(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack,
                 const std::string& sFolder);

// The show packed into the "run" folder of a temporary folder of its own (removed with it), and
// the working directory moved into that run folder while a run plays there, as the program
// expects. Used from the test's thread.
class RunFolder
{
public:
    // Packs as Pack does; GetFault() says what failed, empty on success.
    RunFolder(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& GetFault() const { return m_sFault; }
    const std::string& GetRun() const { return m_sRun; }
    // A path in the temporary folder, beside the run folder.
    std::string Join(const std::string& sRelative) const { return m_Folder.Join(sRelative); }

    // Makes the run folder the working directory and keeps the one before it; false on failure.
    bool Enter();
    // Back to the working directory Enter kept (nothing to do without an Enter); false on failure.
    bool Leave();

private:
    TestTempDir m_Folder;
    std::string m_sRun;
    std::string m_sFault;
    std::string m_sOldDirectory; // empty when not entered
};

} // namespace PackedShow
