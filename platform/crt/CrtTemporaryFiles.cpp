#include "platform/crt/CrtTemporaryFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace
{

constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int RANDOM_LETTERS = 6;
// Names tried before giving up with EEXIST, as mkstemp does.
constexpr int MAX_TRIES = 100;

std::atomic<std::uint64_t> s_uiCalls{0};

std::uint64_t Mix(std::uint64_t uiValue)
{
    uiValue += 0x9E3779B97F4A7C15ull;
    uiValue = (uiValue ^ (uiValue >> 30)) * 0xBF58476D1CE4E5B9ull;
    uiValue = (uiValue ^ (uiValue >> 27)) * 0x94D049BB133111EBull;
    return uiValue ^ (uiValue >> 31);
}

// Random bits from the kernel; without them, a mix of the time, the process and a count of calls.
std::uint64_t RandomBits()
{
    std::uint64_t uiBits = 0;
    if (getrandom(&uiBits, sizeof(uiBits), GRND_NONBLOCK) == static_cast<ssize_t>(sizeof(uiBits)))
        return uiBits;
    const auto uiTime =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return Mix(uiTime ^ (static_cast<std::uint64_t>(getpid()) << 40) ^ Mix(s_uiCalls.fetch_add(1)));
}

} // namespace

namespace CrtTemporaryFiles
{

std::FILE* Create(const char* pTarget, std::string* pPath)
{
    if (pTarget == nullptr || pTarget[0] == '\0' || pPath == nullptr)
    {
        errno = EINVAL;
        return nullptr;
    }
    std::string sPath = std::string(pTarget) + "." + std::string(RANDOM_LETTERS, 'X') + ".tmp";
    const std::size_t uiLetters = sPath.size() - 4 - RANDOM_LETTERS;
    int iFile = -1;
    for (int iTry = 0; iTry < MAX_TRIES && iFile < 0; ++iTry)
    {
        std::uint64_t uiBits = RandomBits();
        for (int i = 0; i < RANDOM_LETTERS; ++i, uiBits /= sizeof(LETTERS) - 1)
            sPath[uiLetters + static_cast<std::size_t>(i)] = LETTERS[uiBits % (sizeof(LETTERS) - 1)];
        iFile = open(sPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (iFile < 0 && errno != EEXIST)
            return nullptr;
    }
    if (iFile < 0)
        return nullptr; // errno is EEXIST
    std::FILE* pFile = fdopen(iFile, "wb");
    if (pFile == nullptr)
    {
        const int iError = errno;
        close(iFile);
        unlink(sPath.c_str());
        errno = iError;
        return nullptr;
    }
    *pPath = sPath;
    return pFile;
}

} // namespace CrtTemporaryFiles
