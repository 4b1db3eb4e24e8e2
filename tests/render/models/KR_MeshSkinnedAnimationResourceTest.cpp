#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include "render/device/KR_ShaderCoreManager.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;
using modeltest::MatrixEq;
using modeltest::MatrixNear;

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
        std::vector<XMMATRIX> matrices;
        for (std::uint32_t i = 0; i < gMatrices.GetNumMembers(); ++i)
            matrices.push_back(gMatrices[i]);
        m_gUploads.push_back(matrices);
    }

    std::vector<std::vector<XMMATRIX>> m_gUploads;
};

using Bone = KR_MeshSkinnedAnimationResource;

Bone* MakeBone(const char* pName, const XMMATRIX& mLocal, KU_MatrixInterpolation* pCurve = nullptr)
{
    return new Bone(pCurve, KB_String(pName), mLocal);
}

// Root R with children A and B, A with child C; every local matrix different and non-commuting.
struct Skeleton
{
    XMMATRIX mR = XMMatrixMultiply(XMMatrixRotationZ(0.5f), XMMatrixTranslation(1.0f, 0.0f, 0.0f));
    XMMATRIX mA = XMMatrixMultiply(XMMatrixRotationX(0.25f), XMMatrixTranslation(0.0f, 2.0f, 0.0f));
    XMMATRIX mB = XMMatrixMultiply(XMMatrixScaling(2.0f, 1.0f, 1.0f), XMMatrixTranslation(0.0f, 0.0f, 3.0f));
    XMMATRIX mC = XMMatrixMultiply(XMMatrixRotationY(1.0f), XMMatrixTranslation(4.0f, 0.0f, 0.0f));
    std::unique_ptr<Bone> pRoot;
    Bone* pA = nullptr;
    Bone* pB = nullptr;
    Bone* pC = nullptr;

    Skeleton()
    {
        pRoot.reset(MakeBone("R", mR));
        pA = MakeBone("A", mA);
        pB = MakeBone("B", mB);
        pC = MakeBone("C", mC);
        pA->AddChild(pC);
        pRoot->AddChild(pA);
        pRoot->AddChild(pB);
    }
};

KB_GrowingArray<XMMATRIX> MatrixArray(std::uint32_t uiCount)
{
    KB_GrowingArray<XMMATRIX> gMatrices;
    for (std::uint32_t i = 0; i < uiCount; ++i)
        gMatrices.Add(XMMatrixTranslation(static_cast<float>(i + 1), 0.0f, 0.0f));
    return gMatrices;
}

std::vector<XMMATRIX> Fill(Bone& root, double fTime)
{
    KB_GrowingArray<XMMATRIX> gMatrices;
    root.FillBoneMatrices(fTime, XMMatrixIdentity(), gMatrices);
    std::vector<XMMATRIX> result;
    for (std::uint32_t i = 0; i < gMatrices.GetNumMembers(); ++i)
        result.push_back(gMatrices[i]);
    return result;
}

KB_LinearMatrixInterpolation* MakeCurve(double fStart, double fEnd)
{
    auto* pCurve = new KB_LinearMatrixInterpolation();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    pCurve->InsertMatrix(XMMatrixTranslation(0.0f, 0.0f, 0.0f), 0.0);
    pCurve->InsertMatrix(XMMatrixTranslation(4.0f, 8.0f, 0.0f), fEnd - fStart);
    return pCurve;
}

// A chain of uiDepth bones without keys, each the only child of the one before.
Bone* MakeChain(std::uint32_t uiDepth)
{
    Bone* pRoot = MakeBone("0", XMMatrixIdentity());
    Bone* pLast = pRoot;
    for (std::uint32_t i = 1; i < uiDepth; ++i)
    {
        Bone* pNext = MakeBone("", XMMatrixIdentity());
        pLast->AddChild(pNext);
        pLast = pNext;
    }
    return pRoot;
}

} // namespace

