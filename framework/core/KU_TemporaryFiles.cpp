#include "framework/core/KU_TemporaryFiles.h"

#include "platform/crt/CrtTemporaryFiles.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace
{

// Rounds of removal of a folder before giving up on it: each round removes what a writer made
// since the last one, so a few suffice.
constexpr int MAX_REMOVAL_ROUNDS = 1000;

struct LiveList
{
    std::mutex oLock;
    std::vector<std::string> vPaths; // live temporaries, files and folders
};

// Never destroyed: a signal may end the process while static objects are being destroyed.
LiveList& Live()
{
    static LiveList* s_pLive = new LiveList;
    return *s_pLive;
}

void Forget(LiveList& live, const std::string& sPath)
{
    for (std::size_t i = 0; i < live.vPaths.size(); ++i)
    {
        if (live.vPaths[i] == sPath)
        {
            live.vPaths.erase(live.vPaths.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// Removes a file, or a folder with everything in it, again until it is gone.
void RemovePath(const std::string& sPath)
{
    std::error_code error;
    for (int iRound = 0; iRound < MAX_REMOVAL_ROUNDS; ++iRound)
    {
        std::filesystem::remove_all(sPath, error);
        if (!std::filesystem::exists(std::filesystem::symlink_status(sPath, error)) && !error)
            return;
    }
}

sigset_t InterruptSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void* WaitForInterrupt(void*)
{
    const sigset_t signals = InterruptSignals();
    int iSignal = 0;
    while (sigwait(&signals, &iSignal) != 0)
    {
    }
    KU_TemporaryFiles::RemoveAllForExit();
    // The signal's own default action, delivered to this thread alone, ends the process as the
    // signal would have.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(iSignal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, iSignal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(iSignal);
    _exit(128 + iSignal);
}

} // namespace

std::FILE* KU_TemporaryFiles::Create(const KB_String& sTarget, KB_String* pPath)
{
    LiveList& live = Live();
    std::lock_guard<std::mutex> lock(live.oLock);
    std::string sPath;
    std::FILE* pFile = CrtTemporaryFiles::Create(sTarget.GetBuffer(), &sPath);
    if (pFile == nullptr)
        return nullptr;
    live.vPaths.push_back(sPath);
    *pPath = KB_String(sPath.c_str());
    return pFile;
}

bool KU_TemporaryFiles::ReplaceTarget(const KB_String& sTemporary, const KB_String& sTarget)
{
    LiveList& live = Live();
    std::lock_guard<std::mutex> lock(live.oLock);
    if (std::rename(sTemporary.GetBuffer(), sTarget.GetBuffer()) != 0)
        return false;
    Forget(live, sTemporary.GetBuffer());
    return true;
}

void KU_TemporaryFiles::Remove(const KB_String& sTemporary)
{
    const int iError = errno;
    LiveList& live = Live();
    {
        std::lock_guard<std::mutex> lock(live.oLock);
        RemovePath(sTemporary.GetBuffer());
        Forget(live, sTemporary.GetBuffer());
    }
    errno = iError;
}

bool KU_TemporaryFiles::WriteWholeFile(const KB_String& sTarget, const void* pData, std::uint64_t uiSize)
{
    KB_String sTemporary;
    std::FILE* pFile = Create(sTarget, &sTemporary);
    if (pFile == nullptr)
        return false;
    bool bWritten = uiSize == 0 || std::fwrite(pData, 1, static_cast<std::size_t>(uiSize), pFile) == uiSize;
    bWritten = std::fflush(pFile) == 0 && bWritten;
    bWritten = std::fclose(pFile) == 0 && bWritten;
    if (!bWritten || !ReplaceTarget(sTemporary, sTarget))
    {
        Remove(sTemporary);
        return false;
    }
    return true;
}

bool KU_TemporaryFiles::CreateFolder(const KB_String& sPrefix, KB_String* pPath)
{
    std::string sPattern = std::string(sPrefix.GetBuffer()) + "XXXXXX";
    LiveList& live = Live();
    std::lock_guard<std::mutex> lock(live.oLock);
    if (mkdtemp(sPattern.data()) == nullptr)
        return false;
    live.vPaths.push_back(sPattern);
    *pPath = KB_String(sPattern.c_str());
    return true;
}

std::uint32_t KU_TemporaryFiles::GetNumLive()
{
    LiveList& live = Live();
    std::lock_guard<std::mutex> lock(live.oLock);
    return static_cast<std::uint32_t>(live.vPaths.size());
}

bool KU_TemporaryFiles::RemoveOnInterrupt()
{
    const sigset_t signals = InterruptSignals();
    sigset_t previous;
    int iError = pthread_sigmask(SIG_BLOCK, &signals, &previous);
    if (iError == 0)
    {
        pthread_t thread;
        iError = pthread_create(&thread, nullptr, WaitForInterrupt, nullptr);
        if (iError == 0)
        {
            pthread_detach(thread);
            return true;
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    errno = iError;
    return false;
}

void KU_TemporaryFiles::RemoveAllForExit()
{
    LiveList& live = Live();
    live.oLock.lock(); // kept: the process ends holding it
    for (const std::string& sPath : live.vPaths)
        RemovePath(sPath);
    live.vPaths.clear();
}
