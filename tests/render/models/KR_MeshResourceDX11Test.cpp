#include "render/models/KR_MeshResourceDX11.h"

#include "framework/app/KU_ApplicationFactory.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_Mesh.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

const char* const LIBRARY_PATH = "Assets/Materials/Test_Materials.xml";

// Hands out a new program per request, tagged with the request's number (1, 2, ...).
class TaggingResources : public NullResourceManager
{
public:
    KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties*) override
    {
        m_programs.emplace_back();
        m_programs.back().m_pVertexShader = reinterpret_cast<ID3D11VertexShader*>(m_programs.size());
        return &m_programs.back();
    }
    ID3D11InputLayout* GetInputLayout(const std::uint8_t* pFormat) override
    {
        m_vLayoutFormats.push_back(*pFormat);
        return nullptr;
    }
    std::deque<KR_ShaderProgram> m_programs;
    std::vector<std::uint8_t> m_vLayoutFormats;
};

// Writes what the nodes ask of it into one log, with the world matrices aside.
class LogCore : public KR_ShaderCoreManager
{
public:
    explicit LogCore(std::vector<std::string>& vLog) : m_vLog(vLog) {}
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void SetObjectMatrix0(const XMMATRIX&) override { m_vLog.push_back("Obj0"); }
    void SetObjectMatrix1(const XMMATRIX&) override { m_vLog.push_back("Obj1"); }
    void SetWorldMatrix(const XMMATRIX& m) override
    {
        m_vLog.push_back("World");
        m_vWorld.push_back(m);
    }
    void SetWorldViewProjectionMatrix(const XMMATRIX& m) override
    {
        m_vLog.push_back("WVP");
        m_vWorldViewProjection.push_back(m);
    }
    void SetInputLayout(ID3D11InputLayout*) override { m_vLog.push_back("Layout"); }
    void SetPrimitiveTopology(KR_PrimitiveTopology topology) override
    {
        m_vLog.push_back("Topology " + std::to_string(topology));
    }
    void ApplyShaderProgram(const KR_ShaderProgram* pProgram) override
    {
        m_vLog.push_back("Program " + std::to_string(pProgram != nullptr ? reinterpret_cast<std::uintptr_t>(
                                                                               pProgram->m_pVertexShader)
                                                                         : 0));
    }
    void SetBoneMatrices(const KB_GrowingArray<XMMATRIX>& gMatrices) override
    {
        m_vLog.push_back("Bones " + std::to_string(gMatrices.GetNumMembers()));
    }
    std::vector<std::string>& m_vLog;
    std::vector<XMMATRIX> m_vWorld;
    std::vector<XMMATRIX> m_vWorldViewProjection;
};

// A mesh of some subsets that logs its draws.
class LogMesh : public KR_Mesh
{
public:
    LogMesh(std::vector<std::string>& vLog, std::uint32_t uiSubsets) : m_vLog(vLog), m_uiSubsets(uiSubsets) {}
    void DrawSubset(std::uint32_t uiSubset, std::uint32_t uiInstances) override
    {
        m_vLog.push_back("Draw " + std::to_string(uiSubset) + " " + std::to_string(uiInstances));
    }
    void SetVertices(const void*) override {}
    void SetIndices(const std::uint32_t*) override {}
    void SetAttributes(const std::uint32_t*) override {}
    bool BuildSubsets() override { return true; }
    bool CreateBuffers() override { return true; }
    std::uint32_t GetSubsetCount() const override { return m_uiSubsets; }
    std::uint32_t GetTriangleCount() const override { return 10 * m_uiSubsets; }
    bool Serialize(std::uint8_t**, std::uint64_t, std::uint64_t*) const override { return false; }
    bool Deserialize(const std::uint8_t**, const std::uint8_t*) override { return false; }

private:
    std::vector<std::string>& m_vLog;
    std::uint32_t m_uiSubsets;
};

