// kvfxc <folder> <output folder>: compiles every effect file (".fx") under the folder to its
// precompiled form (".fxo", the fx_5_0 bytecode the engine loads before the source) at the same
// relative path under the output folder. The data archive does not take ".fx" names, so the
// precompiled files are what the packed production reads. Each output path is the source's path
// under the folder as listed, links not resolved, so it always lies under the output folder: a
// linked ".fx" is compiled under its own name when its target lies inside the folder and refused
// when it lies outside; links to folders are not followed. Two sources that would write the same
// output are an error. Includes are looked up beside the
// file being compiled and must stay inside the folder. Files are read as the directory
// repository reads them: only regular files, never waiting on a pipe, and none larger than the
// compiler takes. Each output is written whole to a temporary file beside it and renamed over
// it; SIGINT or SIGTERM removes the temporary. Exit code 0 on success, 1 when a file does not
// compile or cannot be written, 2 on wrong usage; messages go to stderr.

#include "framework/core/KU_FileUtilities.h"
#include "framework/core/KU_TemporaryFiles.h"
#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "platform/d3dcompiler/d3dcompiler.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

enum class ReadResult
{
    Read,
    Unreadable, // missing, or open or read failed
    NotRegular, // a directory, device, pipe or socket
    TooLarge,
};

// The regular file at path, whole, when it holds at most uiLimit bytes; its size in *pSize
// whenever it is a regular file. What lies at the path is looked at before it is opened, so a
// device or a pipe is never opened, and judged again by the descriptor opened without blocking,
// in case it was replaced meanwhile. Links are followed. A file that shrinks while it is read is
// Unreadable; one that grows is read to the size it had.
ReadResult ReadRegularFile(const fs::path& path, std::uint64_t uiLimit, std::vector<char>* pOut,
                           std::uint64_t* pSize)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return ReadResult::Unreadable;
    if (!S_ISREG(status.st_mode))
        return ReadResult::NotRegular;
    const int iFile = KU_FileUtilities::OpenRegularFile(path.c_str(), pSize);
    if (iFile < 0)
        return ReadResult::Unreadable;
    ReadResult eResult = ReadResult::Read;
    if (*pSize > uiLimit)
    {
        eResult = ReadResult::TooLarge;
    }
    else
    {
        pOut->resize(static_cast<std::size_t>(*pSize));
        if (!KU_FileUtilities::ReadWholeFile(iFile, reinterpret_cast<std::uint8_t*>(pOut->data()), *pSize))
            eResult = ReadResult::Unreadable;
    }
    close(iFile);
    return eResult;
}

// Why a file of that size was refused, for a message; empty for a file that was read or could not be.
std::string RefusalReason(ReadResult eResult, std::uint64_t uiSize, std::uint64_t uiLimit)
{
    if (eResult == ReadResult::NotRegular)
        return "not a regular file";
    if (eResult == ReadResult::TooLarge)
        return "too large (" + std::to_string(uiSize) + " bytes, at most " + std::to_string(uiLimit) + ")";
    return std::string();
}

// Resolves "#include" names relative to the folder of the file being compiled (also the names in
// included files), as the engine resolves them. A name must stay inside the folder given to
// kvfxc: an absolute name, or one whose ".." climb above that folder, is refused. The ".." are
// taken from the text, so they never climb out through a link; links inside the folder are
// followed, as the directory repository follows them. Each refusal prints one line on stderr.
class FolderInclude : public ID3DInclude
{
public:
    // root: the folder given to kvfxc; folder: the compiled file's folder relative to it.
    FolderInclude(fs::path root, fs::path folder, std::string sSource)
        : m_oRoot(std::move(root)), m_oFolder(std::move(folder)), m_sSource(std::move(sSource))
    {
    }

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        if (pFileName == nullptr)
            return E_FAIL;
        const fs::path name(pFileName);
        const fs::path relative = (m_oFolder / name).lexically_normal();
        if (name.is_absolute() || (!relative.empty() && *relative.begin() == ".."))
        {
            Refuse(pFileName, "outside the folder \"" + m_oRoot.string() + "\"");
            return E_FAIL;
        }
        constexpr std::uint64_t uiLimit = D3DCompilerLimits::MAX_INCLUDED_BYTES;
        auto* pData = new std::vector<char>();
        std::uint64_t uiSize = 0;
        const ReadResult eResult = ReadRegularFile(m_oRoot / relative, uiLimit, pData, &uiSize);
        if (eResult != ReadResult::Read)
        {
            delete pData;
            const std::string sReason = RefusalReason(eResult, uiSize, uiLimit);
            if (!sReason.empty())
                Refuse(pFileName, sReason);
            return E_FAIL;
        }
        m_vOpen.push_back(pData);
        *ppData = pData->data();
        *pBytes = static_cast<UINT>(pData->size());
        return S_OK;
    }

    HRESULT Close(LPCVOID pData) override
    {
        for (auto it = m_vOpen.begin(); it != m_vOpen.end(); ++it)
            if ((*it)->data() == pData)
            {
                delete *it;
                m_vOpen.erase(it);
                break;
            }
        return S_OK;
    }

    ~FolderInclude()
    {
        for (std::vector<char>* p : m_vOpen)
            delete p;
    }

