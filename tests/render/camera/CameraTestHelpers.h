#pragma once
// Fakes for the camera tests: a graphics device that hands out a stand-in device and a fixed
// aspect ratio.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_GraphicsDevice.h"
#include "tests/support/FakeGraphicsDevice.h"

#include <gtest/gtest.h>

#include <vector>

namespace cameratest
{

// A device with a fixed aspect ratio and, optionally, a Direct3D device.
class FakeDevice : public FakeGraphicsDevice
{
public:
    explicit FakeDevice(float fAspectRatio, ID3D11Device* pDevice = nullptr)
        : FakeGraphicsDevice(pDevice, nullptr, fAspectRatio)
    {
    }
};

inline void ExpectMatrixNear(const DirectX::XMMATRIX& actual, const float (&expected)[4][4],
                             float fTolerance = 1e-5f)
{
    DirectX::XMFLOAT4X4 a;
    DirectX::XMStoreFloat4x4(&a, actual);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], expected[r][c], fTolerance) << "row " << r << " column " << c;
}

inline void ExpectVectorNear(const DirectX::XMVECTOR& actual, float x, float y, float z,
                             float fTolerance = 1e-5f)
{
    EXPECT_NEAR(DirectX::XMVectorGetX(actual), x, fTolerance);
    EXPECT_NEAR(DirectX::XMVectorGetY(actual), y, fTolerance);
    EXPECT_NEAR(DirectX::XMVectorGetZ(actual), z, fTolerance);
}

} // namespace cameratest
