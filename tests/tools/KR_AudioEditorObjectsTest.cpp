#include "tools/KR_AudioEditorObjects.h"

#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResourceManager.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "tests/audio/AudioTestFixture.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <string>

using namespace DirectX;

namespace
{

// The audio entities in developer mode with the tools' real marker, gizmo and rail objects.
class KR_AudioEditorObjectsTest : public AudioEngineFixture
{
protected:
    // Loads text as "Assets/Entities/Audio/<name>" into a fresh entity that uses the editor objects.
    std::unique_ptr<KA_AudioEntity> LoadEntity(const std::string& text, const std::string& name = "e.aud")
    {
        AddFile(std::string(DIRECTORY) + name, text);
        auto pEntity = std::make_unique<KA_AudioEntity>();
        pEntity->SetEditorObjects(m_pEditorObjects.get());
        EXPECT_TRUE(pEntity->Load(KB_String((std::string(DIRECTORY) + name).c_str())));
        return pEntity;
    }

    // An entity file "<name>.aud" playing "<name>.wav", a sound of the given length.
    void AddEntity(const std::string& name, double start, double end, double length,
                   const std::string& extra = "")
    {
        GetFakeContext()->m_mapLengths[name + ".wav"] = length;
        AddFile(std::string(DIRECTORY) + name + ".aud", "s " + std::to_string(start) + "\ne " +
                                                            std::to_string(end) + "\nf " + name + ".wav\n" +
                                                            extra);
    }

    std::unique_ptr<KR_AudioEditorObjects> m_pEditorObjects = std::make_unique<KR_AudioEditorObjects>();
};

} // namespace

TEST_F(KR_AudioEditorObjectsTest, DeveloperModeMakesMarkersForEveryEntityAndARailOrAGizmo)
{
    (*m_pEngine)->SetDeveloperBuild(true);
    AddFile("Assets/Entities/Audio/p.int", MakeCurve(0, 2, {{0, 0, 0, 20}, {2, 2, 0, 20}}));
    auto pStatic = LoadEntity("s 0\ne 10\npv 0 0 10\n", "a.aud");
    auto pCurved = LoadEntity("s 0\ne 10\npp p.int\n", "b.aud");
    EXPECT_NE(pStatic->GetMarker(), nullptr);
    EXPECT_NE(pStatic->GetGizmo(), nullptr);
    EXPECT_EQ(pStatic->GetPathVisualisation(), nullptr);
    EXPECT_NE(pCurved->GetMarker(), nullptr);
    EXPECT_EQ(pCurved->GetGizmo(), nullptr);
    ASSERT_NE(pCurved->GetPathVisualisation(), nullptr);
    EXPECT_FLOAT_EQ(pCurved->GetPathVisualisation()->GetRailColor().GetR(), 0.757f);

    KA_AudioEntity plain; // outside developer mode nothing is made
    (*m_pEngine)->SetDeveloperBuild(false);
    plain.SetEditorObjects(m_pEditorObjects.get());
    ASSERT_TRUE(plain.Load(KB_String("Assets/Entities/Audio/a.aud")));
    EXPECT_EQ(plain.GetMarker(), nullptr);
    EXPECT_EQ(plain.GetGizmo(), nullptr);
}

TEST_F(KR_AudioEditorObjectsTest, PickingSelectsTogglesAndDeselectsTheOthers)
{
    (*m_pEngine)->SetDeveloperBuild(true);
    auto pNear = LoadEntity("s 0\ne 10\npv 0 0 10\n", "a.aud");
    auto pFar = LoadEntity("s 0\ne 10\npv 0 0 20\n", "b.aud");
    const XMMATRIX viewProjection = XMMatrixIdentity();
    const XMVECTOR camera = XMVectorSet(0, 0, 0, 1);
    pNear->RenderDebug(1.0, viewProjection, camera); // places the markers, 0.1 and 0.2 in size
    pFar->RenderDebug(1.0, viewProjection, camera);
    const XMVECTOR origin = XMVectorSet(0, 0, 0, 1);
    const XMVECTOR forward = XMVectorSet(0, 0, 1, 0);
    EXPECT_NEAR(pNear->GetPickDistance(1.0, origin, forward), 9.9f, 1e-4f);
    EXPECT_EQ(pNear->GetPickDistance(20.0, origin, forward), FLT_MAX); // inactive
    EXPECT_EQ(pNear->GetPickDistance(1.0, origin, XMVectorSet(0, 1, 0, 0)), FLT_MAX);

    pFar->Select(1.0, origin, forward);
    EXPECT_TRUE(pFar->IsSelected());
    EXPECT_EQ(pFar->GetMarker()->GetColor().y, 1.0f); // selection green
    pNear->Select(1.0, origin, forward);
    EXPECT_TRUE(pNear->IsSelected());
    EXPECT_FALSE(pFar->IsSelected());
    EXPECT_FLOAT_EQ(pFar->GetMarker()->GetColor().x, 0.929f);
    pNear->Select(1.0, origin, forward); // again: deselected
    EXPECT_FALSE(pNear->IsSelected());
}

