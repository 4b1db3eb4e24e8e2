// kvfxc <folder> <output folder>: compiles every effect file (".fx") under the folder to its
// precompiled form (".fxo", the fx_5_0 bytecode the engine loads before the source) at the same
// relative path under the output folder. The data archive does not take ".fx" names, so the
// precompiled files are what the packed production reads. Includes are looked up beside the
// including file. Exit code 0 on success, 1 when a file does not compile or cannot be written,
// 2 on wrong usage; messages go to stderr.

#include "platform/d3dcompiler/d3dcompiler.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace
{

namespace fs = std::filesystem;

bool ReadWhole(const fs::path& path, std::vector<char>* pOut)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    pOut->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Resolves "#include" names relative to the folder of the file being compiled.
class FolderInclude : public ID3DInclude
{
public:
    explicit FolderInclude(fs::path folder) : m_oFolder(std::move(folder)) {}

    HRESULT Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData, UINT* pBytes) override
    {
        auto* pData = new std::vector<char>();
        if (pFileName == nullptr || !ReadWhole(m_oFolder / pFileName, pData))
        {
            delete pData;
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
    fs::path m_oFolder;
    std::vector<std::vector<char>*> m_vOpen;
};

bool CompileOne(const fs::path& source, const fs::path& target)
{
    std::vector<char> vSource;
    if (!ReadWhole(source, &vSource))
    {
        std::fprintf(stderr, "kvfxc: cannot read \"%s\"\n", source.string().c_str());
        return false;
    }
    FolderInclude include(source.parent_path());
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
    const fs::path temporary = fs::path(target).concat(".tmp");
    bool bOk = false;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(static_cast<const char*>(pCode->GetBufferPointer()),
                   static_cast<std::streamsize>(pCode->GetBufferSize()));
        bOk = static_cast<bool>(file.flush());
    }
    pCode->Release();
    if (bOk)
        fs::rename(temporary, target, error);
    if (!bOk || error)
    {
        fs::remove(temporary, error);
        std::fprintf(stderr, "kvfxc: cannot write \"%s\"\n", target.string().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
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
    for (const fs::path& source : vSources)
    {
        const fs::path target = (output / fs::relative(source, root, error)).replace_extension(".fxo");
        if (error || !CompileOne(source, target))
            bOk = false;
    }
    if (bOk)
        std::printf("kvfxc: compiled %zu effect file(s) from \"%s\"\n", vSources.size(), argv[1]);
    return bOk ? 0 : 1;
}