KB_GrowingArray<KB_String> Names(std::initializer_list<const char*> names)
{
    KB_GrowingArray<KB_String> gNames;
    for (const char* pName : names)
        gNames.Add(KB_String(pName));
    return gNames;
}

template <typename Curve>
Curve* Constant(const XMVECTOR& v, double fStart, double fEnd)
{
    auto* pCurve = new Curve();
    pCurve->SetStartTime(fStart);
    pCurve->SetEndTime(fEnd);
    if constexpr (std::is_same_v<Curve, KB_RotationInterpolation>)
        pCurve->InsertQuaternion(v, 0.0);
    else
        pCurve->InsertVertex(v, 0.0);
    return pCurve;
}

// Moves the node to (1, 2, 3) from fStart to fEnd.
KR_MeshAnimationResource* MakeAnimation(double fStart, double fEnd)
{
    return new KR_MeshAnimationResource(
        Constant<KB_LinearInterpolation>(XMVectorSet(1, 2, 3, 0), fStart, fEnd),
        Constant<KB_LinearInterpolation>(XMVectorSet(1, 1, 1, 0), fStart, fEnd),
        Constant<KB_RotationInterpolation>(XMQuaternionIdentity(), fStart, fEnd));
}

KR_MeshSkinnedAnimationResource* MakeSkeleton()
{
    auto* pCurve = new KB_LinearMatrixInterpolation();
    pCurve->SetStartTime(1.0);
    pCurve->SetEndTime(4.0);
    pCurve->InsertMatrix(XMMatrixIdentity(), 0.0);
    pCurve->InsertMatrix(XMMatrixTranslation(4, 8, 0), 3.0);
    auto* pRoot = new KR_MeshSkinnedAnimationResource(pCurve, KB_String("Hip"), XMMatrixIdentity());
    pRoot->AddChild(
        new KR_MeshSkinnedAnimationResource(nullptr, KB_String("Knee"), XMMatrixTranslation(0, -1, 0)));
    return pRoot;
}

// A drawable mesh of one triangle per subset (needs a device for its buffers).
KR_MeshDX11* MakeMesh(std::uint32_t uiSubsets)
{
    auto* pMesh = new KR_MeshDX11();
    EXPECT_TRUE(pMesh->Allocate(12, 3, uiSubsets));
    std::vector<float> vPositions(9, 0.5f);
    std::vector<std::uint32_t> vIndices(3 * uiSubsets, 1);
    std::vector<std::uint32_t> vIds;
    for (std::uint32_t i = 0; i < uiSubsets; ++i)
        vIds.push_back(i);
    pMesh->SetVertices(vPositions.data());
    pMesh->SetIndices(vIndices.data());
    pMesh->SetAttributes(vIds.data());
    EXPECT_TRUE(pMesh->BuildSubsets());
    EXPECT_TRUE(pMesh->CreateBuffers());
    return pMesh;
}

class KR_MeshResourceDX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pMemory->SetFile(LIBRARY_PATH, R"(<material_library><material id="Stone"/><material id="Glass"/>
            <material id="Skin" skinnedAnimation="1"/></material_library>)");
        m_files.Install();
        ASSERT_TRUE(m_materials.LoadMaterialLibrary());
        m_engine->SetMaterialManager(&m_materials);
        m_engine->SetGraphicsResourceManager(&m_resources);
        m_engine->SetShaderCoreManager(&m_core);
    }
    void TearDown() override
    {
        m_engine->SetShaderCoreManager(nullptr);
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetMaterialManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    KR_MeshResourceDX11* Node(std::initializer_list<const char*> names, std::uint32_t uiSubsets,
                              KR_MeshSkinnedAnimationResource* pSkeleton = nullptr)
    {
        return new KR_MeshResourceDX11(new LogMesh(m_vLog, uiSubsets), Names(names), nullptr, pSkeleton,
                                       0x0B);
    }

    TestEngine m_engine{new LibraryFactory(LIBRARY_PATH)};
    MemoryFiles m_files;
    MemoryRepository* m_pMemory = m_files.GetRepository();
    KR_MaterialManager m_materials;
    TaggingResources m_resources;
    std::vector<std::string> m_vLog;
    LogCore m_core{m_vLog};
};

