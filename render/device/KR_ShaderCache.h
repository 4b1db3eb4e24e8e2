#pragma once
// The shader cache: loads a shader program from its cache file or compiles it. The resource
// manager asks it on a miss of its program cache. Owned by the engine singleton.

class KR_ShaderProperties;
struct KR_ShaderProgram;

class KR_ShaderCache
{
public:
    KR_ShaderCache() = default;
    virtual ~KR_ShaderCache() = default;

    KR_ShaderCache(const KR_ShaderCache&) = delete;
    KR_ShaderCache& operator=(const KR_ShaderCache&) = delete;

    // A new program (owned by the caller) or null when it cannot be loaded or compiled.
    virtual KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties* pProperties) = 0;
};
