#pragma once
// The material manager. For now only the vertex-program helper the resource manager needs for its
// input layouts; materials, their permutations and applying them come with the material library.

#include <cstdint>

class KR_ShaderProperties;

class KR_MaterialManager
{
public:
    KR_MaterialManager() = default;
    virtual ~KR_MaterialManager() = default;

    KR_MaterialManager(const KR_MaterialManager&) = delete;
    KR_MaterialManager& operator=(const KR_MaterialManager&) = delete;

    // Fresh properties with the vertex stage ("Assets/Shader/KR_VertexShader.hlsl", "MainVS") and,
    // in this order, "VS_IN_NORMAL", "VS_IN_TANGENT", "VS_IN_UV0" to "VS_IN_UV3" and
    // "VS_IN_SKINNED" for the bits 1 to 7 of the vertex format that are set.
    static void BuildVertexShaderProperties(KR_ShaderProperties& properties,
                                            const std::uint8_t* pVertexFormat);
};