TEST(KR_MeshSkinnedAnimationResource, BoneOrderIsDepthFirstForNamesBindMatricesAndSkinning)
{
    Skeleton skeleton;
    EXPECT_EQ(4u, skeleton.pRoot->GetBoneCount());
    EXPECT_EQ(2u, skeleton.pA->GetBoneCount());

    KB_GrowingArray<KB_String> gNames;
    skeleton.pRoot->CollectBoneNames(gNames);
    ASSERT_EQ(4u, gNames.GetNumMembers());
    EXPECT_EQ(std::string("RACB"), std::string(gNames[0].GetBuffer()) + gNames[1].GetBuffer() +
                                       gNames[2].GetBuffer() + gNames[3].GetBuffer());
    EXPECT_EQ(KB_String("A"), skeleton.pA->GetBoneName());

    const KB_GrowingArray<XMMATRIX> gBind = MatrixArray(4);
    std::uint32_t uiIndex = 0;
    skeleton.pRoot->SetBindMatrices(gBind, &uiIndex);
    EXPECT_EQ(4u, uiIndex);
    EXPECT_TRUE(MatrixEq(skeleton.pRoot->GetBindMatrix(), gBind[0]));
    EXPECT_TRUE(MatrixEq(skeleton.pA->GetBindMatrix(), gBind[1]));
    EXPECT_TRUE(MatrixEq(skeleton.pC->GetBindMatrix(), gBind[2]));
    EXPECT_TRUE(MatrixEq(skeleton.pB->GetBindMatrix(), gBind[3]));

    // Each skinning matrix is bind x (locals from the bone up to the root, bone first).
    const XMMATRIX mGlobalR = skeleton.mR;
    const XMMATRIX mGlobalA = XMMatrixMultiply(skeleton.mA, mGlobalR);
    const XMMATRIX mGlobalC = XMMatrixMultiply(skeleton.mC, mGlobalA);
    const XMMATRIX mGlobalB = XMMatrixMultiply(skeleton.mB, mGlobalR);
    const std::vector<XMMATRIX> skinning = Fill(*skeleton.pRoot, 0.0);
    ASSERT_EQ(4u, skinning.size());
    EXPECT_TRUE(MatrixNear(skinning[0], XMMatrixMultiply(gBind[0], mGlobalR), 1e-5f));
    EXPECT_TRUE(MatrixNear(skinning[1], XMMatrixMultiply(gBind[1], mGlobalA), 1e-5f));
    EXPECT_TRUE(MatrixNear(skinning[2], XMMatrixMultiply(gBind[2], mGlobalC), 1e-5f));
    EXPECT_TRUE(MatrixNear(skinning[3], XMMatrixMultiply(gBind[3], mGlobalB), 1e-5f));
}

TEST(KR_MeshSkinnedAnimationResource, IdentityBindsGiveTheLocalsFromBoneToRoot)
{
    Skeleton skeleton;
    const std::vector<XMMATRIX> skinning = Fill(*skeleton.pRoot, 5.0);
    ASSERT_EQ(4u, skinning.size());
    const XMMATRIX mExpectedC =
        XMMatrixMultiply(XMMatrixMultiply(skeleton.mC, skeleton.mA), skeleton.mR); // bone first
    EXPECT_TRUE(MatrixNear(skinning[2], mExpectedC, 1e-5f));
    EXPECT_FALSE(MatrixNear(
        skinning[2], XMMatrixMultiply(XMMatrixMultiply(skeleton.mR, skeleton.mA), skeleton.mC), 1e-3f));
}

TEST(KR_MeshSkinnedAnimationResource, ShortAndLongBindArraysLeaveTheMismatchToTheCaller)
{
    {
        Skeleton skeleton;
        const KB_GrowingArray<XMMATRIX> gShort = MatrixArray(2);
        std::uint32_t uiIndex = 0;
        skeleton.pRoot->SetBindMatrices(gShort, &uiIndex);
        EXPECT_EQ(4u, uiIndex); // not 2: the caller's count check fails
        EXPECT_TRUE(MatrixEq(skeleton.pRoot->GetBindMatrix(), gShort[0]));
        EXPECT_TRUE(MatrixEq(skeleton.pA->GetBindMatrix(), gShort[1]));
        EXPECT_TRUE(MatrixEq(skeleton.pC->GetBindMatrix(), XMMatrixIdentity()));
        EXPECT_TRUE(MatrixEq(skeleton.pB->GetBindMatrix(), XMMatrixIdentity()));

        // A bone set before and then passed an empty array goes back to the identity.
        const KB_GrowingArray<XMMATRIX> gEmpty;
        uiIndex = 0;
        skeleton.pRoot->SetBindMatrices(gEmpty, &uiIndex);
        EXPECT_EQ(4u, uiIndex);
        EXPECT_TRUE(MatrixEq(skeleton.pA->GetBindMatrix(), XMMatrixIdentity()));
    }
    {
        Skeleton skeleton;
        const KB_GrowingArray<XMMATRIX> gLong = MatrixArray(6);
        std::uint32_t uiIndex = 0;
        skeleton.pRoot->SetBindMatrices(gLong, &uiIndex);
        EXPECT_EQ(4u, uiIndex);
        EXPECT_TRUE(MatrixEq(skeleton.pB->GetBindMatrix(), gLong[3]));
    }
}

