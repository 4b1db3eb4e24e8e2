#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include "render/device/KR_ShaderCoreManager.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/FailingAllocation.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;
using modeltest::MatrixNear;
using Bone = KR_MeshSkinnedAnimationResource;

namespace
{

// Records every array it is handed.
class FakeShaderCoreManager : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void SetBoneMatrices(const KB_GrowingArray<XMMATRIX>& gMatrices) override
    {
        m_gUploads.emplace_back(&gMatrices[0], &gMatrices[0] + gMatrices.GetNumMembers());
    }

    std::vector<std::vector<XMMATRIX>> m_gUploads;
};

Bone* MakeBone(const char* pName, const XMMATRIX& mLocal, KU_MatrixInterpolation* pCurve = nullptr)
{
    return new Bone(pCurve, KB_String(pName), mLocal);
}

// Keys translating from the origin to (4, 8, 0) over fStart to fEnd.
KB_LinearMatrixInterpolation* MakeCurve(double fStart, double fEnd)
{
    auto* pCurve = new KB_LinearMatrixInterpolation();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    pCurve->InsertMatrix(XMMatrixIdentity(), 0.0);
    pCurve->InsertMatrix(XMMatrixTranslation(4, 8, 0), fEnd - fStart);
    return pCurve;
}

// Root R with children A and B, A with child C; local matrices that do not commute.
struct Skeleton
{
    XMMATRIX mR = XMMatrixMultiply(XMMatrixRotationZ(0.5f), XMMatrixTranslation(1, 0, 0));
    XMMATRIX mA = XMMatrixMultiply(XMMatrixRotationX(0.25f), XMMatrixTranslation(0, 2, 0));
    XMMATRIX mB = XMMatrixMultiply(XMMatrixScaling(2, 1, 1), XMMatrixTranslation(0, 0, 3));
    XMMATRIX mC = XMMatrixMultiply(XMMatrixRotationY(1.0f), XMMatrixTranslation(4, 0, 0));
    std::unique_ptr<Bone> pRoot{MakeBone("R", mR)};
    Bone* pA = MakeBone("A", mA);
    Bone* pB = MakeBone("B", mB);
    Bone* pC = MakeBone("C", mC);

    Skeleton()
    {
        pA->AddChild(pC);
        pRoot->AddChild(pA);
        pRoot->AddChild(pB);
    }
};

KB_GrowingArray<XMMATRIX> Translations(std::uint32_t uiCount)
{
    KB_GrowingArray<XMMATRIX> gMatrices;
    for (std::uint32_t i = 0; i < uiCount; ++i)
        gMatrices.Add(XMMatrixTranslation(static_cast<float>(i + 1), 0, 0));
    return gMatrices;
}

std::vector<XMMATRIX> Fill(Bone& root, double fTime)
{
    KB_GrowingArray<XMMATRIX> gMatrices;
    root.FillBoneMatrices(fTime, XMMatrixIdentity(), gMatrices);
    return std::vector<XMMATRIX>(&gMatrices[0], &gMatrices[0] + gMatrices.GetNumMembers());
}

} // namespace

