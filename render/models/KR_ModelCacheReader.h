#pragma once
// Reads a model cache file (the 20-byte header, then the model record to the end of the file)
// into a new KR_ModelResourceDX11. The file is distrusted throughout: every read is bounded by its
// length, and a file shorter than the header, of another version, with a record that overruns,
// is inconsistent or leaves bytes unread gives null, and nothing of a half-read model survives.
// The loader then imports the model again. Any thread; calls may run in parallel.

#include "framework/core/KB_String.h"

#include <cstdint>

class KR_ModelResource;

class KR_ModelCacheReader
{
public:
    KR_ModelCacheReader() = delete;

    // The reader the loader calls through KR_ModelImporters: reads the file through the engine's
    // file manager and drops its read reference again. A new model owned by the caller, or null.
    static KR_ModelResource* LoadSerializedModel(const KB_String& sCachePath);
    // The same on the whole file's bytes (header included), without the file manager.
    static KR_ModelResource* ReadModel(const std::uint8_t* pData, std::uint64_t uiSize);
};
