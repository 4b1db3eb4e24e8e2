#include "platform/forms/FormsRegistry.h"

#include "platform/crt/CrtTemporaryFiles.h"
#include "platform/forms/FormsInternal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace forms
{

namespace
{
constexpr const char* ROOT_NAME = "HKEY_CURRENT_USER";
constexpr const char* FILE_HEADER = "KVREG 1";
// A registry file larger than this is not ours (or damaged) and is read as empty.
constexpr std::size_t MAX_FILE_BYTES = 1u << 20;

struct KeyData
{
    std::string path; // as first written, without the root
    std::vector<std::pair<std::string, RegistryValue>> values;
};

struct RegistryState
{
    std::mutex mutex;
    std::map<std::string, KeyData> keys; // by folded path; "" is the root
    bool loaded = false;                 // the file store was read
    std::string file;                    // empty: memory only
    std::map<std::string, int> failures;
};

RegistryState& State()
{
    static RegistryState* s_pState = new RegistryState;
    return *s_pState;
}

std::string Fold(const std::string& text)
{
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return folded;
}

// "a\\b\\c" as its names; empty names (doubled or outer backslashes) are skipped.
std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path)
    {
        if (c != '\\')
        {
            part += c;
            continue;
        }
        if (!part.empty())
            parts.push_back(part);
        part.clear();
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

std::string JoinPath(const std::string& base, const std::string& name)
{
    return base.empty() ? name : base + "\\" + name;
}

// The key path without the root name.
std::string Relative(const std::string& fullName)
{
    const std::string root = ROOT_NAME;
    return fullName.size() > root.size() ? fullName.substr(root.size() + 1) : std::string();
}

bool ConsumeFailure(RegistryState& s, const char* pCall)
{
    auto it = s.failures.find(pCall);
    if (it == s.failures.end() || it->second <= 0)
        return false;
    --it->second;
    return true;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        switch (c)
        {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string* pOut)
{
    pOut->clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\\')
        {
            *pOut += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i])
        {
        case '\\':
            *pOut += '\\';
            break;
        case 't':
            *pOut += '\t';
            break;
        case 'n':
            *pOut += '\n';
            break;
        case 'r':
            *pOut += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseDWord(const std::string& text, std::uint32_t* pOut)
{
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t value = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFu)
        return false;
    *pOut = std::uint32_t(value);
    return true;
}

void SetInKey(KeyData& key, const std::string& name, const RegistryValue& value)
{
    const std::string folded = Fold(name);
    for (auto& entry : key.values)
    {
        if (Fold(entry.first) != folded)
            continue;
        entry.second = value;
        return;
    }
    key.values.emplace_back(name, value);
}

// The file's keys, or false when the text is not a whole, well-formed registry file.
bool ParseFile(const std::string& text, std::map<std::string, KeyData>* pKeys)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != FILE_HEADER)
        return false;
    KeyData* pKey = nullptr;
    while (std::getline(in, line))
    {
        if (line.empty())
            continue;
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields[0] == "key" && fields.size() == 2)
        {
            std::string path;
            if (!Unescape(fields[1], &path))
                return false;
            // Every key above it exists too.
            std::string built;
            for (const std::string& part : SplitPath(path))
            {
                built = JoinPath(built, part);
                KeyData& data = (*pKeys)[Fold(built)];
                if (data.path.empty())
                    data.path = built;
            }
            pKey = &(*pKeys)[Fold(built)];
            continue;
        }
        if (pKey == nullptr || fields.size() != 3)
            return false;
        std::string name;
        std::string data;
        if (!Unescape(fields[1], &name) || !Unescape(fields[2], &data))
            return false;
        RegistryValue value;
        if (fields[0] == "sz")
        {
            value.kind = RegistryValueKind::String;
            value.text = data;
        }
        else if (fields[0] == "dword")
        {
            value.kind = RegistryValueKind::DWord;
            if (!ParseDWord(data, &value.dword))
                return false;
        }
        else
        {
            return false;
        }
        SetInKey(*pKey, name, value);
    }
    return true;
}

std::string FormatFile(const std::map<std::string, KeyData>& keys)
{
    std::string text = std::string(FILE_HEADER) + "\n";
    for (const auto& [folded, key] : keys)
    {
        text += "key\t" + Escape(key.path) + "\n";
        for (const auto& [name, value] : key.values)
            if (value.kind == RegistryValueKind::String)
                text += "sz\t" + Escape(name) + "\t" + Escape(value.text) + "\n";
            else
                text += "dword\t" + Escape(name) + "\t" + std::to_string(value.dword) + "\n";
    }
    return text;
}

void LoadFileLocked(RegistryState& s)
{
    s.loaded = true;
    s.keys.clear();
    s.keys[""];
    std::ifstream in(s.file, std::ios::binary);
    if (!in)
        return;
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    {
        text.append(buffer, std::size_t(in.gcount()));
        if (text.size() > MAX_FILE_BYTES)
            return;
    }
    std::map<std::string, KeyData> keys;
    if (!ParseFile(text, &keys))
    {
        std::fprintf(stderr, "[registry] %s is damaged and read as empty\n", s.file.c_str());
        return;
    }
    keys[""];
    s.keys.swap(keys);
}

