#include "render/effects/KR_VolumeLightGeometry.h"

#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using namespace DirectX;

namespace
{

constexpr float INF = std::numeric_limits<float>::infinity();

void ExpectNear(const XMFLOAT3& expected, const XMFLOAT3& actual, float fTolerance = 1e-3f)
{
    EXPECT_NEAR(expected.x, actual.x, fTolerance);
    EXPECT_NEAR(expected.y, actual.y, fTolerance);
    EXPECT_NEAR(expected.z, actual.z, fTolerance);
}

// The 36 vertices are the corners of the box lo..hi, and their twelve triangles cover each of
// its six faces twice (a wrong corner or index shows as a triangle across the box).
void ExpectAxisAlignedBox(const KB_GrowingArray<XMFLOAT3>& v, const XMFLOAT3& lo, const XMFLOAT3& hi)
{
    ASSERT_EQ(KR_VolumeLightGeometry::BOX_VERTEX_COUNT, v.GetNumMembers());
    const auto On = [](float a, float b) { return std::fabs(a - b) < 1e-3f; };
    int aiFaces[6] = {};
    for (std::uint32_t t = 0; t < 36; t += 3)
    {
        int iFace = -1;
        for (int i = 0; i < 6 && iFace < 0; ++i)
        {
            const float fPlane = (&(i % 2 == 0 ? lo : hi).x)[i / 2];
            if (On((&v[t].x)[i / 2], fPlane) && On((&v[t + 1].x)[i / 2], fPlane) &&
                On((&v[t + 2].x)[i / 2], fPlane))
                iFace = i;
        }
        ASSERT_GE(iFace, 0) << "triangle " << t / 3 << " crosses the box";
        ++aiFaces[iFace];
        for (std::uint32_t k = t; k < t + 3; ++k)
            for (int axis = 0; axis < 3; ++axis)
                EXPECT_TRUE(On((&v[k].x)[axis], (&lo.x)[axis]) || On((&v[k].x)[axis], (&hi.x)[axis])) << k;
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(2, aiFaces[i]) << "face " << i;
}

class KR_VolumeLightGeometryTest : public ::testing::Test
{
protected:
    KR_OmniLight* Omni(float x, bool bTube = false)
    {
        m_vOmni.push_back(std::make_unique<KR_OmniLight>());
        KR_OmniLight* p = m_vOmni.back().get();
        p->SetPosition(XMFLOAT3(x, 0.0f, 0.0f));
        p->SetTarget(XMFLOAT3(x, 5.0f, 0.0f));
        p->SetOmniFlags(bTube ? KR_OmniLight::OMNI_FLAG_TUBE_LIGHT : 0);
        return p;
    }
    KR_SpotLight* Spot(float x)
    {
        m_vSpot.push_back(std::make_unique<KR_SpotLight>());
        KR_SpotLight* p = m_vSpot.back().get();
        p->SetPosition(XMFLOAT3(x, 0.0f, 0.0f));
        p->SetTarget(XMFLOAT3(x, 0.0f, 10.0f));
        return p;
    }
    // The x of each light in the effect's order.
    static std::vector<float> Order(const KR_VolumeLightGeometry::OmniLightBatch& batch)
    {
        KB_GrowingArray<XMFLOAT4> colours, attenuations, positions;
        batch.GetCombined(&colours, &attenuations, &positions);
        EXPECT_EQ(positions.GetNumMembers(), colours.GetNumMembers());
        EXPECT_EQ(positions.GetNumMembers(), attenuations.GetNumMembers());
        std::vector<float> v;
        for (std::uint32_t i = 0; i < positions.GetNumMembers(); ++i)
            v.push_back(positions[i].x);
        return v;
    }

    TestEngine m_engine;
    std::vector<std::unique_ptr<KR_OmniLight>> m_vOmni;
    std::vector<std::unique_ptr<KR_SpotLight>> m_vSpot;
};

} // namespace

TEST_F(KR_VolumeLightGeometryTest, OmniBatchStaysWithinTheArraysWhateverComesFirst)
{
    KR_VolumeLightGeometry::OmniLightBatch batch;

    // Many tube lights first: they fill the arrays, and no omni light gets in after them.
    batch.Reset(32);
    for (int i = 0; i < 40; ++i)
        batch.Add(0.0, Omni(100.0f + i, true));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(batch.Add(0.0, Omni(static_cast<float>(i))));
    EXPECT_EQ(32u, batch.GetTubeCount());
    EXPECT_EQ(0u, batch.GetOmniCount());
    EXPECT_EQ(32u, batch.m_gTubeSecondPositions.GetNumMembers());

    // Many omni lights first: 18 of them, then tube lights up to the array length.
    batch.Reset(32);
    for (int i = 0; i < 25; ++i)
        batch.Add(0.0, Omni(static_cast<float>(i)));
    EXPECT_EQ(18u, batch.GetOmniCount());
    // Once 18 omni lights are in, nothing more is taken, tube lights included.
    EXPECT_FALSE(batch.Add(0.0, Omni(100.0f, true)));
    EXPECT_EQ(0u, batch.GetTubeCount());

    // A tube light, then 19 omni lights: 19 entries, the tube first in every array.
    batch.Reset(32);
    EXPECT_TRUE(batch.Add(0.0, Omni(100.0f, true)));
    for (int i = 0; i < 19; ++i)
        batch.Add(0.0, Omni(static_cast<float>(i)));
    std::vector<float> vExpected = {100.0f};
    for (int i = 0; i < 18; ++i)
        vExpected.push_back(static_cast<float>(i));
    EXPECT_EQ(vExpected, Order(batch));
    EXPECT_FLOAT_EQ(5.0f, batch.m_gTubeSecondPositions[0].y);

    // Mixed, with arrays shorter than the omni limit: the arrays bound both kinds together.
    batch.Reset(4);
    for (int i = 0; i < 3; ++i)
    {
        batch.Add(0.0, Omni(static_cast<float>(i)));
        batch.Add(0.0, Omni(100.0f + i, true));
    }
    EXPECT_EQ((std::vector<float>{100.0f, 101.0f, 0.0f, 1.0f}), Order(batch));

    // An effect without the arrays takes no light at all; nor is a dark light taken.
    batch.Reset(0);
    EXPECT_FALSE(batch.Add(0.0, Omni(0.0f)));
    batch.Reset(32);
    KR_OmniLight* pDark = Omni(3.0f);
    pDark->SetLightStrength(0.0f);
    EXPECT_FALSE(batch.Add(0.0, pDark));
    EXPECT_FALSE(batch.Add(0.0, nullptr));
    // Colour with the specular strength, attenuation with the strength.
    KR_OmniLight* pLight = Omni(2.0f);
    pLight->SetLightSpecularStrength(3.0f);
    pLight->SetLightStrength(2.0f);
    ASSERT_TRUE(batch.Add(0.0, pLight));
    EXPECT_EQ(3.0f, batch.m_gOmniColors[0].w);
    EXPECT_EQ(2.0f, batch.m_gOmniAttenuations[0].w);
}

TEST_F(KR_VolumeLightGeometryTest, SpotBatchTakesThreeLightsWithTheirConeAndDirection)
{
    KR_VolumeLightGeometry::SpotLightBatch batch;
    batch.Reset(3);
    KR_SpotLight* pFirst = Spot(1.0f);
    pFirst->SetLightFOV(60.0f);
    pFirst->SetLightFOVFalloff(90.0f);
    pFirst->SetShadowBias(XMFLOAT2(1.5f, 2.5f));
    pFirst->SetLightAttenuation(XMFLOAT3(0.0f, 0.5f, 0.0f));
    pFirst->SetLightStrength(4.0f);
    ASSERT_TRUE(batch.Add(0.0, pFirst));
    KR_SpotLight* pSecond = Spot(2.0f);
    pSecond->SetSpotFlags(0);
    pSecond->SetTarget(XMFLOAT3(2.0f, 0.0f, 0.0f)); // on the light: no direction
    ASSERT_TRUE(batch.Add(0.0, pSecond));
    ASSERT_TRUE(batch.Add(0.0, Spot(3.0f)));
    EXPECT_FALSE(batch.Add(0.0, Spot(4.0f)));
    ASSERT_EQ(3u, batch.GetCount());
    EXPECT_EQ(3u, batch.m_gProjections.GetNumMembers());
    EXPECT_EQ(3u, batch.m_gShadowMaps.GetNumMembers());

    const XMFLOAT4 cone = batch.m_gCones[0];
    EXPECT_NEAR(0.5f, cone.x, 1e-6f);
    EXPECT_NEAR(0.0f, cone.y, 1e-6f);
    EXPECT_NEAR(0.5f, cone.z, 1e-6f);
    EXPECT_EQ(0.0f, cone.w); // the constructor's flag is set
    EXPECT_EQ(1.0f, batch.m_gCones[1].w);
    EXPECT_EQ(1.0f, batch.m_gPositions[0].x);
    EXPECT_EQ(1.0f, batch.m_gDirections[0].z);
    EXPECT_EQ(0.0f, batch.m_gDirections[1].x + batch.m_gDirections[1].y + batch.m_gDirections[1].z);
    EXPECT_EQ(1.5f, batch.m_gShadowBiases[0].x);
    EXPECT_EQ(2.5f, batch.m_gShadowBiases[0].y);
    EXPECT_EQ(4.0f, batch.m_gAttenuations[0].w);

    // A shorter array in the effect lowers the capacity; dark lights are left out.
    batch.Reset(1);
    KR_SpotLight* pDark = Spot(5.0f);
    pDark->SetLightStrength(-1.0f);
    EXPECT_FALSE(batch.Add(0.0, pDark));
    EXPECT_TRUE(batch.Add(0.0, Spot(6.0f)));
    EXPECT_FALSE(batch.Add(0.0, Spot(7.0f)));
}

TEST_F(KR_VolumeLightGeometryTest, OmniBricksForFiniteZeroAndUnboundedRanges)
{
    const XMVECTOR vCamera = XMVectorSet(0.0f, 0.0f, -50.0f, 1.0f);
    KB_GrowingArray<XMFLOAT3> v;
    KR_OmniLight* pLight = Omni(0.0f);
    pLight->SetMaxLightDistance(5.0f);
    ASSERT_TRUE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, 100.0f));
    ExpectAxisAlignedBox(v, XMFLOAT3(-5.0f, -5.0f, -5.0f), XMFLOAT3(5.0f, 5.0f, 5.0f));

    // A constant attenuation term makes the reach unbounded: the box ends at the trace distance.
    v.RemoveAll();
    pLight->SetMaxLightDistance(-1.0f);
    pLight->SetLightAttenuation(XMFLOAT3(1.0f, 0.0f, 0.0f));
    ASSERT_EQ(FLT_MAX, pLight->GetMaxLightDistance(0.0));
    ASSERT_TRUE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, 20.0f));
    ExpectAxisAlignedBox(v, XMFLOAT3(-20.0f, -20.0f, -20.0f), XMFLOAT3(20.0f, 20.0f, 20.0f));
    // ... and with no finite trace distance there is no box, rather than one at infinity.
    v.RemoveAll();
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, INF));
    EXPECT_EQ(0u, v.GetNumMembers());

    // No reach: no box.
    pLight->SetMaxLightDistance(0.0f);
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, 100.0f));
    pLight->SetMaxLightDistance(-1.0f);
    pLight->SetLightAttenuation(XMFLOAT3(0.0f, 0.0f, 0.01f));
    pLight->SetLightStrength(0.01f); // below the threshold of the falloff
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, 100.0f));
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, nullptr, vCamera, 100.0f));
    EXPECT_EQ(0u, v.GetNumMembers());
}

