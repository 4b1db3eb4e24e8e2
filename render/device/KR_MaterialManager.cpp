#include "render/device/KR_MaterialManager.h"

#include "render/device/KR_ShaderProperties.h"

void KR_MaterialManager::BuildVertexShaderProperties(KR_ShaderProperties& properties,
                                                     const std::uint8_t* pVertexFormat)
{
    static const char* const MACROS[7] = {"VS_IN_NORMAL", "VS_IN_TANGENT", "VS_IN_UV0",    "VS_IN_UV1",
                                          "VS_IN_UV2",    "VS_IN_UV3",     "VS_IN_SKINNED"};
    properties = KR_ShaderProperties();
    properties.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "MainVS");
    const std::uint8_t uiFormat = pVertexFormat != nullptr ? *pVertexFormat : 1;
    for (int iBit = 1; iBit < 8; ++iBit)
        if ((uiFormat & (1u << iBit)) != 0)
            properties.AddMacro(MACROS[iBit - 1], nullptr);
}
