#pragma once
// One material of the library: shading switches, colours, parallax settings and eleven texture
// channel lists. A plain value: copying copies every field and list (texture proxies are shared).

#include "framework/core/KB_Color.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/device/KR_MaterialChannels.h"

#include <cstdint>

struct KR_Material
{
    static constexpr std::uint32_t NO_SPECIAL = 0xFFFFFFFFu;

    KB_String m_sId;
    std::uint32_t m_uiUVChannelCount = 3;
    std::uint8_t m_uiNormals = 1;
    std::uint8_t m_uiSkinnedAnimation = 0;
    std::uint32_t m_uiEmissiveMode = 0; // 0 to 3
    std::uint8_t m_uiDirectionalLight = 0;
    std::uint8_t m_uiAdditiveAlpha = 0;
    std::uint8_t m_uiAlphaBlend = 0;
    std::uint8_t m_uiDynamicLights = 0;
    std::uint8_t m_uiFog = 1;
    std::uint8_t m_uiTangents = 1;
    std::uint32_t m_uiParallaxMode = 0;  // 0 to 3
    std::uint32_t m_uiUVOffsetMask = 0;  // 0 to 15
    std::uint8_t m_uiTransparency = 0;   // order-independent
    std::uint8_t m_uiCubeMapMissing = 0; // a cube-map element gave no texture
    KB_Color m_oObjectColor = KB_Color(1.0f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oAmbientLightColor = KB_Color(0.0f, 0.0f, 0.0f, 0.0f);
    float m_fHeightScale = 0.1f;
    float m_fHeightOffset = 0.0f;
    std::uint32_t m_uiMinSamples = 6;
    std::uint32_t m_uiMaxSamples = 64;
    std::uint32_t m_uiSpecial = NO_SPECIAL;
    std::uint8_t m_uiFragmentable = 0; // drawn with the geometry stage

    KB_GrowingArray<KR_TilingChannel> m_gDiffuse;
    KB_GrowingArray<KR_TilingChannel> m_gNormal;
    KB_GrowingArray<KR_SpecularChannel> m_gSpecular;
    KB_GrowingArray<KR_TilingChannel> m_gRoughness;
    KB_GrowingArray<KR_TilingChannel> m_gGloss;
    KB_GrowingArray<KR_TilingChannel> m_gMask;
    KB_GrowingArray<KR_TilingChannel> m_gLightmap;
    KB_GrowingArray<KR_TilingChannel> m_gAmbientOcclusion;
    KB_GrowingArray<KR_Channel> m_gCubeMap;
    KB_GrowingArray<KR_TilingChannel> m_gHeightmap;
    KB_GrowingArray<KR_TilingChannel> m_gTransparency;
};