TEST(KR_MeshSkinnedAnimationResource, BoneOrderIsDepthFirstForNamesBindMatricesAndSkinning)
{
    Skeleton s;
    EXPECT_EQ(4u, s.pRoot->GetBoneCount());
    KB_GrowingArray<KB_String> gNames;
    s.pRoot->CollectBoneNames(gNames);
    ASSERT_EQ(4u, gNames.GetNumMembers());
    EXPECT_EQ("RACB", std::string(gNames[0].GetBuffer()) + gNames[1].GetBuffer() + gNames[2].GetBuffer() +
                          gNames[3].GetBuffer());

    // With identity binds each skinning matrix is the product of the locals from the bone up to
    // the root, bone first.
    const XMMATRIX mGlobalA = XMMatrixMultiply(s.mA, s.mR);
    const XMMATRIX mGlobal[4] = {s.mR, mGlobalA, XMMatrixMultiply(s.mC, mGlobalA),
                                 XMMatrixMultiply(s.mB, s.mR)};
    std::vector<XMMATRIX> skinning = Fill(*s.pRoot, 5.0);
    ASSERT_EQ(4u, skinning.size());
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(MatrixNear(skinning[i], mGlobal[i], 1e-5f)) << "bone " << i;

    const KB_GrowingArray<XMMATRIX> gBind = Translations(4);
    std::uint32_t uiIndex = 0;
    s.pRoot->SetBindMatrices(gBind, &uiIndex);
    EXPECT_EQ(4u, uiIndex);
    EXPECT_TRUE(MatrixNear(s.pC->GetBindMatrix(), gBind[2]));
    skinning = Fill(*s.pRoot, 5.0);
    for (std::uint32_t i = 0; i < 4; ++i)
        EXPECT_TRUE(MatrixNear(skinning[i], XMMatrixMultiply(gBind[i], mGlobal[i]), 1e-5f)) << "bone " << i;
}

TEST(KR_MeshSkinnedAnimationResource, ShortAndLongBindArraysLeaveTheMismatchToTheCaller)
{
    Skeleton s;
    std::uint32_t uiIndex = 0;
    s.pRoot->SetBindMatrices(Translations(6), &uiIndex);
    EXPECT_EQ(4u, uiIndex);
    EXPECT_TRUE(MatrixNear(s.pB->GetBindMatrix(), XMMatrixTranslation(4, 0, 0)));

    uiIndex = 0;
    s.pRoot->SetBindMatrices(Translations(2), &uiIndex);
    EXPECT_EQ(4u, uiIndex); // not 2: the caller's count check fails
    EXPECT_TRUE(MatrixNear(s.pA->GetBindMatrix(), XMMatrixTranslation(2, 0, 0)));
    EXPECT_TRUE(MatrixNear(s.pC->GetBindMatrix(), XMMatrixIdentity()));
    EXPECT_TRUE(MatrixNear(s.pB->GetBindMatrix(), XMMatrixIdentity()));
}

TEST(KR_MeshSkinnedAnimationResource, KeyedCurvesDriveTheLocalMatrixAndTheInterval)
{
    std::unique_ptr<Bone> pRoot(MakeBone("still", XMMatrixTranslation(1, 1, 1)));
    EXPECT_TRUE(pRoot->GetStartTime() == 0.0 && pRoot->GetEndTime() == 0.0);
    XMMATRIX m;
    EXPECT_TRUE(MatrixNear(*pRoot->GetLocalMatrixAt(&m, 7.5), XMMatrixTranslation(1, 1, 1)));

    // Keys at local 0 and 2 on a curve starting at 1 s: read at t - 1, the fixed local unused.
    Bone* pKeyed = MakeBone("moving", XMMatrixTranslation(9, 9, 9), MakeCurve(1.0, 3.0));
    EXPECT_TRUE(pKeyed->GetStartTime() == 1.0 && pKeyed->GetEndTime() == 3.0);
    EXPECT_TRUE(MatrixNear(*pKeyed->GetLocalMatrixAt(&m, 1.0), XMMatrixIdentity()));
    EXPECT_TRUE(MatrixNear(*pKeyed->GetLocalMatrixAt(&m, 2.0), XMMatrixTranslation(2, 4, 0)));

    pRoot->AddChild(pKeyed);
    pRoot->AddChild(MakeBone("early", XMMatrixIdentity(), MakeCurve(-2.0, 0.5)));
    EXPECT_TRUE(pRoot->GetStartTime() == -2.0 && pRoot->GetEndTime() == 3.0);
    EXPECT_TRUE(MatrixNear(Fill(*pRoot, 2.0)[1], XMMatrixTranslation(3, 5, 1)));
}

