#include "production/KV27_AssetManifest.h"

#include "framework/core/KU_HashUtilities.h"
#include "framework/core/KU_TemporaryFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

constexpr const char* HEADER = "# Files the asset generator made (kvassets), with their content hashes.\n"
                               "# Written by kvassets; a file whose hash differs was edited since.\n";

bool ReadWhole(const fs::path& file, std::string* pBytes)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return false;
    pBytes->assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return !stream.bad();
}

bool ParseHash(const std::string& sDigits, std::uint64_t* pHash)
{
    if (sDigits.size() != 16)
        return false;
    std::uint64_t uiHash = 0;
    for (const char c : sDigits)
    {
        std::uint64_t uiDigit = 0;
        if (c >= '0' && c <= '9')
            uiDigit = static_cast<std::uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            uiDigit = static_cast<std::uint64_t>(c - 'a' + 10);
        else
            return false;
        uiHash = (uiHash << 4) | uiDigit;
    }
    *pHash = uiHash;
    return true;
}

} // namespace

bool KV27_AssetManifest::HashFile(const std::string& sFile, std::uint64_t* pHash)
{
    std::string bytes;
    if (!ReadWhole(sFile, &bytes))
        return false;
    *pHash = KU_HashUtilities::HashFNV1a64(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

std::string KV27_AssetManifest::GetFolderPath(const std::string& sAssetFolder)
{
    fs::path folder = fs::absolute(fs::path(sAssetFolder)).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path(); // "assets/" -> "assets"
    return folder.string();
}

std::string KV27_AssetManifest::GetManifestPath(const std::string& sAssetFolder)
{
    return GetFolderPath(sAssetFolder) + ".manifest";
}

bool KV27_AssetManifest::ReadFolder(const std::string& sFolder)
{
    m_vEntries.clear();
    std::error_code error;
    std::vector<Entry> entries;
    for (fs::recursive_directory_iterator it(sFolder, error), end; !error && it != end; it.increment(error))
    {
        if (!it->is_regular_file())
            continue;
        Entry entry;
        entry.sPath = fs::relative(it->path(), sFolder).generic_string();
        if (!HashFile(it->path().string(), &entry.uiHash))
            return false;
        entries.push_back(entry);
    }
    if (error)
        return false;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.sPath < b.sPath; });
    m_vEntries = std::move(entries);
    return true;
}

bool KV27_AssetManifest::Parse(const std::string& sText)
{
    m_vEntries.clear();
    std::vector<Entry> entries;
    std::size_t uiStart = 0;
    while (uiStart < sText.size())
    {
        std::size_t uiEnd = sText.find('\n', uiStart);
        if (uiEnd == std::string::npos)
            uiEnd = sText.size();
        const std::string sLine = sText.substr(uiStart, uiEnd - uiStart);
        uiStart = uiEnd + 1;
        if (sLine.empty() || sLine[0] == '#')
            continue;
        Entry entry;
        if (sLine.size() < 18 || sLine[16] != ' ' || !ParseHash(sLine.substr(0, 16), &entry.uiHash))
            return false;
        entry.sPath = sLine.substr(17);
        // Paths stay inside the asset folder.
        const fs::path path(entry.sPath);
        if (path.is_absolute() || std::find(path.begin(), path.end(), fs::path("..")) != path.end())
            return false;
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.sPath < b.sPath; });
    const auto twice = std::adjacent_find(entries.begin(), entries.end(),
                                          [](const Entry& a, const Entry& b) { return a.sPath == b.sPath; });
    if (twice != entries.end())
        return false;
    m_vEntries = std::move(entries);
    return true;
}

bool KV27_AssetManifest::Load(const std::string& sFile)
{
    m_vEntries.clear();
    std::string sText;
    return ReadWhole(sFile, &sText) && Parse(sText);
}

std::string KV27_AssetManifest::Format() const
{
    std::string sText = HEADER;
    for (const Entry& entry : m_vEntries)
    {
        char digits[17];
        std::snprintf(digits, sizeof(digits), "%016llx", static_cast<unsigned long long>(entry.uiHash));
        sText += digits;
        sText += ' ';
        sText += entry.sPath;
        sText += '\n';
    }
    return sText;
}

bool KV27_AssetManifest::Save(const std::string& sFile) const
{
    const std::string sText = Format();
    return KU_TemporaryFiles::WriteWholeFile(KB_String(sFile.c_str()), sText.data(), sText.size());
}

const KV27_AssetManifest::Entry* KV27_AssetManifest::Find(const std::string& sPath) const
{
    const auto it =
        std::lower_bound(m_vEntries.begin(), m_vEntries.end(), sPath,
                         [](const Entry& entry, const std::string& s) { return entry.sPath < s; });
    return it != m_vEntries.end() && it->sPath == sPath ? &*it : nullptr;
}

std::vector<std::string> KV27_AssetManifest::ListEdited(const std::string& sFolder) const
{
    std::vector<std::string> edited;
    for (const Entry& entry : m_vEntries)
    {
        std::uint64_t uiHash = 0;
        if (!HashFile((fs::path(sFolder) / entry.sPath).string(), &uiHash) || uiHash != entry.uiHash)
            edited.push_back(entry.sPath);
    }
    return edited;
}
