#pragma once
// The current user's registry in the forms stand-in (Microsoft.Win32.Registry's model): keys with
// sub-keys and string (REG_SZ) and 32-bit (REG_DWORD) values, names compared ignoring ASCII case.
// Tests use an in-memory store with injectable failures (FormsControl.h). Real runs keep a small
// text file: $KV_REGISTRY_FILE when set, else $XDG_CONFIG_HOME/korvelane/registry.txt, else
// ~/.config/korvelane/registry.txt. It is read once, on first use (a damaged or oversized file is
// read as empty), and written after every change to a temporary file renamed over the old one, so a
// failed write leaves the old file whole. Thread-safe.

#include <cstdint>
#include <memory>
#include <string>

namespace forms
{

enum class RegistryValueKind
{
    None = -1, // no such value
    String = 1,
    DWord = 4,
};

struct RegistryValue
{
    RegistryValueKind kind = RegistryValueKind::None;
    std::string text;        // String
    std::uint32_t dword = 0; // DWord
    bool IsNone() const { return kind == RegistryValueKind::None; }
};

class RegistryKey
{
public:
    RegistryKey(std::string path, bool writable) : m_sPath(std::move(path)), m_bWritable(writable) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Sub-key paths are separated by backslashes. Null when missing, when this key is closed, or on
    // an injected failure.
    std::unique_ptr<RegistryKey> OpenSubKey(const std::string& path, bool writable = false) const;
    // Opens or creates (with the keys above it) a writable sub-key; null when this key is closed or
    // read-only, or on failure.
    std::unique_ptr<RegistryKey> CreateSubKey(const std::string& path);
    RegistryValue GetValue(const std::string& name) const; // None when absent or closed
    // False when the key is closed or read-only, or the change could not be stored (for the file
    // store: written; the value is kept for this run all the same).
    bool SetValue(const std::string& name, const std::string& value);
    bool SetValueDWord(const std::string& name, std::uint32_t value);
    void Close() { m_bClosed = true; }

    const std::string& GetName() const { return m_sPath; } // "HKEY_CURRENT_USER\\Software\\..."

private:
    bool Set(const std::string& name, const RegistryValue& value);

    std::string m_sPath; // full name, with the root
    bool m_bWritable;
    bool m_bClosed = false;
};

class Registry
{
public:
    static RegistryKey& CurrentUser(); // writable, never closed by users
};

} // namespace forms