// A node without mesh or materials.
KR_MeshResourceDX11* Bare()
{
    return new KR_MeshResourceDX11(nullptr, KB_GrowingArray<KB_String>(), nullptr, nullptr, 1);
}

} // namespace

TEST_F(KR_MeshResourceDX11Test, ChildrenFormATreeWithoutCyclesOrSharedNodes)
{
    KR_MeshResourceDX11 root;
    KR_MeshResourceDX11* pA = Bare();
    KR_MeshResourceDX11* pB = Bare();
    KR_MeshResourceDX11* pC = Bare();
    ASSERT_TRUE(root.AddChild(pA));
    ASSERT_TRUE(root.AddChild(pB));
    ASSERT_TRUE(root.AddChild(pC));
    EXPECT_FALSE(root.AddChild(nullptr));
    EXPECT_FALSE(root.AddChild(&root)); // itself
    EXPECT_FALSE(pA->AddChild(&root));  // its ancestor
    EXPECT_FALSE(pC->AddChild(pA));     // already has a parent
    EXPECT_EQ(&root, pA->GetParent());
    EXPECT_EQ(3u, root.GetChildCount());
    EXPECT_EQ(nullptr, root.GetChild(3));

    root.RemoveChild(3); // past the end: nothing
    root.RemoveChild(1);
    ASSERT_EQ(2u, root.GetChildCount());
    EXPECT_EQ(pA, root.GetChild(0));
    EXPECT_EQ(pC, root.GetChild(1));

    KR_BoundingBox first(XMVectorSet(0, 0, 0, 0), XMVectorSet(1, 1, 1, 0));
    KR_BoundingBox second(XMVectorSet(5, 5, 5, 0), XMVectorSet(6, 6, 6, 0));
    root.SetBoundingBox(nullptr);
    EXPECT_EQ(nullptr, root.GetBoundingBox());
    root.SetBoundingBox(&first);
    root.SetBoundingBox(&second); // the first box stays
    XMVECTOR vMin;
    XMVECTOR vMax;
    root.GetBoundingBox()->GetMinMax(&vMin, &vMax);
    EXPECT_EQ(1.0f, vMax.f[0]);
}

TEST_F(KR_MeshResourceDX11Test, AnimationFlagsAndTimesFollowTheSubtree)
{
    KR_MeshResourceDX11 root;
    KR_MeshResourceDX11* pChild = Bare();
    ASSERT_TRUE(root.AddChild(pChild));
    EXPECT_FALSE(root.HasAnimation());
    EXPECT_EQ(std::numeric_limits<double>::max(), root.GetStartTime());
    EXPECT_EQ(-std::numeric_limits<double>::max(), root.GetEndTime());

    // The cached flags are dropped up the chain when a node below gains an animation.
    KR_MeshResourceDX11* pGrandchild = Bare();
    ASSERT_TRUE(pChild->AddChild(pGrandchild));
    pGrandchild->SetAnimation(MakeAnimation(2.0, 5.0));
    EXPECT_TRUE(root.HasAnimation());
    EXPECT_FALSE(root.HasSkinnedAnimation());
    EXPECT_EQ(2.0, root.GetStartTime());
    EXPECT_EQ(5.0, root.GetEndTime());
    // Animated only through its children: the stored transform stays.
    root.SetTransform(XMMatrixTranslation(7, 0, 0));
    XMMATRIX m;
    EXPECT_TRUE(modeltest::MatrixNear(XMMatrixTranslation(7, 0, 0), *root.GetTransform(&m, 3.0)));
    EXPECT_TRUE(modeltest::MatrixNear(XMMatrixTranslation(1, 2, 3), *pGrandchild->GetTransform(&m, 3.0)));

    pGrandchild->SetSkinnedAnimation(MakeSkeleton());
    EXPECT_TRUE(root.HasSkinnedAnimation());
    // The skeleton spans its bones (the knee's 0 to 0 included), which starts before 2.
    EXPECT_EQ(0.0, root.GetStartTime());
    pChild->RemoveChild(0);
    EXPECT_FALSE(root.HasAnimation());
    EXPECT_FALSE(root.HasSkinnedAnimation());
}

