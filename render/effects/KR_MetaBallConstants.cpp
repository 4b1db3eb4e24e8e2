#include "render/effects/KR_MetaBallConstants.h"

#include "render/camera/KR_Camera.h"

#include <cmath>
#include <cstring>

using namespace DirectX;

namespace
{

void StoreTransposed(std::uint8_t* pOut, const XMMATRIX& m)
{
    XMFLOAT4X4 stored;
    XMStoreFloat4x4(&stored, XMMatrixTranspose(m));
    std::memcpy(pOut, &stored, sizeof(stored));
}

void StorePoint(std::uint8_t* pOut, FXMVECTOR v)
{
    XMFLOAT4 stored;
    XMStoreFloat4(&stored, XMVectorSetW(v, 1.0f));
    std::memcpy(pOut, &stored, sizeof(stored));
}

void StoreFloats(std::uint8_t* pOut, float f0, float f1, float f2)
{
    const float af[4] = {f0, f1, f2, 0.0f};
    std::memcpy(pOut, af, sizeof(af));
}

} // namespace

float KR_MetaBallConstants::Field(float fX)
{
    const float fX2 = fX * fX;
    return ((fX2 * -0.444444f + 1.888889f) * fX2 - 2.444444f) * fX2 + 1.0f;
}

void KR_MetaBallConstants::Pack(KR_Camera& camera, std::uint32_t uiWidth, std::uint32_t uiHeight,
                                std::uint32_t uiBallCount, std::uint32_t uiSampleCount, float fCoreRadius,
                                std::uint8_t* pOut)
{
    std::memset(pOut, 0, SIZE);
    const XMMATRIX mView = camera.GetViewMatrix();
    const XMMATRIX mProjection = camera.GetProjectionMatrix();
    StoreTransposed(pOut + INVERSE_VIEW, XMMatrixInverse(nullptr, mView));
    StoreTransposed(pOut + VIEW_PROJECTION, camera.GetViewProjectionMatrix());
    StoreTransposed(pOut + INVERSE_PROJECTION, XMMatrixInverse(nullptr, mProjection));

    const float fNear = camera.GetNearZ();
    const float fFar = camera.GetFarZ();
    StoreFloats(pOut + PLANES, fNear, fFar, 1.0f / (fFar - fNear));

    const float fHalfHeight = std::tan(camera.GetFOV() / 2.0f * XM_PI / 180.0f) * fNear;
    const float fHalfWidth = fHalfHeight * camera.GetAspectRatio();
    const XMVECTOR vRight = XMVectorScale(camera.GetRightVector(), fHalfWidth);
    const XMVECTOR vUp = XMVectorScale(camera.GetUpVector(), fHalfHeight);
    const XMVECTOR vCentre = XMVectorAdd(camera.GetPosition(), XMVectorScale(camera.GetLookVector(), fNear));
    StorePoint(pOut + NEAR_TOP_LEFT, XMVectorAdd(XMVectorSubtract(vCentre, vRight), vUp));
    StorePoint(pOut + NEAR_TOP_RIGHT, XMVectorAdd(XMVectorAdd(vCentre, vRight), vUp));
    StorePoint(pOut + NEAR_BOTTOM_LEFT, XMVectorSubtract(XMVectorSubtract(vCentre, vRight), vUp));

    const std::uint32_t auiSizes[4] = {uiWidth, uiHeight, uiBallCount, uiSampleCount};
    std::memcpy(pOut + SIZES, auiSizes, sizeof(auiSizes));
    StoreFloats(pOut + THRESHOLD, Field(fCoreRadius), fCoreRadius, QUAD_SCALE);
}