TEST_F(KR_AudioEditorObjectsTest, SelectedEntityMovesWithItsGizmoAndKeepsSelectionForItsOwnRail)
{
    (*m_pEngine)->SetDeveloperBuild(true);
    AddFile("Assets/Entities/Audio/p.int", MakeCurve(0, 2, {{0, 0, 0, 10}, {2, 0, 0, 10}}));
    auto pStatic = LoadEntity("s 0\ne 10\npv 0 0 10\n", "a.aud");
    auto pCurved = LoadEntity("s 0\ne 10\npp p.int\n", "b.aud");
    const XMVECTOR camera = XMVectorSet(0, 0, 0, 1);
    pStatic->RenderDebug(1.0, XMMatrixIdentity(), camera);
    pStatic->Select(1.0, camera, XMVectorSet(0, 0, 1, 0));
    ASSERT_TRUE(pStatic->IsSelected());
    pStatic->RenderDebug(1.0, XMMatrixIdentity(), camera); // places the gizmo (scale 0.1)

    // Grab the x arrow (gizmo x 2 to 7 at scale 0.1) from the side and drag it 1 along x.
    pStatic->MoveSelected(1.0, XMVectorSet(0.4f, 0, 0, 1), XMVectorSet(0, 0, 1, 0), true);
    pStatic->MoveSelected(1.0, XMVectorSet(1.4f, 0, 0, 1), XMVectorSet(0, 0, 1, 0), true);
    EXPECT_NEAR(XMVectorGetX(pStatic->GetStaticPosition()), 1.0f, 1e-5f);
    EXPECT_NEAR(XMVectorGetZ(pStatic->GetStaticPosition()), 10.0f, 1e-5f);
    pStatic->MoveSelected(1.0, camera, XMVectorSet(0, 0, 1, 0), false);
    pStatic->SetSelectedPosition(XMVectorSet(3, 4, 5, 1));
    EXPECT_EQ(XMVectorGetY(pStatic->GetStaticPosition()), 4.0f);
    EXPECT_EQ(XMVectorGetW(pStatic->GetStaticPosition()), 0.0f);

    KR_VertexInterpolationVisualisation* pRail = pCurved->GetPathVisualisation();
    ASSERT_NE(pRail, nullptr);
    pCurved->RenderDebug(1.0, XMMatrixIdentity(), camera);
    pCurved->Select(1.0, camera, XMVectorSet(0, 0, 1, 0));
    ASSERT_TRUE(pCurved->IsSelected());
    EXPECT_FALSE(pStatic->IsSelected());
    EXPECT_TRUE(pCurved->Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, pRail));
    EXPECT_TRUE(pCurved->IsSelected());
    EXPECT_FALSE(pCurved->Receive(KE_MT_EditorCommand, KE_MST_NextControlPoint, nullptr));
    pRail->SelectControlPoint(1); // deselects the others through the dispatcher, its entity stays
    EXPECT_TRUE(pCurved->IsSelected());
    pCurved->SetSelectedPosition(XMVectorSet(0, 1, 10, 0));
    EXPECT_EQ(XMVectorGetY(pCurved->GetPositionCurve()->GetVertex(1)), 1.0f);
    KA_AudioEntity::DeselectAll();
    EXPECT_FALSE(pCurved->IsSelected());
    EXPECT_EQ(pRail->GetSelectedIndex(), KR_VertexInterpolationVisualisation::NO_SELECTION);
}

TEST_F(KR_AudioEditorObjectsTest, PickTieGoesToTheFirstEntity)
{
    (*m_pEngine)->SetDeveloperBuild(true);
    KA_AudioResourceManager* pManager = m_pAudio->GetAudioResourceManager();
    pManager->SetAudioEntityPath(KB_String(DIRECTORY));
    pManager->SetEditorObjects(new KR_AudioEditorObjects());
    AddEntity("a", 0.0, 10.0, 20.0, "pv 0 0 10\n");
    AddEntity("b", 0.0, 10.0, 20.0, "pv 0 0 10\n");
    AddEntity("c", 5.0, 10.0, 20.0, "pv 0 0 5\n");
    pManager->LoadAll();
    const XMVECTOR camera = XMVectorSet(0, 0, 0, 1);
    const XMVECTOR forward = XMVectorSet(0, 0, 1, 0);
    EXPECT_TRUE(pManager->RenderDebug(1.0, XMMatrixIdentity(), camera)); // "c" is not active
    EXPECT_NEAR(pManager->GetPickDistance(1.0, camera, forward), 9.9f, 1e-4f);
    pManager->Pick(1.0, camera, forward);
    EXPECT_TRUE(pManager->GetEntries()[0].m_pEntity->IsSelected());
    EXPECT_FALSE(pManager->GetEntries()[1].m_pEntity->IsSelected());
    pManager->Pick(1.0, camera, XMVectorSet(0, 1, 0, 0)); // a miss deselects nothing
    EXPECT_TRUE(pManager->GetEntries()[0].m_pEntity->IsSelected());
    pManager->SetSelectedPosition(1.0, XMVectorSet(1, 2, 3, 0));
    EXPECT_EQ(XMVectorGetY(pManager->GetEntries()[0].m_pEntity->GetStaticPosition()), 2.0f);
    EXPECT_EQ(XMVectorGetY(pManager->GetEntries()[1].m_pEntity->GetStaticPosition()), 0.0f);
}