TEST_F(KR_MeshResourceDX11Test, ATreeDrawsEachSubsetWithItsMaterialThenItsChildren)
{
    // Resolution asks for programs pass by pass, name by name, plain then instanced; an unknown
    // name asks for none. Root: Stone 1-4 (Missing none); child: Glass 5-8; grandchild 9-12.
    KR_MeshResourceDX11* pRoot = Node({"Stone", "Missing"}, 2);
    KR_MeshResourceDX11* pChild = Node({"Glass"}, 1);
    KR_MeshResourceDX11* pGrandchild = Node({"Skin"}, 1, MakeSkeleton());
    ASSERT_EQ(12u, m_resources.m_programs.size());
    EXPECT_EQ(std::vector<std::uint8_t>(3, 0x0B), m_resources.m_vLayoutFormats);
    pRoot->SetTransform(XMMatrixTranslation(1, 0, 0));
    pChild->SetTransform(XMMatrixScaling(2, 2, 2));
    pGrandchild->SetTransform(XMMatrixTranslation(0, 1, 0));
    ASSERT_TRUE(pRoot->AddChild(pChild));
    ASSERT_TRUE(pChild->AddChild(pGrandchild));
    std::unique_ptr<KR_MeshResourceDX11> root(pRoot);

    const XMMATRIX mParent = XMMatrixTranslation(0, 0, 5);
    const XMMATRIX mViewProjection = XMMatrixScaling(1, 1, 0.5f);
    const std::vector<std::string> vMatrices = {"Obj0", "Obj1", "World", "WVP", "Layout", "Topology 4"};
    auto Expected = [&](std::initializer_list<std::vector<std::string>> nodes)
    {
        std::vector<std::string> v;
        for (const std::vector<std::string>& node : nodes)
        {
            if (node.front().rfind("Bones", 0) == 0)
                v.push_back(node.front());
            v.insert(v.end(), vMatrices.begin(), vMatrices.end());
            for (const std::string& s : node)
                if (s.rfind("Bones", 0) != 0)
                    v.push_back(s);
        }
        return v;
    };

    root->Render(0.0, KR_RENDER_PASS_COLOR, &mParent, &mViewProjection, 1);
    EXPECT_EQ(
        Expected(
            {{"Program 1", "Draw 0 1"}, {"Program 5", "Draw 0 1"}, {"Bones 2", "Program 9", "Draw 0 1"}}),
        m_vLog);
    ASSERT_EQ(3u, m_core.m_vWorld.size());
    const XMMATRIX mGrandchildWorld = XMMatrixMultiply(
        XMMatrixMultiply(XMMatrixMultiply(XMMatrixTranslation(0, 1, 0), XMMatrixScaling(2, 2, 2)),
                         XMMatrixTranslation(1, 0, 0)),
        mParent);
    EXPECT_TRUE(modeltest::MatrixNear(mGrandchildWorld, m_core.m_vWorld[2]));
    EXPECT_TRUE(modeltest::MatrixNear(XMMatrixMultiply(mGrandchildWorld, mViewProjection),
                                      m_core.m_vWorldViewProjection[2]));

    m_vLog.clear();
    root->Render(0.0, KR_RENDER_PASS_SHADOW_MAP, &mParent, &mViewProjection, 3);
    EXPECT_EQ(
        Expected(
            {{"Program 4", "Draw 0 3"}, {"Program 8", "Draw 0 3"}, {"Bones 2", "Program 12", "Draw 0 3"}}),
        m_vLog);

    m_vLog.clear();
    root->Render(0.0, static_cast<KR_RenderPass>(2), &mParent, &mViewProjection, 1);
    EXPECT_TRUE(m_vLog.empty());
    EXPECT_EQ(20u, root->GetTriangleCount()); // its own two subsets, not the children's
}

