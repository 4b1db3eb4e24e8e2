#pragma once
// The shader cache: turns shader properties into a ready program, from its precompiled cache file
// when that is current, else by compiling every stage. It keeps no state and locks nothing; the
// resource manager asks it on a miss of its program cache (under that cache's lock). Owned by the
// engine singleton.
//
// Cache file "Assets/ShaderCache/%.8X.pshadercache" (low 32 bits of the properties' hash), read
// through the file repositories, little-endian and packed: u32 version 5, then four stage records
// in stage order, each u64 source time, u64 source content hash, u32 bytecode size, bytecode. A
// stage whose source exists must match both the recorded time and hash. A missing, short,
// wrongly versioned or stale file is not an error: the program is compiled instead, silently.

#include <cstdint>

class KB_String;
class KR_ShaderProperties;
struct KR_ShaderProgram;

class KR_ShaderCache
{
public:
    static constexpr std::uint32_t CACHE_FILE_VERSION = 5;

    KR_ShaderCache() = default;
    virtual ~KR_ShaderCache() = default;

    KR_ShaderCache(const KR_ShaderCache&) = delete;
    KR_ShaderCache& operator=(const KR_ShaderCache&) = delete;

    // A new program (owned by the caller) with its shaders created; null only without properties
    // or memory. Virtual so that tests can stand in for the cache.
    virtual KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties* pProperties);
    // A new program with every stage whose file is not empty compiled; a stage that fails to
    // compile (the compiler showed its message) is left without bytecode.
    KR_ShaderProgram* CompileShaderProgram(const KR_ShaderProperties* pProperties);
    // Creates the shader object of every stage that has bytecode, in stage order, and reflects
    // the compute stage's thread-group size. The first failed creation ends the walk.
    void CreateShaders(KR_ShaderProgram* pProgram);

    // "Assets/ShaderCache/XXXXXXXX.pshadercache" for the properties.
    static KB_String GetCacheFilePath(const KR_ShaderProperties& properties);
    // Releases the bytecode and shaders of the program and deletes it; nothing for null.
    static void DeleteShaderProgram(KR_ShaderProgram* pProgram);

private:
    // The program held by a current cache file's bytes; null when they are short or stale.
    static KR_ShaderProgram* ReadCacheFile(const KR_ShaderProperties& properties, const std::uint8_t* pData,
                                           std::uint64_t uiSize);
};