TEST(KR_MeshSkinnedAnimationResource, KeyedCurvesDriveTheLocalAndTheInterval)
{
    std::unique_ptr<Bone> pKeyless(MakeBone("still", XMMatrixTranslation(1.0f, 1.0f, 1.0f)));
    EXPECT_EQ(0.0, pKeyless->GetStartTime());
    EXPECT_EQ(0.0, pKeyless->GetEndTime());
    ASSERT_NE(nullptr, pKeyless->GetCurve());
    XMMATRIX m;
    for (double fTime : {-3.0, 0.0, 7.5})
        EXPECT_TRUE(MatrixEq(*pKeyless->GetLocalMatrixAt(&m, fTime), XMMatrixTranslation(1.0f, 1.0f, 1.0f)));

    // Keys at local 0 and 2 on a curve starting at 1 s: the local matrix is read at t - 1.
    std::unique_ptr<Bone> pKeyed(
        MakeBone("moving", XMMatrixTranslation(9.0f, 9.0f, 9.0f), MakeCurve(1.0, 3.0)));
    EXPECT_EQ(1.0, pKeyed->GetStartTime());
    EXPECT_EQ(3.0, pKeyed->GetEndTime());
    EXPECT_TRUE(MatrixEq(*pKeyed->GetLocalMatrixAt(&m, 1.0), XMMatrixIdentity()));
    EXPECT_TRUE(MatrixEq(*pKeyed->GetLocalMatrixAt(&m, 2.0), XMMatrixTranslation(2.0f, 4.0f, 0.0f)));
    EXPECT_TRUE(MatrixEq(*pKeyed->GetLocalMatrixAt(&m, 3.0), XMMatrixTranslation(4.0f, 8.0f, 0.0f)));

    // Adding children widens the parent's interval to cover theirs.
    pKeyless->AddChild(pKeyed.release());
    EXPECT_EQ(0.0, pKeyless->GetStartTime());
    EXPECT_EQ(3.0, pKeyless->GetEndTime());
    pKeyless->AddChild(MakeBone("early", XMMatrixIdentity(), MakeCurve(-2.0, 0.5)));
    EXPECT_EQ(-2.0, pKeyless->GetStartTime());
    EXPECT_EQ(3.0, pKeyless->GetEndTime());

    const std::vector<XMMATRIX> skinning = Fill(*pKeyless, 2.0);
    ASSERT_EQ(3u, skinning.size());
    EXPECT_TRUE(MatrixEq(skinning[1], XMMatrixTranslation(3.0f, 5.0f, 1.0f)));
}

TEST(KR_MeshSkinnedAnimationResource, UploadHandsTheWholeArrayToTheShaderCoreManager)
{
    std::unique_ptr<Bone> pRoot(MakeBone("root", XMMatrixTranslation(0.0f, 1.0f, 0.0f)));
    for (int i = 0; i < 299; ++i)
        pRoot->AddChild(MakeBone("leaf", XMMatrixTranslation(static_cast<float>(i), 0.0f, 0.0f)));
    ASSERT_EQ(300u, pRoot->GetBoneCount());

    // Without an engine or a shader core manager nothing is uploaded and nothing fails.
    pRoot->UploadBoneMatrices(0.0);
    FakeShaderCoreManager shaderCore;
    {
        TestEngine engine;
        pRoot->UploadBoneMatrices(0.0);
        engine->SetShaderCoreManager(&shaderCore);
        pRoot->UploadBoneMatrices(0.0);
        pRoot->UploadBoneMatrices(1.0); // the reused buffer starts empty every time
    }
    ASSERT_EQ(2u, shaderCore.m_gUploads.size());
    for (const std::vector<XMMATRIX>& upload : shaderCore.m_gUploads)
    {
        ASSERT_EQ(300u, upload.size());
        EXPECT_TRUE(MatrixEq(upload[0], XMMatrixTranslation(0.0f, 1.0f, 0.0f)));
        EXPECT_TRUE(MatrixEq(upload[299], XMMatrixTranslation(298.0f, 1.0f, 0.0f)));
    }
}

