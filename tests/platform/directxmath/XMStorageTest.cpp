#include "platform/directxmath/DirectXMath.h"

#include <gtest/gtest.h>

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
