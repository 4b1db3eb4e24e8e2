// Fuzzes the paths a directory repository is given: every line of the input is one operation on a
// repository rooted in a temporary folder, its first byte the operation (r read, w write, d remove,
// s size, t time, h hash, e file exists, x directory exists, f list), the rest the path (a write
// stores the line). The folder is put back to a fixed small tree before every run.
//
// The repository must never change anything outside its root, and must not read a file outside it
// through ReadFile or GetFileHash (queries such as FileExists or GetFileSize may look outside).
// This target replaces the C library calls that create, open, rename and delete files with guards:
// while an operation runs, a call on an absolute path outside the root (after resolving "." and
// ".." in the text, as the repository's refusal does) is reported and the process stops before the
// call is made, so a fault found here never touches the machine. Relative paths pass: the repository
// hands out only absolute ones, libFuzzer's own files are relative.
//
// With KV_FUZZ_SKIP_ESCAPING_PATHS=1 in the environment, paths that climb out of the root or are
// absolute are not given to the repository at all (to look for other faults while that one is open).

#include "framework/core/KB_String.h"
#include "framework/files/KF_DirectoryRepository.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace
{

enum class Guard
{
    Off,    // libFuzzer and the harness at work
    Writes, // a query runs: nothing may be changed outside the root
    All,    // ReadFile or GetFileHash runs: nothing may be changed or opened outside the root
};

Guard g_eGuard = Guard::Off;
std::string g_sRoot;          // the repository's root, absolute, without a trailing '/'
std::string g_sOperation;     // the operation running, for the report
bool g_bSkipEscaping = false; // KV_FUZZ_SKIP_ESCAPING_PATHS

bool IsInsideRoot(const std::string& sPath)
{
    const std::string sNormal = std::filesystem::path(sPath).lexically_normal().string();
    return sNormal.compare(0, g_sRoot.size(), g_sRoot) == 0 &&
           (sNormal.size() == g_sRoot.size() || sNormal[g_sRoot.size()] == '/');
}

// Stops the process when pPath may not be touched by a call of this kind now.
void Check(const char* pCall, const char* pPath, bool bChanges)
{
    if (g_eGuard == Guard::Off || pPath == nullptr || pPath[0] != '/')
        return;
    if (!bChanges && g_eGuard != Guard::All)
        return;
    if (IsInsideRoot(pPath))
        return;
    g_eGuard = Guard::Off;
    std::fprintf(stderr,
                 "==%d== ERROR: directory repository outside its root: %s(\"%s\") during %s (root %s)\n",
                 static_cast<int>(getpid()), pCall, pPath, g_sOperation.c_str(), g_sRoot.c_str());
    std::abort();
}

bool IsWriteMode(const char* pMode)
{
    return pMode != nullptr && std::strpbrk(pMode, "wa+") != nullptr;
}

bool IsWriteFlags(int iFlags)
{
    return (iFlags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

template <typename F>
F Real(const char* pName)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, pName));
}

} // namespace

// The guards. Each checks and then calls the C library's own function.
extern "C"
{

    FILE* fopen(const char* pPath, const char* pMode)
    {
        Check("fopen", pPath, IsWriteMode(pMode));
        static auto s_pReal = Real<FILE* (*)(const char*, const char*)>("fopen");
        return s_pReal(pPath, pMode);
    }

    FILE* fopen64(const char* pPath, const char* pMode)
    {
        Check("fopen64", pPath, IsWriteMode(pMode));
        static auto s_pReal = Real<FILE* (*)(const char*, const char*)>("fopen64");
        return s_pReal(pPath, pMode);
    }

    int open(const char* pPath, int iFlags, ...)
    {
        mode_t uiMode = 0;
        if ((iFlags & O_CREAT) != 0)
        {
            va_list args;
            va_start(args, iFlags);
            uiMode = static_cast<mode_t>(va_arg(args, int));
            va_end(args);
        }
        Check("open", pPath, IsWriteFlags(iFlags));
        static auto s_pReal = Real<int (*)(const char*, int, ...)>("open");
        return s_pReal(pPath, iFlags, uiMode);
    }

    int open64(const char* pPath, int iFlags, ...)
    {
        mode_t uiMode = 0;
        if ((iFlags & O_CREAT) != 0)
        {
            va_list args;
            va_start(args, iFlags);
            uiMode = static_cast<mode_t>(va_arg(args, int));
            va_end(args);
        }
        Check("open64", pPath, IsWriteFlags(iFlags));
        static auto s_pReal = Real<int (*)(const char*, int, ...)>("open64");
        return s_pReal(pPath, iFlags, uiMode);
    }

    int rename(const char* pFrom, const char* pTo)
    {
        Check("rename", pFrom, true);
        Check("rename", pTo, true);
        static auto s_pReal = Real<int (*)(const char*, const char*)>("rename");
        return s_pReal(pFrom, pTo);
    }

    int unlink(const char* pPath)
    {
        Check("unlink", pPath, true);
        static auto s_pReal = Real<int (*)(const char*)>("unlink");
        return s_pReal(pPath);
    }

    int remove(const char* pPath)
    {
        Check("remove", pPath, true);
        static auto s_pReal = Real<int (*)(const char*)>("remove");
        return s_pReal(pPath);
    }

    int mkdir(const char* pPath, mode_t uiMode)
    {
        // Making the folders of a path tries every folder from the top; one that exists stays as it is.
        struct stat info;
        if (stat(pPath, &info) != 0 || !S_ISDIR(info.st_mode))
            Check("mkdir", pPath, true);
        static auto s_pReal = Real<int (*)(const char*, mode_t)>("mkdir");
        return s_pReal(pPath, uiMode);
    }

    int rmdir(const char* pPath)
    {
        Check("rmdir", pPath, true);
        static auto s_pReal = Real<int (*)(const char*)>("rmdir");
        return s_pReal(pPath);
    }

} // extern "C"