TEST(KR_MeshSkinnedAnimationResource, ByteFormRoundTripKeepsTreeCurvesAndStoredIntervals)
{
    Skeleton skeleton;
    skeleton.pB->AddChild(MakeBone("keyed", XMMatrixRotationZ(0.3f), MakeCurve(0.5, 2.5)));
    std::uint32_t uiIndex = 0;
    skeleton.pRoot->SetBindMatrices(MatrixArray(5), &uiIndex);
    // Narrower than the keyed grandchild's 0.5 to 2.5: the reader must not widen it.
    skeleton.pRoot->SetStartTime(1.0);
    skeleton.pRoot->SetEndTime(2.0);

    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*skeleton.pRoot);
    modeltest::ExpectSerializeNeedsExactly(*skeleton.pRoot, bytes.size());

    Bone read;
    ASSERT_TRUE(modeltest::Deserialize(read, bytes));
    EXPECT_EQ(5u, read.GetBoneCount());
    EXPECT_EQ(1.0, read.GetStartTime());
    EXPECT_EQ(2.0, read.GetEndTime());
    EXPECT_EQ(KB_String("R"), read.GetBoneName());
    const Bone* pKeyed = read.GetChild(1)->GetChild(0);
    ASSERT_NE(nullptr, pKeyed);
    EXPECT_EQ(KB_String("keyed"), pKeyed->GetBoneName());
    EXPECT_EQ(2u, pKeyed->GetCurve()->GetNumMatrices());
    EXPECT_EQ(0.5, pKeyed->GetStartTime());
    EXPECT_TRUE(MatrixEq(read.GetChild(0)->GetChild(0)->GetLocalMatrix(), skeleton.mC));
    EXPECT_TRUE(MatrixEq(read.GetChild(0)->GetChild(0)->GetBindMatrix(), skeleton.pC->GetBindMatrix()));
    EXPECT_EQ(nullptr, read.GetChild(2));
    for (double fTime : {0.0, 0.5, 1.25, 2.5, 4.0})
    {
        const std::vector<XMMATRIX> expected = Fill(*skeleton.pRoot, fTime);
        const std::vector<XMMATRIX> actual = Fill(read, fTime);
        ASSERT_EQ(expected.size(), actual.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(MatrixEq(actual[i], expected[i])) << "bone " << i << " at " << fTime;
    }

    // Written again, the record is the same bytes.
    EXPECT_EQ(bytes, modeltest::Serialize(read));
}

TEST(KR_MeshSkinnedAnimationResource, TruncatedRecordsFailAndChangeNothing)
{
    Skeleton skeleton;
    skeleton.pB->AddChild(MakeBone("keyed", XMMatrixRotationZ(0.3f), MakeCurve(0.5, 2.5)));
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(*skeleton.pRoot);

    Bone target(nullptr, KB_String("target"), XMMatrixTranslation(1.0f, 2.0f, 3.0f));
    target.AddChild(MakeBone("child", XMMatrixIdentity()));
    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
    {
        ASSERT_FALSE(modeltest::Deserialize(target, bytes, uiLength)) << "length " << uiLength;
        ASSERT_EQ(2u, target.GetBoneCount());
        EXPECT_EQ(KB_String("target"), target.GetBoneName());
        EXPECT_TRUE(MatrixEq(target.GetLocalMatrix(), XMMatrixTranslation(1.0f, 2.0f, 3.0f)));
    }
}

TEST(KR_MeshSkinnedAnimationResource, HostileCountsAndDepthsFailCleanly)
{
    // A lone bone without keys: interval, curve record, child count, matrices, name.
    std::unique_ptr<Bone> pLeaf(MakeBone("", XMMatrixIdentity()));
    const std::vector<std::uint8_t> leaf = modeltest::Serialize(*pLeaf);
    const std::uint64_t uiCountOffset = leaf.size() - 4 - 128 - 1;
    Bone target(nullptr, KB_String("target"), XMMatrixIdentity());

    for (std::uint32_t uiCount : {0xFFFFFFFFu, 0x80000000u, 1000000u, 1u})
    {
        std::vector<std::uint8_t> hostile = leaf;
        std::memcpy(hostile.data() + uiCountOffset, &uiCount, 4);
        EXPECT_FALSE(modeltest::Deserialize(target, hostile)) << "child count " << uiCount;
        EXPECT_EQ(1u, target.GetBoneCount());
        EXPECT_EQ(KB_String("target"), target.GetBoneName());
    }

    // Three children promised where two (with long names) and the parent's tail follow: the count
    // passes the size check, the third child runs into the parent's tail and out of bytes.
    {
        const std::string sLongName(200, 'x');
        std::unique_ptr<Bone> pParent(MakeBone("p", XMMatrixIdentity()));
        pParent->AddChild(MakeBone(sLongName.c_str(), XMMatrixIdentity()));
        pParent->AddChild(MakeBone(sLongName.c_str(), XMMatrixIdentity()));
        std::vector<std::uint8_t> bytes = modeltest::Serialize(*pParent);
        const std::uint32_t uiThree = 3;
        std::memcpy(bytes.data() + uiCountOffset, &uiThree, 4);
        EXPECT_FALSE(modeltest::Deserialize(target, bytes));
        EXPECT_EQ(1u, target.GetBoneCount());
    }

    // Nesting: MAX_DEPTH levels are read, one more fails (without running out of stack).
    std::unique_ptr<Bone> pDeepest(MakeChain(Bone::MAX_DEPTH));
    ASSERT_TRUE(modeltest::Deserialize(target, modeltest::Serialize(*pDeepest)));
    EXPECT_EQ(Bone::MAX_DEPTH, target.GetBoneCount());
    std::unique_ptr<Bone> pTooDeep(MakeChain(Bone::MAX_DEPTH + 1));
    EXPECT_FALSE(modeltest::Deserialize(target, modeltest::Serialize(*pTooDeep)));
    EXPECT_EQ(Bone::MAX_DEPTH, target.GetBoneCount());
}