TEST(KR_MeshSkinnedAnimationResource, UploadHandsTheWholeArrayToTheShaderCoreManager)
{
    std::unique_ptr<Bone> pRoot(MakeBone("root", XMMatrixTranslation(0, 1, 0)));
    for (int i = 0; i < 299; ++i)
        pRoot->AddChild(MakeBone("leaf", XMMatrixTranslation(static_cast<float>(i), 0, 0)));

    pRoot->UploadBoneMatrices(0.0); // no engine: nothing to do, nothing fails
    FakeShaderCoreManager shaderCore;
    {
        TestEngine engine;
        pRoot->UploadBoneMatrices(0.0); // no shader core manager
        engine->SetShaderCoreManager(&shaderCore);
        pRoot->UploadBoneMatrices(0.0);
        pRoot->UploadBoneMatrices(1.0); // the reused buffer starts empty each time
    }
    ASSERT_EQ(2u, shaderCore.m_gUploads.size());
    for (const std::vector<XMMATRIX>& upload : shaderCore.m_gUploads)
    {
        ASSERT_EQ(300u, upload.size());
        EXPECT_TRUE(MatrixNear(upload[299], XMMatrixTranslation(298, 1, 0)));
    }
}

TEST(KR_MeshSkinnedAnimationResource, ByteFormRoundTripKeepsTreeCurvesAndStoredIntervals)
{
    Skeleton s;
    s.pB->AddChild(MakeBone("keyed", XMMatrixRotationZ(0.3f), MakeCurve(0.5, 2.5)));
    std::uint32_t uiIndex = 0;
    s.pRoot->SetBindMatrices(Translations(5), &uiIndex);
    s.pRoot->SetStartTime(1.0); // narrower than the keyed bone's 0.5 to 2.5: not to be widened
    s.pRoot->SetEndTime(2.0);
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*s.pRoot);

    Bone read;
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_EQ(5u, read.GetBoneCount());
    EXPECT_TRUE(read.GetStartTime() == 1.0 && read.GetEndTime() == 2.0);
    const Bone* pKeyed = read.GetChild(1)->GetChild(0);
    ASSERT_NE(nullptr, pKeyed);
    EXPECT_EQ(KB_String("keyed"), pKeyed->GetBoneName());
    EXPECT_EQ(2u, pKeyed->GetCurve()->GetNumMatrices());
    for (double fTime : {0.0, 1.25, 4.0})
    {
        const std::vector<XMMATRIX> expected = Fill(*s.pRoot, fTime);
        const std::vector<XMMATRIX> actual = Fill(read, fTime);
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(MatrixNear(actual[i], expected[i])) << "bone " << i << " at " << fTime;
    }
    EXPECT_EQ(bytes, modeltest::Serialize(read, false));
}

