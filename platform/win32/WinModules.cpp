#include "platform/win32/WinModules.h"

#include "platform/win32/Win32Control.h"
#include "platform/win32/WinInternal.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace
{
constexpr std::uintptr_t PROGRAM_INSTANCE_HANDLE = 0x400000;
constexpr std::uintptr_t FIRST_MODULE_HANDLE = 0x7F000000;

struct ModuleRecord
{
    HMODULE handle = nullptr;
    std::map<std::string, FARPROC> procedures;
    bool missing = false;
    int references = 0;
};

struct ModuleTable
{
    std::mutex mutex;
    std::map<std::string, ModuleRecord> modules; // by normalised name
    std::uintptr_t nextHandle = FIRST_MODULE_HANDLE;
};

// Lower case, file name only, ".dll" added when there is no extension.
std::string NormalizeName(const char* name)
{
    std::string result(name);
    const std::size_t slash = result.find_last_of("/\\");
    if (slash != std::string::npos)
        result.erase(0, slash + 1);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (result.find('.') == std::string::npos)
        result += ".dll";
    return result;
}

// Caller holds the lock.
ModuleRecord& AddModule(ModuleTable& table, const std::string& name)
{
    ModuleRecord& record = table.modules[name];
    if (!record.handle)
    {
        record.handle = reinterpret_cast<HMODULE>(table.nextHandle);
        table.nextHandle += 0x10000;
    }
    return record;
}

ModuleTable& Modules()
{
    static ModuleTable* s_pTable = []
    {
        ModuleTable* table = new ModuleTable;
        AddModule(*table, "d3d11.dll");
        AddModule(*table, "dxgi.dll");
        return table;
    }();
    return *s_pTable;
}

ModuleRecord* FindByHandle(ModuleTable& table, HMODULE module)
{
    for (auto& [name, record] : table.modules)
        if (record.handle == module)
            return &record;
    return nullptr;
}
} // namespace

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName || !*fileName)
        return nullptr;
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.modules.find(NormalizeName(fileName));
    if (it == table.modules.end() || it->second.missing)
        return nullptr;
    ++it->second.references;
    return it->second.handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procedureName)
{
    if (!procedureName)
        return nullptr;
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    const ModuleRecord* record = FindByHandle(table, module);
    if (!record || record->references <= 0)
        return nullptr;
    const auto it = record->procedures.find(procedureName);
    return it == record->procedures.end() ? nullptr : it->second;
}

BOOL FreeLibrary(HMODULE module)
{
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    ModuleRecord* record = FindByHandle(table, module);
    if (!record || record->references <= 0)
        return FALSE;
    --record->references;
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName)
{
    if (!moduleName)
        return reinterpret_cast<HMODULE>(PROGRAM_INSTANCE_HANDLE);
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.modules.find(NormalizeName(moduleName));
    return it != table.modules.end() && it->second.references > 0 ? it->second.handle : nullptr;
}

namespace Win32Modules
{
void RegisterProcedure(const char* moduleName, const char* procedureName, FARPROC procedure)
{
    if (!moduleName || !procedureName)
        return;
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    AddModule(table, NormalizeName(moduleName)).procedures[procedureName] = procedure;
}
} // namespace Win32Modules

namespace win32_internal
{
void ResetModules()
{
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto& [name, record] : table.modules)
    {
        record.missing = false;
        record.references = 0;
    }
}
} // namespace win32_internal

namespace Win32Control
{
void SetModuleMissing(const std::string& module, bool missing)
{
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    AddModule(table, NormalizeName(module.c_str())).missing = missing;
}

int GetModuleReferenceCount(const std::string& module)
{
    ModuleTable& table = Modules();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto it = table.modules.find(NormalizeName(module.c_str()));
    return it == table.modules.end() ? 0 : it->second.references;
}
} // namespace Win32Control
