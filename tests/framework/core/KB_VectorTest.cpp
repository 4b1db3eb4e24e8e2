#include "framework/core/KB_Vector.h"

#include "platform/crt/CrtControl.h"

#include <gtest/gtest.h>

using namespace DirectX;

namespace
{

TEST(KB_Vector, ConvertsToAndFromTheMathStorageTypes)
{
    const KB_Vector2<int> grid(3, -4);
    const XMFLOAT2 f2 = grid;
    EXPECT_EQ(f2.x, 3.0f);
    EXPECT_EQ(f2.y, -4.0f);
    EXPECT_EQ(KB_Vector2<unsigned int>(XMFLOAT2(7.9f, 2.0f)), KB_Vector2<unsigned int>(7u, 2u));

    const KB_Vector3<float> v3(1.0f, 2.0f, 3.0f);
    const XMFLOAT3 f3 = v3;
    EXPECT_EQ(KB_Vector3<float>(f3), v3);
    const XMVECTOR r3 = v3.ToXMVECTOR();
    EXPECT_EQ(r3.f[3], 0.0f);
    EXPECT_EQ(KB_Vector3<float>(r3), v3);

    const KB_Vector4<float> v4(1.0f, -2.0f, 0.5f, 4.0f);
    XMFLOAT4 f4 = v4;
    const XMVECTOR loaded = XMLoadFloat4(&f4);
    EXPECT_EQ(KB_Vector4<float>(loaded), v4);
    EXPECT_EQ(KB_Vector4<float>(v4.ToXMVECTOR()), v4);
    EXPECT_EQ(sizeof(KB_Vector4<float>), 16u);
}

TEST(KB_Vector, CreateRandomDrawsFourValuesInComponentOrder)
{
    CrtControl::Reset();
    // From seed 1 the generator yields 41, 18467, 6334, 26500.
    const KB_Vector4<float> v = KB_Vector4<float>::CreateRandom(XMFLOAT3(10.0f, 0.0f, 2.0f));
    EXPECT_FLOAT_EQ(v.x, (41.0f / 32767.0f * 2.0f - 1.0f) * 10.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.z, (6334.0f / 32767.0f * 2.0f - 1.0f) * 2.0f);
    EXPECT_FLOAT_EQ(v.w, 26500.0f / 32767.0f * 2.0f - 1.0f); // w is not scaled

    KB_Vector4<float> out;
    const XMFLOAT3 unit(1.0f, 1.0f, 1.0f);
    for (int i = 0; i < 1000; ++i)
    {
        KB_Vector4<float>::CreateRandom(&out, &unit);
        for (float c : {out.x, out.y, out.z, out.w})
        {
            EXPECT_GE(c, -1.0f);
            EXPECT_LE(c, 1.0f);
        }
    }
    CrtControl::Reset();
}

} // namespace