bool MakeDirectories(const std::string& directory)
{
    if (directory.empty())
        return true;
    struct stat info;
    if (stat(directory.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const std::size_t slash = directory.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(directory.substr(0, slash)))
        return false;
    return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes the whole store to a temporary file and renames it over the old one.
bool SaveFileLocked(const RegistryState& s)
{
    if (s.file.empty())
        return true;
    const std::size_t slash = s.file.find_last_of('/');
    if (slash != std::string::npos && !MakeDirectories(s.file.substr(0, slash)))
        return false;
    const std::string text = FormatFile(s.keys);
    std::string temporary;
    std::FILE* pFile = CrtTemporaryFiles::Create(s.file.c_str(), &temporary);
    if (pFile == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), pFile) == text.size() &&
                         std::fflush(pFile) == 0 && fsync(fileno(pFile)) == 0;
    const bool closed = std::fclose(pFile) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), s.file.c_str()) != 0)
    {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// The store, loaded on first use; the caller holds the lock.
std::map<std::string, KeyData>& Store(RegistryState& s)
{
    if (!s.loaded)
    {
        if (s.file.empty() && forms_internal::IsRealRun())
            s.file = forms_internal::DefaultRegistryPath();
        if (s.file.empty())
        {
            s.loaded = true;
            s.keys[""];
        }
        else
        {
            LoadFileLocked(s);
        }
    }
    return s.keys;
}
} // namespace

namespace forms_internal
{
void UseMemoryRegistry()
{
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.file.clear();
    s.keys.clear();
    s.keys[""];
    s.loaded = true;
    s.failures.clear();
}

void UseRegistryFile(const std::string& path)
{
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.file = path;
    s.failures.clear();
    LoadFileLocked(s);
}

bool FailRegistryNext(const std::string& call, int times)
{
    if (call != "OpenSubKey" && call != "CreateSubKey" && call != "SetValue")
        return false;
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failures[call] = times < 0 ? 0 : times;
    return true;
}

std::string DefaultRegistryPath()
{
    if (const char* pOverride = std::getenv("KV_REGISTRY_FILE"); pOverride != nullptr && *pOverride != 0)
        return pOverride;
    std::string base;
    if (const char* pConfig = std::getenv("XDG_CONFIG_HOME"); pConfig != nullptr && *pConfig == '/')
        base = pConfig;
    else if (const char* pHome = std::getenv("HOME"); pHome != nullptr && *pHome != 0)
        base = std::string(pHome) + "/.config";
    else
        return std::string();
    return base + "/korvelane/registry.txt";
}
} // namespace forms_internal

std::unique_ptr<RegistryKey> RegistryKey::OpenSubKey(const std::string& path, bool writable) const
{
    if (m_bClosed)
        return nullptr;
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::map<std::string, KeyData>& keys = Store(s);
    if (ConsumeFailure(s, "OpenSubKey"))
        return nullptr;
    std::string relative = Relative(m_sPath);
    for (const std::string& part : SplitPath(path))
        relative = JoinPath(relative, part);
    const auto it = keys.find(Fold(relative));
    if (it == keys.end())
        return nullptr;
    return std::make_unique<RegistryKey>(JoinPath(ROOT_NAME, it->second.path), writable);
}

std::unique_ptr<RegistryKey> RegistryKey::CreateSubKey(const std::string& path)
{
    if (m_bClosed || !m_bWritable)
        return nullptr;
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::map<std::string, KeyData>& keys = Store(s);
    if (ConsumeFailure(s, "CreateSubKey"))
        return nullptr;
    std::string relative = Relative(m_sPath);
    bool created = false;
    for (const std::string& part : SplitPath(path))
    {
        const std::string next = JoinPath(relative, part);
        KeyData& data = keys[Fold(next)];
        if (data.path.empty())
        {
            data.path = next;
            created = true;
        }
        relative = data.path;
    }
    if (created && !SaveFileLocked(s))
        return nullptr;
    return std::make_unique<RegistryKey>(
        relative.empty() ? std::string(ROOT_NAME) : JoinPath(ROOT_NAME, relative), true);
}

RegistryValue RegistryKey::GetValue(const std::string& name) const
{
    if (m_bClosed)
        return {};
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::map<std::string, KeyData>& keys = Store(s);
    const auto it = keys.find(Fold(Relative(m_sPath)));
    if (it == keys.end())
        return {};
    const std::string folded = Fold(name);
    for (const auto& [valueName, value] : it->second.values)
        if (Fold(valueName) == folded)
            return value;
    return {};
}

bool RegistryKey::SetValue(const std::string& name, const std::string& value)
{
    RegistryValue entry;
    entry.kind = RegistryValueKind::String;
    entry.text = value;
    return Set(name, entry);
}

bool RegistryKey::SetValueDWord(const std::string& name, std::uint32_t value)
{
    RegistryValue entry;
    entry.kind = RegistryValueKind::DWord;
    entry.dword = value;
    return Set(name, entry);
}

bool RegistryKey::Set(const std::string& name, const RegistryValue& value)
{
    if (m_bClosed || !m_bWritable)
        return false;
    RegistryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::map<std::string, KeyData>& keys = Store(s);
    if (ConsumeFailure(s, "SetValue"))
        return false;
    const auto it = keys.find(Fold(Relative(m_sPath)));
    if (it == keys.end())
        return false; // the key is gone (the store was replaced)
    SetInKey(it->second, name, value);
    return SaveFileLocked(s);
}

RegistryKey& Registry::CurrentUser()
{
    static RegistryKey* s_pKey = new RegistryKey(ROOT_NAME, true);
    return *s_pKey;
}

} // namespace forms