TEST_F(KR_MeshResourceDX11Test, AGpuMeshReachesTheDeviceAsPlainOrInstancedDraws)
{
    StandInGraphicsDevice device{m_engine};
    KR_MeshResourceDX11 node(MakeMesh(2), Names({"Stone", "Missing"}), nullptr, nullptr, 1);
    D3D11Control::ClearCallLog();
    node.Render(0.0, KR_RENDER_PASS_COLOR, nullptr, nullptr, 1);
    node.Render(0.0, KR_RENDER_PASS_COLOR, nullptr, nullptr, 3);
    std::vector<std::string> vDraws;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
        if (record.Method.rfind("Draw", 0) == 0)
            vDraws.push_back(record.Method);
    // The second subset's material is unknown: not drawn.
    EXPECT_EQ(std::vector<std::string>({"DrawIndexed", "DrawIndexedInstanced"}), vDraws);
}

TEST_F(KR_MeshResourceDX11Test, ARecordWithFewerNamesThanSubsetsIsRefused)
{
    StandInGraphicsDevice device{m_engine};
    auto* pMesh = new KR_MeshDX11();
    ASSERT_TRUE(pMesh->Allocate(12, 3, 2));
    const std::uint32_t ids[2] = {0, 1};
    const std::uint32_t indices[6] = {0, 1, 2, 0, 1, 2};
    pMesh->SetIndices(indices);
    pMesh->SetAttributes(ids);
    ASSERT_TRUE(pMesh->BuildSubsets());
    ASSERT_TRUE(pMesh->CreateBuffers());
    KR_MeshResourceDX11 node(pMesh, Names({"Stone"}), nullptr, nullptr, 1);
    const std::vector<std::uint8_t> bytes = modeltest::Serialize(node, false);
    KR_MeshResourceDX11 copy;
    EXPECT_FALSE(modeltest::Deserialize(copy, bytes));
}