TEST_F(KR_VolumeLightGeometryTest, BrickAxesSwitchForACameraStraightAboveOrOnTheLight)
{
    XMVECTOR a, b;
    KR_VolumeLightGeometry::GetBrickAxes(XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f), &a, &b);
    XMFLOAT3 fa, fb;
    XMStoreFloat3(&fa, a);
    XMStoreFloat3(&fb, b);
    ExpectNear(XMFLOAT3(0.0f, 0.0f, -1.0f), fa, 1e-6f);
    ExpectNear(XMFLOAT3(-1.0f, 0.0f, 0.0f), fb, 1e-6f);

    KR_OmniLight* pLight = Omni(0.0f);
    pLight->SetMaxLightDistance(3.0f);
    for (const XMVECTOR& vCamera :
         {XMVectorSet(0.0f, 40.0f, 0.0f, 1.0f), XMVectorSet(0.0f, -40.0f, 0.0f, 1.0f),
          XMVectorSet(0.0f, 0.0f, 0.0f, 1.0f)})
    {
        KB_GrowingArray<XMFLOAT3> v;
        ASSERT_TRUE(KR_VolumeLightGeometry::BuildOmniLightBrick(&v, 0.0, pLight, vCamera, 100.0f));
        ExpectAxisAlignedBox(v, XMFLOAT3(-3.0f, -3.0f, -3.0f), XMFLOAT3(3.0f, 3.0f, 3.0f));
    }
}

