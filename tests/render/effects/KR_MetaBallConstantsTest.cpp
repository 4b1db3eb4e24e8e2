#include "render/effects/KR_MetaBallConstants.h"

#include "render/camera/KR_Camera.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace DirectX;

namespace
{

std::vector<float> Floats(const std::uint8_t* pData, std::uint32_t uiOffset, std::uint32_t uiCount)
{
    std::vector<float> v(uiCount);
    std::memcpy(v.data(), pData + uiOffset, uiCount * sizeof(float));
    return v;
}

// Element (row, column) of a row-vector matrix stored transposed at the offset.
float StoredElement(const std::uint8_t* pData, std::uint32_t uiOffset, int iRow, int iColumn)
{
    return Floats(pData, uiOffset + 4 * (iColumn * 4 + iRow), 1)[0];
}

TEST(KR_MetaBallConstants, FieldFallsFromOneAtTheCentreToZeroAtTheRadius)
{
    EXPECT_FLOAT_EQ(1.0f, KR_MetaBallConstants::Field(0.0f));
    EXPECT_NEAR(0.0f, KR_MetaBallConstants::Field(1.0f), 1e-5f);
    EXPECT_NEAR(0.5f, KR_MetaBallConstants::Field(0.5f), 1e-5f);
    // Falling all the way in between.
    for (float fX = 0.05f; fX <= 1.0f; fX += 0.05f)
        EXPECT_LT(KR_MetaBallConstants::Field(fX), KR_MetaBallConstants::Field(fX - 0.05f)) << fX;
}

TEST(KR_MetaBallConstants, PackingOfAKnownCamera)
{
    // Looking down +z from (1, 2, 3): right +x, up +y; 90 degrees, twice as wide as high.
    KR_Camera camera;
    camera.SetPosition(XMVectorSet(1.0f, 2.0f, 3.0f, 1.0f));
    camera.SetFOV(90.0f);
    camera.SetAspectRatio(2.0f);
    camera.SetNearFarPlanes(1.0f, 11.0f);
    std::uint8_t aData[KR_MetaBallConstants::SIZE];
    std::memset(aData, 0xCD, sizeof(aData));
    KR_MetaBallConstants::Pack(camera, 1920, 1080, 7, 4, 0.5f, aData);

    // The inverse view moves back to the eye: the translation sits in the stored fourth column.
    EXPECT_EQ((std::vector<float>{1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}),
              Floats(aData, KR_MetaBallConstants::INVERSE_VIEW, 16));
    XMFLOAT4X4 viewProjection;
    XMStoreFloat4x4(&viewProjection, camera.GetViewProjectionMatrix());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(viewProjection.m[r][c],
                      StoredElement(aData, KR_MetaBallConstants::VIEW_PROJECTION, r, c));
    // The stored inverse projection undoes the camera's projection.
    XMFLOAT4X4 projection;
    XMStoreFloat4x4(&projection, camera.GetProjectionMatrix());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            float fSum = 0.0f;
            for (int k = 0; k < 4; ++k)
                fSum +=
                    projection.m[r][k] * StoredElement(aData, KR_MetaBallConstants::INVERSE_PROJECTION, k, c);
            EXPECT_NEAR(r == c ? 1.0f : 0.0f, fSum, 1e-5f) << r << "," << c;
        }

    EXPECT_EQ((std::vector<float>{1.0f, 11.0f, 0.1f, 0.0f}), Floats(aData, KR_MetaBallConstants::PLANES, 4));
    // Half height tan(45) x 1 = 1, half width 2, centre (1, 2, 4).
    const std::vector<std::pair<std::uint32_t, std::vector<float>>> vCorners = {
        {KR_MetaBallConstants::NEAR_TOP_LEFT, {-1, 3, 4, 1}},
        {KR_MetaBallConstants::NEAR_TOP_RIGHT, {3, 3, 4, 1}},
        {KR_MetaBallConstants::NEAR_BOTTOM_LEFT, {-1, 1, 4, 1}}};
    for (const auto& corner : vCorners)
    {
        const std::vector<float> vStored = Floats(aData, corner.first, 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(corner.second[i], vStored[i], 1e-5f) << "offset " << corner.first;
    }
    std::uint32_t auiSizes[4];
    std::memcpy(auiSizes, aData + KR_MetaBallConstants::SIZES, sizeof(auiSizes));
    EXPECT_EQ(1920u, auiSizes[0]);
    EXPECT_EQ(1080u, auiSizes[1]);
    EXPECT_EQ(7u, auiSizes[2]);
    EXPECT_EQ(4u, auiSizes[3]);
    const std::vector<float> vThreshold = Floats(aData, KR_MetaBallConstants::THRESHOLD, 4);
    EXPECT_EQ(KR_MetaBallConstants::Field(0.5f), vThreshold[0]);
    EXPECT_EQ((std::vector<float>{0.5f, 1.5f, 0.0f}),
              std::vector<float>(vThreshold.begin() + 1, vThreshold.end()));
}

} // namespace
