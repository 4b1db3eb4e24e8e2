#include "render/models/KR_ModelImporters.h"

#include "framework/core/KU_FileUtilities.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace
{

struct ImporterTable
{
    std::mutex mutex;
    std::vector<std::pair<std::string, KR_ModelImporters::ImportFunction>> importers; // lower-case keys
    KR_ModelImporters::CacheReadFunction pCacheReader = nullptr;
};

ImporterTable& GetTable()
{
    static ImporterTable table;
    return table;
}

std::string Key(const KB_String& sExtension)
{
    const KB_String sLower = sExtension.ToLower();
    return std::string(sLower.GetBuffer(), sLower.GetLength());
}

} // namespace

void KR_ModelImporters::RegisterImporter(const KB_String& sExtension, ImportFunction pImport)
{
    const std::string sKey = Key(sExtension);
    ImporterTable& table = GetTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.importers.begin(); it != table.importers.end(); ++it)
    {
        if (it->first != sKey)
            continue;
        if (pImport != nullptr)
            it->second = pImport;
        else
            table.importers.erase(it);
        return;
    }
    if (pImport != nullptr)
        table.importers.emplace_back(sKey, pImport);
}

KR_ModelImporters::ImportFunction KR_ModelImporters::FindImporter(const KB_String& sPath)
{
    const std::string sKey = Key(KU_FileUtilities::ExtractExtension(sPath));
    if (sKey.empty())
        return nullptr;
    ImporterTable& table = GetTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const auto& entry : table.importers)
        if (entry.first == sKey)
            return entry.second;
    return nullptr;
}

void KR_ModelImporters::SetCacheReader(CacheReadFunction pRead)
{
    ImporterTable& table = GetTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.pCacheReader = pRead;
}

KR_ModelImporters::CacheReadFunction KR_ModelImporters::GetCacheReader()
{
    ImporterTable& table = GetTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.pCacheReader;
}

void KR_ModelImporters::Clear()
{
    ImporterTable& table = GetTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.importers.clear();
    table.pCacheReader = nullptr;
}