namespace
{

// The sandbox: <temp>/root is the repository's root, <temp>/outside and <temp>/root2 lie beside it.
struct Sandbox
{
    Sandbox()
    {
        const char* pBase = std::getenv("TMPDIR");
        std::string sTemplate =
            std::string(pBase != nullptr && pBase[0] != '\0' ? pBase : "/tmp") + "/kv-fuzz-directory-XXXXXX";
        if (mkdtemp(sTemplate.data()) == nullptr)
            std::abort();
        std::error_code error;
        sBase = std::filesystem::canonical(sTemplate, error).string();
        if (error)
            std::abort();
        g_sRoot = sBase + "/root";
        g_bSkipEscaping = std::getenv("KV_FUZZ_SKIP_ESCAPING_PATHS") != nullptr &&
                          std::strcmp(std::getenv("KV_FUZZ_SKIP_ESCAPING_PATHS"), "1") == 0;
        Write(sBase + "/outside/secret.txt", "outside");
        Write(sBase + "/root2/beside.txt", "beside");
    }

    ~Sandbox()
    {
        std::error_code error;
        std::filesystem::remove_all(sBase, error);
    }

    static void Write(const std::string& sPath, const std::string& sText)
    {
        std::filesystem::create_directories(std::filesystem::path(sPath).parent_path());
        std::ofstream(sPath, std::ios::binary) << sText;
    }

    // The root back to: Assets/a.txt, Assets/Sub/B.TXT, Empty/.
    void ResetRoot() const
    {
        std::error_code error;
        std::filesystem::remove_all(g_sRoot, error);
        Write(g_sRoot + "/Assets/a.txt", "a");
        Write(g_sRoot + "/Assets/Sub/B.TXT", "b");
        std::filesystem::create_directories(g_sRoot + "/Empty");
    }

    std::string sBase;
};

bool ClimbsOutOfRoot(const std::string& sPath)
{
    std::string sSlashed = sPath;
    for (char& c : sSlashed)
        if (c == '\\')
            c = '/';
    return !sSlashed.empty() && (sSlashed[0] == '/' || !IsInsideRoot(g_sRoot + "/" + sSlashed));
}

void RunOperation(KF_DirectoryRepository& repository, char cOperation, const std::string& sLine)
{
    const KB_String path(sLine.c_str());
    g_sOperation = std::string(1, cOperation) + " \"" + sLine + "\"";
    std::uint64_t uiValue = 0;
    switch (cOperation)
    {
    case 'r':
    {
        std::uint8_t* pData = nullptr;
        g_eGuard = Guard::All;
        const bool bRead = repository.ReadFile(path, &uiValue, &pData);
        g_eGuard = Guard::Off;
        if (bRead)
            repository.RemoveReference(path);
        break;
    }
    case 'h':
        g_eGuard = Guard::All;
        repository.GetFileHash(path, &uiValue);
        break;
    case 'w':
        g_eGuard = Guard::Writes;
        repository.WriteFile(path, sLine.size(), sLine.data());
        break;
    case 'd':
        g_eGuard = Guard::Writes;
        repository.RemoveFile(path);
        break;
    case 's':
        g_eGuard = Guard::Writes;
        repository.GetFileSize(path, &uiValue);
        break;
    case 't':
        g_eGuard = Guard::Writes;
        repository.GetFileTime(path, &uiValue);
        break;
    case 'e':
        g_eGuard = Guard::Writes;
        repository.FileExists(path);
        break;
    case 'x':
        g_eGuard = Guard::Writes;
        repository.DirectoryExists(path);
        break;
    case 'f':
    {
        KB_GrowingArray<KB_String> gFound;
        g_eGuard = Guard::Writes;
        repository.FindFiles(path, gFound);
        break;
    }
    default:
        break;
    }
    g_eGuard = Guard::Off;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    static const Sandbox s_Sandbox;
    s_Sandbox.ResetRoot();
    KF_DirectoryRepository repository(KB_String(g_sRoot.c_str()));
    const std::string input(reinterpret_cast<const char*>(pData), uiSize);
    std::size_t uiBegin = 0;
    for (int iOperation = 0; iOperation < 64 && uiBegin < input.size(); ++iOperation)
    {
        std::size_t uiEnd = input.find('\n', uiBegin);
        if (uiEnd == std::string::npos)
            uiEnd = input.size();
        if (uiEnd == uiBegin)
        {
            ++uiBegin;
            continue;
        }
        const char cOperation = input[uiBegin];
        // The path up to the line end or a NUL, as the repository sees it.
        const std::string sRest = input.substr(uiBegin + 1, uiEnd - uiBegin - 1);
        const std::string sLine(sRest.c_str());
        uiBegin = uiEnd + 1;
        if (g_bSkipEscaping && ClimbsOutOfRoot(sLine))
            continue;
        RunOperation(repository, cOperation, sLine);
    }
    return 0;
}