TEST(KR_MeshSkinnedAnimationResource, TruncatedAndHostileRecordsFailAndChangeNothing)
{
    Skeleton s;
    s.pB->AddChild(MakeBone(std::string(200, 'x').c_str(), XMMatrixIdentity(), MakeCurve(0.5, 2.5)));
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*s.pRoot, false);
    std::vector<std::vector<std::uint8_t>> bad;
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
        bad.emplace_back(bytes.begin(), bytes.begin() + uiLength);

    // The root's child count follows its interval and its (key-less) curve record. 3 passes the
    // size check but the third child runs into the root's tail; the others fail the check.
    const std::uint64_t uiCountOffset = 16 + modeltest::Serialize(*s.pRoot->GetCurve(), false).size();
    for (std::uint32_t uiCount : {3u, 1000u, 0x80000000u, 0xFFFFFFFFu})
    {
        bad.push_back(bytes);
        std::memcpy(bad.back().data() + uiCountOffset, &uiCount, 4);
    }
    // One level deeper than allowed: a chain of bones, each the only child of the one before,
    // written by wrapping a leaf's record (the writer itself refuses such a tree).
    std::unique_ptr<Bone> pLeaf(MakeBone("", XMMatrixIdentity()));
    const std::vector<std::uint8_t> leaf = modeltest::Serialize(*pLeaf, false);
    const std::uint64_t uiLeafCount = 16 + modeltest::Serialize(*pLeaf->GetCurve(), false).size();
    auto chain = [&](std::uint32_t uiDepth)
    {
        std::vector<std::uint8_t> record = leaf;
        for (std::uint32_t i = 1; i < uiDepth; ++i)
        {
            std::vector<std::uint8_t> outer(leaf.begin(), leaf.begin() + uiLeafCount);
            const std::uint8_t aOne[4] = {1, 0, 0, 0};
            outer.insert(outer.end(), aOne, aOne + 4);
            outer.insert(outer.end(), record.begin(), record.end());
            outer.insert(outer.end(), leaf.begin() + uiLeafCount + 4, leaf.end());
            record = std::move(outer);
        }
        return record;
    };
    bad.push_back(chain(Bone::MAX_DEPTH + 1));

    Bone target(nullptr, KB_String("target"), XMMatrixTranslation(1, 2, 3));
    target.AddChild(MakeBone("child", XMMatrixIdentity()));
    for (const std::vector<std::uint8_t>& record : bad)
    {
        ASSERT_FALSE(modeltest::Deserialize(target, record)) << "record of " << record.size() << " bytes";
        ASSERT_EQ(2u, target.GetBoneCount());
        ASSERT_EQ(KB_String("target"), target.GetBoneName());
        ASSERT_TRUE(MatrixNear(target.GetLocalMatrix(), XMMatrixTranslation(1, 2, 3)));
    }
    ASSERT_TRUE(modeltest::Deserialize(target, chain(Bone::MAX_DEPTH)));
    EXPECT_EQ(Bone::MAX_DEPTH, target.GetBoneCount());

    // The writer refuses the tree the reader would refuse, and writes nothing.
    Bone* pDeepest = &target;
    while (pDeepest->GetNumChildren() != 0)
        pDeepest = pDeepest->GetChild(0);
    pDeepest->AddChild(MakeBone("", XMMatrixIdentity()));
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint8_t* pCursor = buffer.data();
    std::uint64_t uiWritten = 0;
    EXPECT_FALSE(target.Serialize(&pCursor, buffer.size(), &uiWritten));
    EXPECT_EQ(buffer.data(), pCursor);
    EXPECT_EQ(0u, uiWritten);
}

// A bone or bone curve that cannot be allocated fails the record as a bad one does; a bone made
// without its curve keeps its local matrix and has no record to write.
TEST(KR_MeshSkinnedAnimationResource, BonesThatCannotBeAllocatedFailTheRecordAndChangeNothing)
{
    Skeleton s;
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*s.pRoot);
    Bone target(nullptr, KB_String("target"), XMMatrixTranslation(1, 2, 3));
    for (std::size_t uiSize : {sizeof(Bone), sizeof(KB_LinearMatrixInterpolation)})
    {
        FailingAllocation failing(uiSize);
        EXPECT_FALSE(modeltest::Deserialize(target, bytes)) << "objects of " << uiSize << " bytes";
        EXPECT_GE(failing.GetFailures(), 1u);
        EXPECT_EQ(1u, target.GetBoneCount());
        EXPECT_EQ(KB_String("target"), target.GetBoneName());
    }

    std::unique_ptr<Bone> pBare;
    {
        FailingAllocation failing(sizeof(KB_LinearMatrixInterpolation));
        pBare = std::make_unique<Bone>(nullptr, KB_String("bare"), XMMatrixTranslation(4, 5, 6));
    }
    XMMATRIX m;
    EXPECT_TRUE(MatrixNear(*pBare->GetLocalMatrixAt(&m, 1.0), XMMatrixTranslation(4, 5, 6)));
    std::uint8_t buffer[256];
    std::uint8_t* pCursor = buffer;
    std::uint64_t uiWritten = 0;
    EXPECT_FALSE(pBare->Serialize(&pCursor, sizeof(buffer), &uiWritten));
    EXPECT_TRUE(pCursor == buffer && uiWritten == 0);
}

TEST(KR_MeshSkinnedAnimationResource, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    Skeleton s;
    s.pB->AddChild(MakeBone("keyed", XMMatrixRotationZ(0.3f), MakeCurve(0.5, 2.5)));
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(*s.pRoot));
}
