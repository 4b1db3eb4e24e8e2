#pragma once
// Where the model loader finds its importers and its model cache reader: importers are found by
// the model file's extension, compared without regard to case ("obj", "dae"); the cache reader
// reads a model cache file (from its 20-byte header on) into a new model. Each importer or
// reader returns a new model owned by the caller, or null on any failure.
//
// Registered at start-up by whoever provides them; may also be changed later (tests do). Every
// function takes the table's own lock, so loads on worker threads may look up at any time.

#include "framework/core/KB_String.h"

#include <cstdint>

class KR_ModelResource;

class KR_ModelImporters
{
public:
    using ImportFunction = KR_ModelResource* (*)(const KB_String& sPath, std::uint8_t uiFlag1,
                                                 std::uint8_t uiFlag2, std::uint8_t uiFlag3);
    using CacheReadFunction = KR_ModelResource* (*)(const KB_String& sCachePath);

    KR_ModelImporters() = delete;

    // Replaces the importer of that extension (given without dot); null removes it.
    static void RegisterImporter(const KB_String& sExtension, ImportFunction pImport);
    // The importer of the path's extension; null for an unknown one or a path without extension.
    static ImportFunction FindImporter(const KB_String& sPath);
    // Null: no cache is read, every model is imported.
    static void SetCacheReader(CacheReadFunction pRead);
    static CacheReadFunction GetCacheReader();
    // No importers and no cache reader.
    static void Clear();
};
