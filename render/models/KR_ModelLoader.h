#pragma once
// Loading one model on the calling thread: from its model cache file ("<path>.bin") while that is
// fresh, else by the importer of the path's extension, after which the cache is written anew.
// Files go through the engine's file manager; importers and the cache reader through
// KR_ModelImporters. Any thread; one model per call, calls may run in parallel.
//
// Freshness: a cache beside a source no repository can date is used unchecked (a build may ship
// only the caches); otherwise its header is read, and it is fresh when the recorded source time
// is later than the source's, or else when the recorded content hash equals the source's. A
// cache shorter than its header, of another version or unreadable is stale.

#include "framework/core/KB_String.h"

#include <cstdint>

class KR_ModelResource;

class KR_ModelLoader
{
public:
    KR_ModelLoader() = delete;

    // A new model owned by the caller, or null (no importer, failed import, no file manager).
    static KR_ModelResource* LoadModel(const KB_String& sPath, std::uint8_t uiFlag1, std::uint8_t uiFlag2,
                                       std::uint8_t uiFlag3);
    // Writes the header (with the source's time and hash, 0 where no repository answers) and the
    // model record to "<source path>.bin" through the first writable repository that accepts
    // it. The buffer grows with the record, up to MAX_CACHE_SIZE; a larger model is not cached.
    static bool WriteModelCache(const KR_ModelResource* pModel, const KB_String& sSourcePath);
    static KB_String GetCacheName(const KB_String& sPath);

    static constexpr std::uint64_t FIRST_CACHE_CAPACITY = 64 * 1024;
    static constexpr std::uint64_t MAX_CACHE_SIZE = 0x40000000; // 1 GiB
};