private:
    void Refuse(const char* pName, const std::string& sReason) const
    {
        std::fprintf(stderr, "kvfxc: include \"%s\" of \"%s\" refused: %s\n", pName, m_sSource.c_str(),
                     sReason.c_str());
    }

    fs::path m_oRoot;
    fs::path m_oFolder;
    std::string m_sSource;
    std::vector<std::vector<char>*> m_vOpen;
};

// source lies under root, as listed from it.
bool CompileOne(const fs::path& root, const fs::path& source, const fs::path& target)
{
    constexpr std::uint64_t uiLimit = D3DCompilerLimits::MAX_SOURCE_BYTES;
    std::vector<char> vSource;
    std::uint64_t uiSize = 0;
    const ReadResult eRead = ReadRegularFile(source, uiLimit, &vSource, &uiSize);
    if (eRead != ReadResult::Read)
    {
        const std::string sReason = RefusalReason(eRead, uiSize, uiLimit);
        std::fprintf(stderr, "kvfxc: cannot read \"%s\"%s%s\n", source.string().c_str(),
                     sReason.empty() ? "" : ": ", sReason.c_str());
        return false;
    }
    FolderInclude include(root, source.lexically_relative(root).parent_path(), source.string());
    ID3DBlob* pCode = nullptr;
    ID3DBlob* pErrors = nullptr;
    const std::string sName = source.filename().string();
    const HRESULT hr = D3DCompile(vSource.data(), vSource.size(), sName.c_str(), nullptr, &include, nullptr,
                                  "fx_5_0", D3DCOMPILE_ENABLE_STRICTNESS, 0, &pCode, &pErrors);
    if (pErrors != nullptr)
    {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(pErrors->GetBufferSize()),
                     static_cast<const char*>(pErrors->GetBufferPointer()));
        pErrors->Release();
    }
    if (FAILED(hr) || pCode == nullptr)
    {
        std::fprintf(stderr, "kvfxc: \"%s\" does not compile\n", source.string().c_str());
        if (pCode != nullptr)
            pCode->Release();
        return false;
    }
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    // Written beside its name and renamed over it, so a failed write leaves no half file.
    const bool bOk = KU_TemporaryFiles::WriteWholeFile(KB_String(target.string().c_str()),
                                                       pCode->GetBufferPointer(), pCode->GetBufferSize());
    const int iError = errno;
    pCode->Release();
    if (!bOk)
    {
        std::fprintf(stderr, "kvfxc: cannot write \"%s\": %s\n", target.string().c_str(),
                     std::strerror(iError));
        return false;
    }
    return true;
}

// Whether source, listed under root, is no link or a link whose target (through every link on
// the way) lies inside root.
bool LinkStaysInside(const fs::path& root, const fs::path& source)
{
    std::error_code error;
    if (!fs::is_symlink(source, error))
        return !error;
    const fs::path realRoot = fs::canonical(root, error);
    if (error)
        return false;
    const fs::path realSource = fs::canonical(source, error);
    if (error)
        return false;
    const fs::path relative = realSource.lexically_relative(realRoot);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

} // namespace

int main(int argc, char** argv)
{
    // First, before any thread starts; should it fail, a signal ends the run as it always did.
    KU_TemporaryFiles::RemoveOnInterrupt();
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: kvfxc <folder> <output folder>\n"
                             "Compiles every .fx file under the folder to .fxo under the output folder.\n");
        return 2;
    }
    const fs::path root(argv[1]);
    const fs::path output(argv[2]);
    std::error_code error;
    if (!fs::is_directory(root, error))
    {
        std::fprintf(stderr, "kvfxc: \"%s\" is not a folder\n", argv[1]);
        return 1;
    }
    std::vector<fs::path> vSources;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error) && it->path().extension() == ".fx")
            vSources.push_back(it->path());
    if (error)
    {
        std::fprintf(stderr, "kvfxc: cannot list \"%s\"\n", argv[1]);
        return 1;
    }
    bool bOk = true;
    std::vector<std::pair<fs::path, fs::path>> vJobs; // source, output
    std::map<fs::path, fs::path> mapWriters;          // output -> its source
    for (const fs::path& source : vSources)
    {
        std::string sRefusal;
        const fs::path relative = source.lexically_relative(root);
        if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
            sRefusal = "not under the folder \"" + root.string() + "\"";
        else if (!LinkStaysInside(root, source))
            sRefusal = "a link to a file outside the folder \"" + root.string() + "\"";
        if (!sRefusal.empty())
        {
            std::fprintf(stderr, "kvfxc: \"%s\" refused: %s\n", source.string().c_str(), sRefusal.c_str());
            bOk = false;
            continue;
        }
        const fs::path target = (output / relative).replace_extension(".fxo").lexically_normal();
        const auto inserted = mapWriters.emplace(target, source);
        if (!inserted.second)
        {
            std::fprintf(stderr, "kvfxc: \"%s\" and \"%s\" would both write \"%s\"\n",
                         inserted.first->second.string().c_str(), source.string().c_str(),
                         target.string().c_str());
            bOk = false;
            continue;
        }
        vJobs.emplace_back(source, target);
    }
    for (const auto& job : vJobs)
        if (!CompileOne(root, job.first, job.second))
            bOk = false;
    if (bOk)
        std::printf("kvfxc: compiled %zu effect file(s) from \"%s\"\n", vJobs.size(), argv[1]);
    return bOk ? 0 : 1;
}
