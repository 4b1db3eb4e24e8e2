#include "render/scene/KR_LoaderWedge.h"

#include <cmath>

void KR_LoaderWedge::Build(float fProgress, DirectX::XMFLOAT3 aVertices[NUM_VERTICES])
{
    const DirectX::XMFLOAT3 a(-1.0f, 1.0f, 0.0f);
    const DirectX::XMFLOAT3 b(1.0f, 1.0f, 0.0f);
    DirectX::XMFLOAT3 v;
    DirectX::XMFLOAT3 w;
    if (!(fProgress >= 0.0f)) // negative or not a number: nothing filled
        fProgress = 0.0f;
    if (fProgress < 0.5f)
    {
        v = DirectX::XMFLOAT3(1.0f, 1.0f - 2.0f * std::tan(fProgress * HALF_PI), 0.0f);
        w = v;
    }
    else if (fProgress < 1.0f)
    {
        v = DirectX::XMFLOAT3(2.0f * std::tan((1.0f - fProgress) * HALF_PI) - 1.0f, -1.0f, 0.0f);
        w = DirectX::XMFLOAT3(1.0f, -1.0f, 0.0f);
    }
    else
    {
        v = DirectX::XMFLOAT3(-1.0f, -1.0f, 0.0f);
        w = DirectX::XMFLOAT3(1.0f, -1.0f, 0.0f);
    }
    aVertices[0] = a;
    aVertices[1] = v;
    aVertices[2] = b;
    aVertices[3] = b;
    aVertices[4] = v;
    aVertices[5] = w;
}
