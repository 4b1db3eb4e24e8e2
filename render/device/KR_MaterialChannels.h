#pragma once
// The entries of a material's texture channel lists. The texture is the resource manager's proxy for
// the entry's file (not owned, shared by copies); null means the entry has no texture.

#include <cstdint>

class KR_ManagedShaderResourceView;

// A cube-map entry.
struct KR_Channel
{
    std::uint32_t m_uiUVChannel = 0;
    KR_ManagedShaderResourceView* m_pTexture = nullptr; // not owned
};

// Diffuse, normal, roughness, gloss, mask, lightmap, ambient-occlusion, heightmap and transparency
// entries.
struct KR_TilingChannel : KR_Channel
{
    float m_fTile = 1.0f;
};

struct KR_SpecularChannel : KR_TilingChannel
{
    float m_fPower = 20.0f;
};
