#pragma once
// One metaball as the metaball shader reads it: the 32-byte record is copied to the GPU byte for
// byte. Position in world space, effective radius (the field reaches zero there), colour.

#include "platform/directxmath/DirectXMath.h"

struct KR_MetaBall
{
    DirectX::XMFLOAT3 m_vPosition = DirectX::XMFLOAT3(0.0f, 0.0f, 0.0f);
    float m_fRadius = 1.0f;
    DirectX::XMFLOAT4 m_vColor = DirectX::XMFLOAT4(1.0f, 1.0f, 1.0f, 1.0f);
};

static_assert(sizeof(KR_MetaBall) == 32, "the shader reads 32-byte records");