TEST_F(KR_VolumeLightGeometryTest, TubeBrickRunsPastBothEnds)
{
    KR_OmniLight* pTube = Omni(0.0f, true);
    pTube->SetTarget(XMFLOAT3(10.0f, 0.0f, 0.0f));
    pTube->SetMaxLightDistance(2.0f);
    KB_GrowingArray<XMFLOAT3> v;
    ASSERT_TRUE(KR_VolumeLightGeometry::BuildTubeLightBrick(&v, 0.0, pTube, 100.0f));
    ExpectAxisAlignedBox(v, XMFLOAT3(-2.0f, -2.0f, -2.0f), XMFLOAT3(12.0f, 2.0f, 2.0f));

    // A tube of no length is a cube around its point, not a flat box.
    v.RemoveAll();
    pTube->SetTarget(XMFLOAT3(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(KR_VolumeLightGeometry::BuildTubeLightBrick(&v, 0.0, pTube, 100.0f));
    ExpectAxisAlignedBox(v, XMFLOAT3(-2.0f, -2.0f, -2.0f), XMFLOAT3(2.0f, 2.0f, 2.0f));

    v.RemoveAll();
    pTube->SetMaxLightDistance(0.0f);
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildTubeLightBrick(&v, 0.0, pTube, 100.0f));
    EXPECT_EQ(0u, v.GetNumMembers());
}

TEST_F(KR_VolumeLightGeometryTest, SpotPyramidEndsAtTheFrustumOrTheTraceDistance)
{
    KR_SpotLight* pSpot = Spot(0.0f);
    pSpot->SetLightFOVFalloff(45.0f); // a 90 degree frustum: as wide as deep
    pSpot->SetMaxLightDistance(10.0f);
    const auto Pyramid = [&](float fTrace, float fDepth)
    {
        SCOPED_TRACE(fTrace);
        KB_GrowingArray<XMFLOAT3> v;
        ASSERT_TRUE(KR_VolumeLightGeometry::BuildSpotLightPyramid(&v, 0.0, pSpot, fTrace));
        ASSERT_EQ(KR_VolumeLightGeometry::PYRAMID_VERTEX_COUNT, v.GetNumMembers());
        const float d = fDepth;
        const XMFLOAT3 corners[4] = {{-d, d, d}, {d, d, d}, {d, -d, d}, {-d, -d, d}};
        for (std::uint32_t i = 0; i < 4; ++i)
        {
            ExpectNear(XMFLOAT3(0.0f, 0.0f, 0.0f), v[i * 3]);
            ExpectNear(corners[i], v[i * 3 + 1]);
            ExpectNear(corners[(i + 1) % 4], v[i * 3 + 2]);
        }
        const std::uint32_t BASE[6] = {0, 1, 2, 0, 2, 3};
        for (std::uint32_t i = 0; i < 6; ++i)
            ExpectNear(corners[BASE[i]], v[12 + i]);
    };
    Pyramid(100.0f, 10.0f);
    Pyramid(4.0f, 4.0f);
    // Unbounded reach: the frustum's far plane is gone; the base is at the trace distance.
    pSpot->SetMaxLightDistance(-1.0f);
    pSpot->SetLightAttenuation(XMFLOAT3(1.0f, 0.0f, 0.0f));
    Pyramid(50.0f, 50.0f);

    KB_GrowingArray<XMFLOAT3> v;
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildSpotLightPyramid(&v, 0.0, pSpot, INF));
    pSpot->SetMaxLightDistance(0.0f);
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildSpotLightPyramid(&v, 0.0, pSpot, 100.0f));
    pSpot->SetMaxLightDistance(10.0f);
    pSpot->SetTarget(XMFLOAT3(0.0f, 0.0f, 0.0f)); // no view
    EXPECT_FALSE(KR_VolumeLightGeometry::BuildSpotLightPyramid(&v, 0.0, pSpot, 100.0f));
    EXPECT_EQ(0u, v.GetNumMembers());
}