TEST_F(KR_MeshResourceDX11Test, AModelOfNestedNodesRoundTripsAndEveryTruncationFails)
{
    StandInGraphicsDevice device{m_engine};
    auto* pRoot = new KR_MeshResourceDX11(MakeMesh(2), Names({"Stone", "Glass"}), MakeAnimation(2.0, 5.0),
                                          nullptr, 0x0B);
    pRoot->SetCenter(XMVectorSet(1, 2, 3, 4));
    pRoot->SetTransform(XMMatrixTranslation(5, 6, 7));
    KR_BoundingBox box(XMVectorSet(-1, -2, -3, 0), XMVectorSet(1, 2, 3, 0));
    pRoot->SetBoundingBox(&box);
    auto* pChild = new KR_MeshResourceDX11(MakeMesh(1), Names({"Skin"}), nullptr, MakeSkeleton(), 0x81);
    ASSERT_TRUE(
        pChild->AddChild(new KR_MeshResourceDX11(MakeMesh(1), Names({"Unknown"}), nullptr, nullptr, 1)));
    ASSERT_TRUE(pRoot->AddChild(pChild));
    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(pRoot);
    gNodes.Add(new KR_MeshResourceDX11(MakeMesh(3), Names({"Stone", "Stone", "Glass"}), nullptr, nullptr, 1));
    KR_ModelResourceDX11 model(gNodes);

    const std::vector<std::uint8_t> bytes = modeltest::Serialize(model);
    KR_ModelResourceDX11 copy;
    ASSERT_TRUE(modeltest::Deserialize(copy, bytes));
    EXPECT_FALSE(modeltest::Deserialize(copy, bytes)); // only into an empty model
    // Same length; not byte for byte, as a curve read back carries its edit flag differently.
    EXPECT_EQ(bytes.size(), modeltest::Serialize(copy, false).size());
    EXPECT_EQ(5u, copy.GetTriangleCount());
    EXPECT_TRUE(copy.HasSkinnedAnimation());
    EXPECT_EQ(0.5f, XMVectorGetX(copy.GetCenter()));
    ASSERT_EQ(2u, copy.GetMeshCount());
    auto* pCopy = static_cast<KR_MeshResourceDX11*>(copy.GetMesh(0));
    EXPECT_EQ(0x0B, pCopy->GetVertexFormat());
    EXPECT_EQ(pRoot->GetStartTime(), pCopy->GetStartTime());
    EXPECT_EQ(pRoot->GetEndTime(), pCopy->GetEndTime());
    XMMATRIX m;
    EXPECT_TRUE(
        modeltest::MatrixNear(XMMatrixTranslation(5, 6, 7), *pCopy->KR_MeshResource::GetTransform(&m, 0.0)));
    EXPECT_EQ(4.0f, XMVectorGetW(pCopy->GetCenter()));
    ASSERT_NE(nullptr, pCopy->GetBoundingBox());
    ASSERT_EQ(1u, pCopy->GetChildCount());
    EXPECT_EQ(pCopy, pCopy->GetChild(0)->GetParent());
    EXPECT_EQ(0x81, pCopy->GetChild(0)->GetVertexFormat());
    EXPECT_EQ(nullptr, pCopy->GetChild(0)->GetBoundingBox());
    EXPECT_EQ(1u, pCopy->GetChild(0)->GetChildCount());
    ASSERT_EQ(2u, pCopy->GetMaterialNames().GetNumMembers());
    EXPECT_EQ(KB_String("Glass"), pCopy->GetMaterialNames()[1]);
    // Programs are resolved again for the read node.
    EXPECT_NE(nullptr, pCopy->GetProgram(KR_RENDER_PASS_SHADOW_MAP, true, 1));

    for (std::uint64_t uiLength = 0; uiLength < bytes.size(); ++uiLength)
    {
        KR_ModelResourceDX11 shortCopy;
        EXPECT_FALSE(modeltest::Deserialize(shortCopy, bytes, uiLength)) << uiLength;
        EXPECT_EQ(0u, shortCopy.GetMeshCount());
    }
}

TEST_F(KR_MeshResourceDX11Test, NestingDeeperThanTheLimitIsRefusedWithoutRecursingOn)
{
    // Every level claims one child; the padding keeps the child count plausible for the bytes left.
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i <= KR_MeshResource::MAX_DEPTH; ++i)
        bytes.insert(bytes.end(), {1, 0, 0, 0});
    bytes.resize(bytes.size() + 4096, 0);
    KR_MeshResourceDX11 node;
    EXPECT_FALSE(modeltest::Deserialize(node, bytes));
}

TEST_F(KR_MeshResourceDX11Test, NodeAndModelRecordsAfterOthersAreBoundedByTheBytesLeftNotTheBuffer)
{
    StandInGraphicsDevice device{m_engine};
    auto* pRoot = new KR_MeshResourceDX11(MakeMesh(2), Names({"Stone", "Glass"}), MakeAnimation(2.0, 5.0),
                                          MakeSkeleton(), 0x0B);
    KR_BoundingBox box(XMVectorSet(-1, -2, -3, 0), XMVectorSet(1, 2, 3, 0));
    pRoot->SetBoundingBox(&box);
    ASSERT_TRUE(pRoot->AddChild(new KR_MeshResourceDX11(MakeMesh(1), Names({"Skin"}), nullptr, nullptr, 1)));
    // Each part of the node (children, box, names, mesh, animations) is reached by some capacity.
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(*pRoot));

    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(pRoot);
    gNodes.Add(new KR_MeshResourceDX11(MakeMesh(3), Names({"Stone", "Stone", "Glass"}), nullptr, nullptr, 1));
    const KR_ModelResourceDX11 model(gNodes);
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(model));
}
