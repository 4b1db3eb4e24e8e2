#include "render/models/KR_ModelResourceDX11.h"

#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/models/KR_MeshResource.h"
#include "tests/render/models/ModelTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

// A node with fixed answers that logs its draws.
class FakeNode : public KR_MeshResource
{
public:
    FakeNode(std::vector<std::string>* pLog, std::string sName, std::uint32_t uiTriangles)
        : m_pLog(pLog), m_sName(std::move(sName)), m_uiTriangles(uiTriangles)
    {
    }
    double GetStartTime() override { return m_bAnimated ? m_fStart : KR_MeshResource::GetStartTime(); }
    double GetEndTime() override { return m_bAnimated ? m_fEnd : KR_MeshResource::GetEndTime(); }
    void Render(double, KR_RenderPass pass, const XMMATRIX*, const XMMATRIX*,
                std::uint32_t uiInstances) override
    {
        if (m_pLog != nullptr)
            m_pLog->push_back(m_sName + " " + std::to_string(pass) + " " + std::to_string(uiInstances));
    }
    std::uint32_t GetTriangleCount() override { return m_uiTriangles; }

    bool m_bAnimated = false;
    bool m_bSkinned = false;
    double m_fStart = 0.0;
    double m_fEnd = 0.0;

protected:
    bool HasOwnAnimation() const override { return m_bAnimated; }
    bool HasOwnSkinnedAnimation() const override { return m_bSkinned; }
    bool DeserializeAtDepth(const std::uint8_t**, const std::uint8_t*, std::uint32_t) override
    {
        return false;
    }
    KR_MeshResource* CreateEmptyNode() const override { return nullptr; }

private:
    std::vector<std::string>* m_pLog;
    std::string m_sName;
    std::uint32_t m_uiTriangles;
};

} // namespace

TEST(KR_ModelResourceDX11, ModelWideValuesComeFromTheTopLevelNodes)
{
    std::vector<std::string> vLog;
    auto* pStatic = new FakeNode(&vLog, "static", 4);
    pStatic->SetCenter(XMVectorSet(0, 0, 0, 0));
    KR_BoundingBox box(XMVectorSet(-1, 0, 0, 0), XMVectorSet(1, 1, 1, 0));
    pStatic->SetBoundingBox(&box);
    auto* pAnimated = new FakeNode(&vLog, "animated", 6);
    pAnimated->m_bAnimated = true;
    pAnimated->m_fStart = 2.0;
    pAnimated->m_fEnd = 5.0;
    pAnimated->SetCenter(XMVectorSet(2, 4, 6, 0));
    ASSERT_TRUE(pAnimated->AddChild(new FakeNode(&vLog, "child", 100))); // not counted
    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(pStatic);
    gNodes.Add(pAnimated);
    KR_ModelResourceDX11 model(gNodes);

    EXPECT_TRUE(model.HasAnimation());
    EXPECT_FALSE(model.HasSkinnedAnimation()); // a node animation only
    EXPECT_EQ(2.0, model.GetStartTime());
    EXPECT_EQ(5.0, model.GetEndTime());
    EXPECT_EQ(3.0, model.GetDuration());
    EXPECT_EQ(10u, model.GetTriangleCount());
    const XMVECTOR vCenter = model.GetCenter();
    EXPECT_EQ(std::vector<float>({1, 2, 3, 0}), std::vector<float>(vCenter.f, vCenter.f + 4));
    XMVECTOR vMin;
    XMVECTOR vMax;
    model.GetBoundingBox()->GetMinMax(&vMin, &vMax);
    EXPECT_EQ(-1.0f, vMin.f[0]);
    EXPECT_EQ(1.0f, vMax.f[2]);

    model.Render(0.0, KR_RENDER_PASS_SHADOW_MAP, nullptr, nullptr, 3);
    EXPECT_EQ(std::vector<std::string>({"static 1 3", "animated 1 3"}), vLog);

    KR_ModelResourceDX11 empty;
    EXPECT_FALSE(empty.HasAnimation());
    EXPECT_EQ(std::numeric_limits<double>::max(), empty.GetStartTime());
    EXPECT_EQ(-std::numeric_limits<double>::max(), empty.GetEndTime());
    EXPECT_EQ(0.0, empty.GetDuration());
    ASSERT_NE(nullptr, empty.GetBoundingBox());
    EXPECT_TRUE(empty.GetBoundingBox()->IsEmpty());
}

TEST(KR_ModelResourceDX11, TheEmptyModelRecordRoundTripsAndRefusesTruncation)
{
    KR_ModelResourceDX11 model;
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(model);
    EXPECT_EQ(4u + 1 + 1 + 4 + 16 + 32, bytes.size());
    KR_ModelResourceDX11 copy;
    ASSERT_TRUE(modeltest::Deserialize(copy, bytes));
    EXPECT_TRUE(copy.GetBoundingBox()->IsEmpty());
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
        EXPECT_FALSE(modeltest::Deserialize(copy, bytes, uiLength)) << uiLength;
}

TEST(KR_ManagedModelResourceDX11, ForwardsToTheHeldModelAndActsEmptyWithoutOne)
{
    KR_ManagedModelResourceDX11 none(nullptr);
    none.Render(0.0, KR_RENDER_PASS_COLOR, nullptr, nullptr, 1); // nothing to draw, no crash
    EXPECT_EQ(0u, none.GetTriangleCount());
    EXPECT_EQ(0.0, none.GetDuration());
    EXPECT_EQ(std::numeric_limits<double>::max(), none.GetStartTime());

    std::vector<std::string> vLog;
    KB_GrowingArray<KR_MeshResource*> gFirst;
    gFirst.Add(new FakeNode(&vLog, "placeholder", 1));
    KB_GrowingArray<KR_MeshResource*> gSecond;
    gSecond.Add(new FakeNode(&vLog, "loaded", 7));
    KR_ModelResourceDX11 placeholder(gFirst);
    KR_ModelResourceDX11 loaded(gSecond);
    {
        KR_ManagedModelResourceDX11 proxy(&placeholder);
        proxy.Render(0.0, KR_RENDER_PASS_COLOR, nullptr, nullptr, 1);
        proxy.SetModelResource(&loaded);
        proxy.Render(0.0, KR_RENDER_PASS_COLOR, nullptr, nullptr, 1);
        EXPECT_EQ(7u, proxy.GetTriangleCount());
    }
    // The proxy's end leaves both models alive.
    EXPECT_EQ(1u, placeholder.GetTriangleCount());
    EXPECT_EQ(std::vector<std::string>({"placeholder 0 1", "loaded 0 1"}), vLog);
}

TEST(KR_ModelResourceDX11, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    // The nodes' own records are their tests'; here the model's count, flags, centre and box.
    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(new FakeNode(nullptr, "a", 4));
    gNodes.Add(new FakeNode(nullptr, "b", 6));
    const KR_ModelResourceDX11 model(gNodes);
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(model));
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(KR_ModelResourceDX11()));
}
