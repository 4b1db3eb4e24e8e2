#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace DirectX;

TEST(XMStorage, LoadStoreRoundTripAndZeroFill)
{
    const XMFLOAT3 in(1.5f, -2.0f, 3.25f);
    const XMVECTOR v = XMLoadFloat3(&in);
    EXPECT_EQ(v.f[3], 0.0f);
    XMFLOAT4 out;
    XMStoreFloat4(&out, v);
    EXPECT_EQ(out.x, 1.5f);
    EXPECT_EQ(out.y, -2.0f);
    EXPECT_EQ(out.z, 3.25f);
    EXPECT_EQ(out.w, 0.0f);
    EXPECT_EQ(alignof(XMVECTOR), 16u);
    EXPECT_EQ(alignof(XMMATRIX), 16u);
}

TEST(XMStorage, StoresWriteOnlyTheirLanesAndMatricesKeepRowMajorLayout)
{
    struct
    {
        XMFLOAT2 value;
        float after;
    } target{XMFLOAT2(9.0f, 9.0f), 9.0f};
    XMStoreFloat2(&target.value, XMVectorSet(1.0f, 2.0f, 3.0f, 4.0f));
    EXPECT_EQ(target.value.y, 2.0f);
    EXPECT_EQ(target.after, 9.0f);
    EXPECT_EQ(XMVectorGetZ(XMLoadFloat2(&target.value)), 0.0f);

    const XMFLOAT4X4 stored(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const XMMATRIX m = XMLoadFloat4x4(&stored);
    EXPECT_EQ(m(3, 1), 13.0f);
    EXPECT_EQ(sizeof(XMMATRIX), 64u);
    EXPECT_EQ(std::memcmp(&m, &stored, 64), 0);
    XMFLOAT4X4 back;
    XMStoreFloat4x4(&back, XMMatrixTranspose(m));
    EXPECT_EQ(back(1, 3), 13.0f);
}

TEST(XMStorage, NamedConstantsConvertToVectors)
{
    const XMVECTORF32 c = {{{1.0f, 2.0f, 3.0f, 4.0f}}};
    const XMVECTOR v = c;
    EXPECT_EQ(v.f[2], 3.0f);
    EXPECT_EQ(XMVectorGetW(g_XMIdentityR3), 1.0f);
    EXPECT_EQ(XMConvertToRadians(180.0f), XM_PI);
    EXPECT_FLOAT_EQ(XMConvertToDegrees(XM_PIDIV2), 90.0f);
    // The degree-to-radian factor the camera code relies on.
    EXPECT_EQ(XMConvertToRadians(1.0f), 0.017453292f);
}
