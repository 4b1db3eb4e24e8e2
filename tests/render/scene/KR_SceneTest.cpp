#include "render/scene/KR_Scene.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KF_NameValidator.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_EmptyModelResource.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/render/camera/CameraTestHelpers.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/FailingAllocation.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullPostFXEngine.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

const std::string CAMERAS = "Assets/Entities/Scene1/AnimatedCameras/";
const std::string OMNI = "Assets/Entities/Scene1/Lights/OmniLights/";
const std::string SPOT = "Assets/Entities/Scene1/Lights/SpotLights/";
const std::string VERTEX = "Assets/Entities/Scene1/Interpolations/Vertex/";
const std::string USER = "Assets/Entities/Scene1/Interpolations/UserDefined/";
const std::string CHUNKS = "Assets/Entities/Scene1/Interpolations/Chunks/";
const std::string PLACERS = "Assets/Entities/Scene1/CubeMapPlacers/";
const std::string CHUNK_LIST = "Assets/Entities/Scene1/Chunks/Chunks_Scene1.chk";

class TestScene : public KR_Scene
{
public:
    explicit TestScene(const char* pName = "Scene1") { SetSceneName(pName); }
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override
    {
        ++m_iPostLoads;
        return true;
    }
    void SetCameraSelection(KU_VertexInterpolation* pCurve)
    {
        delete m_pCameraSelection;
        m_pCameraSelection = pCurve;
    }
    int m_iPostLoads = 0;
};

// Remembers every removal it is asked for.
class RecordingRepository : public MemoryRepository
{
public:
    bool RemoveFile(const KB_String& sPath) override
    {
        m_Removed.push_back(sPath.GetBuffer());
        return MemoryRepository::RemoveFile(sPath);
    }
    std::vector<std::string> m_Removed;
};

// Records each draw with the pass it was made in.
class RecordingModel : public KR_EmptyModelResource
{
public:
    void Render(double, KR_RenderPass pass, const XMMATRIX* pParent, const XMMATRIX*,
                std::uint32_t uiInstances) override
    {
        if (pParent != nullptr)
            XMStoreFloat4x4(&m_Parent, *pParent);
        m_Passes.push_back(pass);
        m_uiInstances = uiInstances;
    }
    std::vector<KR_RenderPass> m_Passes;
    std::uint32_t m_uiInstances = 0;
    XMFLOAT4X4 m_Parent = {};
};

class ModelShelf : public NullResourceManager
{
public:
    KR_ManagedModelResourceDX11* GetModelResource(const KB_String& sPath, std::uint8_t, std::uint8_t,
                                                  std::uint8_t) override
    {
        auto& entry = m_Models[sPath.GetBuffer()];
        if (!entry.first)
        {
            entry.first = std::make_unique<RecordingModel>();
            entry.second = std::make_unique<KR_ManagedModelResourceDX11>(entry.first.get());
        }
        return entry.second.get();
    }
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override
    {
        m_ViewFiles.push_back(sPath.GetBuffer());
        return nullptr;
    }
    RecordingModel* Model(const std::string& sPath) { return m_Models[sPath].first.get(); }
    std::vector<std::string> m_ViewFiles;
    std::map<std::string,
             std::pair<std::unique_ptr<RecordingModel>, std::unique_ptr<KR_ManagedModelResourceDX11>>>
        m_Models;
};

KB_LinearInterpolation* Rail(float fEnd)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation();
    pRail->InsertVertex(XMVectorSet(0, 0, 0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(fEnd, 1, 2, 0), 10.0);
    pRail->SetEndTime(10.0);
    return pRail;
}

// A selection curve whose keys choose the given x values at stamps 0, 1, 2, ...
KU_ConstantValueInterpolation* Selection(const std::vector<float>& values)
{
    auto* pCurve = new KU_ConstantValueInterpolation(
        KB_String((CAMERAS + "Scene1_CameraSelectionInterpolation.int").c_str()));
    for (std::size_t i = 0; i < values.size(); ++i)
        pCurve->InsertVertex(XMVectorSet(values[i], 0, 0, 0), static_cast<double>(i));
    pCurve->SetEndTime(10.0);
    return pCurve;
}

class KR_SceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetInterpolationManager(&m_Registry);
        m_Engine->SetGraphicsResourceManager(&m_Shelf);
    }
    void TearDown() override
    {
        m_Engine->SetGraphicsResourceManager(nullptr);
        m_Engine->SetFileManager(nullptr);
    }

    // Three cameras, two omni lights (the second on a rail), one spot light, two vertex curves,
    // one rotation curve, one placer and a selection curve, all saved by the scene; plus a
    // user-defined curve the scene never saves.
    void WriteSampleScene(MemoryFiles& files) { WriteSampleScene(*files.Get()); }
    void WriteSampleScene(KF_FileManager& files)
    {
        m_Engine->SetFileManager(&files);
        {
            TestScene scene;
            scene.SetStartTime(0.0);
            scene.SetEndTime(10.0);
            for (int i = 0; i < 3; ++i)
            {
                auto* pCamera =
                    new KR_AnimatedCamera("", Rail(static_cast<float>(i)), nullptr, nullptr, nullptr);
                pCamera->SetDebugName(KB_String::Formatted("camera %d", i));
                scene.GetAnimatedCameras().Add(pCamera);
            }
            for (int i = 0; i < 2; ++i)
            {
                auto* pLight = new KR_OmniLight();
                pLight->SetDebugName(KB_String::Formatted("omni %d", i));
                if (i == 1)
                    pLight->SetPostitionRailInterpolation(Rail(5.0f));
                scene.GetOmniLights().Add(pLight);
            }
            auto* pSpot = new KR_SpotLight();
            pSpot->SetColorInterpolation(Rail(1.0f));
            scene.GetSpotLights().Add(pSpot);
            for (int i = 0; i < 2; ++i)
            {
                KB_LinearInterpolation* pCurve = Rail(static_cast<float>(10 + i));
                scene.GetVertexInterpolations().Add(pCurve);
                scene.GetVertexInterpolationVisualisations().Add(
                    new KR_VertexInterpolationVisualisation(pCurve));
            }
            auto* pTurn = new KB_RotationInterpolation();
            pTurn->InsertQuaternion(XMQuaternionIdentity(), 0.0);
            pTurn->SetEndTime(10.0);
            scene.GetRotationInterpolations().Add(pTurn);
            auto* pPlacer = new KR_CubeMapPlacer();
            pPlacer->SetCubeMapPath("Assets/Textures/Scene1_Cube.dds");
            scene.GetCubeMapPlacers().Add(pPlacer);
            scene.SetCameraSelection(Selection({0.0f, 1.0f, 2.0f}));
            scene.SaveAllEntities();
            KB_LinearInterpolation user(KB_String((USER + "Scene1_Brightness.int").c_str()));
            user.InsertVertex(XMVectorSet(0.5f, 0, 0, 0), 0.0);
            user.Save();
        }
        m_Files.Install();
    }

    TestEngine m_Engine;
    RecordingRepository* m_pRepository = new RecordingRepository(); // owned by m_Files
    MemoryFiles m_Files{m_pRepository};
    KE_Dispatcher m_Dispatcher;
    KU_InterpolationManager m_Registry;
    ModelShelf m_Shelf;
};

std::map<std::string, std::string> ReadTree(const std::string& sRoot)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(sRoot))
    {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        tree[std::filesystem::relative(entry.path(), sRoot).string()] = text.str();
    }
    return tree;
}

void ExpectSampleLoaded(TestScene& scene)
{
    ASSERT_EQ(scene.GetAnimatedCameras().GetNumMembers(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_STREQ(scene.GetAnimatedCameras()[i]->GetDebugName().GetBuffer(),
                     KB_String::Formatted("camera %u", i).GetBuffer());
    ASSERT_EQ(scene.GetOmniLights().GetNumMembers(), 2u);
    EXPECT_TRUE(scene.GetOmniLights()[1]->HasPositionRail());
    EXPECT_STREQ(scene.GetOmniLights()[1]->GetPositionRailPath().GetBuffer(),
                 "Interpolations/Scene1_OmniLight01_P.int");
    ASSERT_EQ(scene.GetSpotLights().GetNumMembers(), 1u);
    EXPECT_NE(scene.GetSpotLights()[0]->GetColorInterpolation(), nullptr);
    ASSERT_EQ(scene.GetVertexInterpolations().GetNumMembers(), 2u);
    EXPECT_EQ(scene.GetVertexInterpolationVisualisations().GetNumMembers(), 2u);
    EXPECT_FLOAT_EQ(XMVectorGetX(scene.GetVertexInterpolations()[1]->GetVertex(1)), 11.0f);
    EXPECT_EQ(scene.GetRotationInterpolations().GetNumMembers(), 1u);
    EXPECT_EQ(scene.GetUserDefinedInterpolations().GetNumMembers(), 1u);
    ASSERT_EQ(scene.GetCubeMapPlacers().GetNumMembers(), 1u);
    EXPECT_STREQ(scene.GetCubeMapPlacers()[0]->GetCubeMapPath().GetBuffer(),
                 "Assets/Textures/Scene1_Cube.dds");
    ASSERT_NE(scene.GetCameraSelectionInterpolation(), nullptr);
    EXPECT_EQ(scene.GetCameraSelectionInterpolation()->GetNumVertices(), 3u);
}

TEST_F(KR_SceneTest, PathsAreJoinedFromTheSceneName)
{
    TestScene scene;
    EXPECT_STREQ(scene.GetAnimatedCamerasFolder().GetBuffer(), CAMERAS.c_str());
    EXPECT_STREQ(scene.GetOmniLightsFolder().GetBuffer(), OMNI.c_str());
    EXPECT_STREQ(scene.GetSpotLightsFolder().GetBuffer(), SPOT.c_str());
    EXPECT_STREQ(scene.GetVertexInterpolationsFolder().GetBuffer(), VERTEX.c_str());
    EXPECT_STREQ(scene.GetUserDefinedInterpolationsFolder().GetBuffer(), USER.c_str());
    EXPECT_STREQ(scene.GetMatrixInterpolationsFolder().GetBuffer(),
                 "Assets/Entities/Scene1/Interpolations/Matrix/");
    EXPECT_STREQ(scene.GetAnimationTriggerInterpolationsFolder().GetBuffer(),
                 "Assets/Entities/Scene1/Interpolations/AnimationTrigger/");
    EXPECT_STREQ(scene.GetRotationInterpolationsFolder().GetBuffer(),
                 "Assets/Entities/Scene1/Interpolations/Rotation/");
    EXPECT_STREQ(scene.GetChunkInterpolationsFolder().GetBuffer(), CHUNKS.c_str());
    EXPECT_STREQ(scene.GetCubeMapPlacersFolder().GetBuffer(), PLACERS.c_str());
    EXPECT_FLOAT_EQ(scene.GetNearFarPlanes().y, 200.0f);
    EXPECT_FLOAT_EQ(scene.GetEditorNearFarPlanes().x, 0.5f);
}

TEST_F(KR_SceneTest, LoadsEveryFolderAndUnloadLeavesNothingBehind)
{
    WriteSampleScene(m_Files);
    {
        TestScene scene;
        ASSERT_TRUE(scene.Load());
        ExpectSampleLoaded(scene);
        // Asking for the placer's cube map starts loading it.
        EXPECT_EQ(m_Shelf.m_ViewFiles, std::vector<std::string>{"Assets/Textures/Scene1_Cube.dds"});
        XMFLOAT4X4 world;
        XMStoreFloat4x4(&world, scene.GetChunkWorldMatrix());
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(world.m[r][c], r == c ? 1.0f : 0.0f);
        EXPECT_EQ(scene.GetShadowDepthDescription().m_eFormat, DXGI_FORMAT_D32_FLOAT);
        EXPECT_EQ(scene.GetShadowColorDescription().m_uiBindFlags, 40u);
        EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
        // A curve slot without a curve keeps its path through a save; the others are renamed.
        KR_AnimatedCamera* pCamera = scene.GetAnimatedCameras()[0];
        pCamera->SetOrientationInterpolationPath("Interpolations/Kept_OP.int");
        scene.SaveAnimatedCameras();
        EXPECT_STREQ(pCamera->GetOrientationInterpolationPath().GetBuffer(), "Interpolations/Kept_OP.int");
        EXPECT_STREQ(pCamera->GetCameraRailPath().GetBuffer(),
                     "Interpolations/Scene1_AnimatedCamera00_CP.int");
        EXPECT_TRUE(scene.Unload());
        EXPECT_EQ(scene.GetAnimatedCameras().GetNumMembers(), 0u);
        EXPECT_EQ(scene.GetCameraSelectionInterpolation(), nullptr);
        EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
    }
    // Destroyed without Unload: the destructor empties every list (AddressSanitizer checks the
    // rest), and every curve leaves the registry.
    {
        TestScene scene;
        scene.Load();
        EXPECT_GT(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
    }
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
    EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
}

TEST_F(KR_SceneTest, MissingFoldersGiveEmptyListsAndANewSelectionCurveThatSavingWrites)
{
    TestScene scene;
    scene.SetStartTime(4.0);
    scene.SetEndTime(9.0);
    ASSERT_TRUE(scene.LoadAllEntities());
    EXPECT_EQ(scene.GetAnimatedCameras().GetNumMembers(), 0u);
    KU_VertexInterpolation* pSelection = scene.GetCameraSelectionInterpolation();
    ASSERT_NE(pSelection, nullptr);
    EXPECT_EQ(pSelection->GetNumVertices(), 0u);
    EXPECT_DOUBLE_EQ(pSelection->GetStartTime(), 4.0);
    EXPECT_DOUBLE_EQ(pSelection->GetEndTime(), 9.0);
    // Registered exactly once.
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 1u);
    EXPECT_FALSE(m_pRepository->HasFile(CAMERAS + "Scene1_CameraSelectionInterpolation.int"));
    scene.SaveInterpolations();
    EXPECT_TRUE(m_pRepository->HasFile(CAMERAS + "Scene1_CameraSelectionInterpolation.int"));
}

// An entity that cannot be allocated is left out as one whose file does not load, and the scene
// loads the rest; a vertex curve whose visualisation cannot be made goes with it, so both lists stay
// index-aligned.
TEST_F(KR_SceneTest, EntitiesThatCannotBeAllocatedAreLeftOut)
{
    WriteSampleScene(m_Files);
    struct Kind
    {
        const char* pName;
        std::size_t uiSize;
        std::uint32_t (*count)(TestScene&);
    };
    const Kind kinds[] = {
        {"cameras", sizeof(KR_AnimatedCamera),
         [](TestScene& s) { return s.GetAnimatedCameras().GetNumMembers(); }},
        {"omni lights", sizeof(KR_OmniLight), [](TestScene& s) { return s.GetOmniLights().GetNumMembers(); }},
        {"spot lights", sizeof(KR_SpotLight), [](TestScene& s) { return s.GetSpotLights().GetNumMembers(); }},
        {"placers", sizeof(KR_CubeMapPlacer),
         [](TestScene& s) { return s.GetCubeMapPlacers().GetNumMembers(); }},
        {"vertex curves", sizeof(KR_VertexInterpolationVisualisation),
         [](TestScene& s) { return s.GetVertexInterpolations().GetNumMembers(); }},
    };
    for (const Kind& kind : kinds)
    {
        TestScene scene;
        {
            FailingAllocation failing(kind.uiSize);
            EXPECT_TRUE(scene.Load()) << kind.pName;
            EXPECT_GE(failing.GetFailures(), 1u) << kind.pName;
        }
        EXPECT_EQ(kind.count(scene), 0u) << kind.pName;
        EXPECT_EQ(scene.GetVertexInterpolationVisualisations().GetNumMembers(),
                  scene.GetVertexInterpolations().GetNumMembers())
            << kind.pName;
        EXPECT_EQ(scene.GetRotationInterpolations().GetNumMembers(), 1u) << kind.pName;
        EXPECT_TRUE(scene.Unload());
    }
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
}

TEST_F(KR_SceneTest, ReloadYieldsExactlyTheFolderAfterFilesWereRemoved)
{
    WriteSampleScene(m_Files);
    TestScene scene;
    scene.Load();
    m_pRepository->RemoveFile(KB_String((VERTEX + "Scene1_VertexInterpolation00.int").c_str()));
    m_pRepository->RemoveFile(KB_String((OMNI + "Scene1_OmniLight00.omn").c_str()));
    EXPECT_TRUE(scene.ReloadAllEntities());
    EXPECT_EQ(scene.m_iPostLoads, 1);
    ASSERT_EQ(scene.GetVertexInterpolations().GetNumMembers(), 1u);
    EXPECT_EQ(scene.GetVertexInterpolationVisualisations().GetNumMembers(), 1u);
    EXPECT_FLOAT_EQ(XMVectorGetX(scene.GetVertexInterpolations()[0]->GetVertex(1)), 11.0f);
    ASSERT_EQ(scene.GetOmniLights().GetNumMembers(), 1u);
    EXPECT_STREQ(scene.GetOmniLights()[0]->GetDebugName().GetBuffer(), "omni 1");
    EXPECT_EQ(scene.GetUserDefinedInterpolations().GetNumMembers(), 1u);
}

// Every list a load fills, and the curves the registry holds.
std::vector<std::uint32_t> LoadedCounts(TestScene& scene, const KU_InterpolationManager& registry)
{
    return {scene.GetAnimatedCameras().GetNumMembers(),
            scene.GetOmniLights().GetNumMembers(),
            scene.GetSpotLights().GetNumMembers(),
            scene.GetVertexInterpolations().GetNumMembers(),
            scene.GetVertexInterpolationVisualisations().GetNumMembers(),
            scene.GetRotationInterpolations().GetNumMembers(),
            scene.GetUserDefinedInterpolations().GetNumMembers(),
            scene.GetAnimationTriggerInterpolations().GetNumMembers(),
            scene.GetMatrixInterpolations().GetNumMembers(),
            scene.GetCubeMapPlacers().GetNumMembers(),
            scene.GetChunkModels().GetNumMembers(),
            scene.GetChunkInterpolations().GetNumMembers(),
            registry.GetAllVertexInterpolations().GetNumMembers()};
}

TEST_F(KR_SceneTest, LoadingAgainStartsFromAnEmptySceneAndGivesTheCountsOfOneLoad)
{
    WriteSampleScene(m_Files);
    {
        KB_LinearInterpolation trigger(
            KB_String("Assets/Entities/Scene1/Interpolations/AnimationTrigger/Scene1_Trigger.int"));
        trigger.InsertVertex(XMVectorSet(1.0f, 0, 0, 0), 2.0);
        trigger.Save();
    }
    TestScene scene;
    ASSERT_TRUE(scene.Load());
    ExpectSampleLoaded(scene);
    const std::vector<std::uint32_t> gOnce = LoadedCounts(scene, m_Registry);
    EXPECT_EQ(gOnce[7], 1u); // the trigger curve
    ASSERT_TRUE(scene.Load());
    EXPECT_EQ(LoadedCounts(scene, m_Registry), gOnce);
    ExpectSampleLoaded(scene);
    EXPECT_STREQ(scene.GetUserDefinedInterpolations()[0]->GetFilePath().GetBuffer(),
                 (USER + "Scene1_Brightness.int").c_str());
}

TEST_F(KR_SceneTest, RailColoursComeFromTheWindowsGenerator)
{
    WriteSampleScene(m_Files);
    CrtControl::Reset();
    TestScene scene;
    scene.LoadInterpolations();
    // The first three draws of the generator seeded with 1 are 41, 18467 and 6334.
    const KB_Color& rail = scene.GetVertexInterpolationVisualisations()[0]->GetRailColor();
    EXPECT_NEAR(rail.GetR(), 41 * 3.0518509e-05f * 0.65f + 0.2f, 1e-6f);
    EXPECT_NEAR(rail.GetG(), 18467 * 3.0518509e-05f * 0.65f + 0.2f, 1e-6f);
    EXPECT_NEAR(rail.GetB(), 6334 * 3.0518509e-05f * 0.65f + 0.2f, 1e-6f);
    EXPECT_NEAR(scene.GetVertexInterpolationVisualisations()[0]->GetMarkerColor().GetR(), rail.GetR() + 0.15f,
                1e-6f);
    EXPECT_FLOAT_EQ(scene.GetVertexInterpolationVisualisations()[0]->GetSelectionColor().GetG(), 1.0f);
    CrtControl::Reset();
}

TEST_F(KR_SceneTest, SelectionCurveChoosesTheCamera)
{
    TestScene scene;
    scene.SetStartTime(100.0);
    for (int i = 0; i < 3; ++i)
        scene.GetAnimatedCameras().Add(new KR_AnimatedCamera(""));
    KR_AnimatedCamera* const* pCameras = &scene.GetAnimatedCameras()[0];
    // Keys at local 0..5 with these x values; evaluated at t minus the scene's start.
    scene.SetCameraSelection(Selection({1.7f, -0.5f, -1.0f, 9.0f, std::nanf(""), 2.0f}));
    scene.SetNearFarPlanes(0.3f, 77.0f);
    const KR_AnimatedCamera* expected[] = {pCameras[1], pCameras[0], pCameras[2],
                                           pCameras[2], pCameras[2], pCameras[2]};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(scene.GetAnimatedCameraAt(100.0 + i + 0.25), expected[i]) << "key " << i;
    EXPECT_FLOAT_EQ(pCameras[1]->GetNearFarPlanes().y, 77.0f);

    // Without keys: the first active camera; none active gives null.
    scene.SetCameraSelection(nullptr);
    pCameras[1]->SetEndTime(5.0);
    pCameras[2]->SetEndTime(5.0);
    EXPECT_EQ(scene.GetAnimatedCameraAt(1.0), pCameras[1]);
    EXPECT_EQ(scene.GetAnimatedCameraAt(6.0), nullptr);
    KB_GrowingArray<KR_AnimatedCamera*> active;
    active.Add(pCameras[0]);
    EXPECT_EQ(scene.GetAnimatedCamerasAt(active, 1.0).GetNumMembers(), 2u);
    EXPECT_EQ(active[1], pCameras[2]);

    // Keys but no cameras: null.
    TestScene empty;
    empty.SetCameraSelection(Selection({0.0f}));
    EXPECT_EQ(empty.GetAnimatedCameraAt(0.5), nullptr);
}

class FixedTimeFactory : public LibraryFactory
{
public:
    explicit FixedTimeFactory(bool bSynchronized) : LibraryFactory(""), m_bSynchronized(bSynchronized) {}
    bool UseSynchronizedTime() override { return m_bSynchronized; }
    bool m_bSynchronized;
};

TEST(KR_SceneCameraModes, ActiveCameraFollowsTheModeAndTheTimeline)
{
    for (const bool bSynchronized : {true, false})
    {
        TestEngine engine(new FixedTimeFactory(bSynchronized));
        KR_SceneManager manager;
        engine->SetSceneManager(&manager);
        manager.Start();
        KR_ControllerCamera* pController = manager.GetControllerCamera();
        ASSERT_NE(pController, nullptr);
        TestScene scene;
        for (KR_SceneCameraMode eMode : {KR_SCM_Demo, KR_SCM_Rail})
        {
            manager.SetCameraMode(eMode);
            // No cameras: null with synchronised time, the controller camera without.
            EXPECT_EQ(scene.GetActiveCamera(1.0), bSynchronized ? nullptr : pController);
        }
        manager.SetCameraMode(KR_SCM_Edit);
        EXPECT_EQ(scene.GetActiveCamera(1.0), pController);
        // Held timeline (the default): the editor pair; running: the scene pair.
        EXPECT_FLOAT_EQ(pController->GetNearFarPlanes().y, bSynchronized ? 500.0f : 200.0f);
        manager.SetEditorTimeHold(false);
        manager.SetCameraMode(KR_SCM_Roam);
        EXPECT_EQ(scene.GetActiveCamera(1.0), pController);
        EXPECT_FLOAT_EQ(pController->GetNearFarPlanes().y, 200.0f);
        manager.Shutdown();
        engine->SetSceneManager(nullptr);
    }
}

TEST_F(KR_SceneTest, SavingLoadedFilesWritesThemBackUnchanged)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    KF_FileManager directory;
    directory.AddDirectoryRepository(temp.GetPath().c_str());
    WriteSampleScene(directory);
    const std::map<std::string, std::string> before = ReadTree(temp.GetPath());

    m_Engine->SetFileManager(&directory);
    {
        TestScene scene;
        scene.Load();
        ExpectSampleLoaded(scene);
        scene.SaveAllEntities();
    }
    m_Files.Install();
    EXPECT_EQ(ReadTree(temp.GetPath()), before);
}

TEST_F(KR_SceneTest, ArchiveAloneAndArchiveWithWorkingDirectoryLoadEachFileOnce)
{
    TestTempDir source;
    TestTempDir output;
    ASSERT_TRUE(source.IsValid() && output.IsValid());
    {
        KF_FileManager directory;
        directory.AddDirectoryRepository(source.GetPath().c_str());
        WriteSampleScene(directory);
    }
    const std::map<std::string, std::string> before = ReadTree(source.GetPath());
    const std::string sArchive = output.Join("Data.dat");
    {
        KF_NameValidator acceptAll;
        KF_DataRepository builder;
        ASSERT_TRUE(builder.CreateFromDirectory(source.GetPath().c_str(), &acceptAll, false));
        ASSERT_TRUE(builder.SaveToFile(sArchive.c_str()));
    }

    for (const bool bDeveloper : {false, true})
    {
        KF_FileManager files;
        ASSERT_TRUE(files.AddDataRepository(sArchive.c_str()));
        if (bDeveloper)
            files.AddDirectoryRepository(source.GetPath().c_str());
        m_Engine->SetFileManager(&files);
        {
            TestScene scene;
            scene.Load();
            ExpectSampleLoaded(scene);
            // Saved once, into the working directory, under the same names.
            if (bDeveloper)
                scene.SaveAllEntities();
        }
        m_Files.Install();
        EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
    }
    EXPECT_EQ(ReadTree(source.GetPath()), before);
}

TEST_F(KR_SceneTest, DeletingACameraRenumbersAndMovesTheSelectionKeys)
{
    WriteSampleScene(m_Files);
    TestScene scene;
    scene.Load();
    // Keys choosing cameras 0, 1, 2, 1, 2 and a negative key, which stays.
    scene.SetCameraSelection(Selection({0.0f, 1.0f, 2.0f, 1.5f, 2.0f, -3.0f}));
    KR_AnimatedCamera* pSecond = scene.GetAnimatedCameras()[1];
    EXPECT_FALSE(scene.DeleteCamera(nullptr));
    ASSERT_TRUE(scene.DeleteCamera(pSecond));

    ASSERT_EQ(scene.GetAnimatedCameras().GetNumMembers(), 2u);
    EXPECT_STREQ(scene.GetAnimatedCameras()[1]->GetDebugName().GetBuffer(), "camera 2");
    EXPECT_FALSE(m_pRepository->HasFile(CAMERAS + "Scene1_AnimatedCamera02.cam"));
    EXPECT_FALSE(m_pRepository->HasFile(CAMERAS + "Interpolations/Scene1_AnimatedCamera02_CP.int"));
    EXPECT_NE(m_pRepository->GetFileContents(CAMERAS + "Scene1_AnimatedCamera01.cam").find("camera 2"),
              std::string::npos);
    // Empty curve paths (target, field of view, orientation) name no file to remove.
    for (const std::string& sRemoved : m_pRepository->m_Removed)
        EXPECT_NE(sRemoved.back(), '/') << sRemoved;

    KU_VertexInterpolation* pSelection = scene.GetCameraSelectionInterpolation();
    ASSERT_EQ(pSelection->GetNumVertices(), 4u);
    const float expected[] = {0.0f, 1.0f, 1.0f, -3.0f};
    for (std::uint32_t k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(XMVectorGetX(pSelection->GetVertex(k)), expected[k]) << k;
    EXPECT_NE(m_pRepository->GetFileContents(CAMERAS + "Scene1_CameraSelectionInterpolation.int").find("-3"),
              std::string::npos);
}

TEST_F(KR_SceneTest, DeletingALightRenumbersItsKindOnly)
{
    WriteSampleScene(m_Files);
    TestScene scene;
    scene.Load();
    // The last omni light becomes a tube light with a target rail of its own.
    KR_OmniLight* pTube = scene.GetOmniLights()[1];
    pTube->SetTargetRailPath("Interpolations/Tube_Target.int");
    m_pRepository->SetFile(OMNI + "Interpolations/Tube_Target.int", "kept");
    KR_SpotLight stranger;
    EXPECT_FALSE(scene.DeleteLight(&stranger));
    ASSERT_TRUE(scene.DeleteLight(scene.GetOmniLights()[0]));

    ASSERT_EQ(scene.GetOmniLights().GetNumMembers(), 1u);
    EXPECT_FALSE(m_pRepository->HasFile(OMNI + "Scene1_OmniLight01.omn"));
    EXPECT_FALSE(m_pRepository->HasFile(OMNI + "Interpolations/Scene1_OmniLight01_P.int"));
    EXPECT_TRUE(m_pRepository->HasFile(OMNI + "Interpolations/Scene1_OmniLight00_P.int"));
    EXPECT_EQ(m_pRepository->GetFileContents(OMNI + "Interpolations/Tube_Target.int"), "kept");
    EXPECT_NE(m_pRepository->GetFileContents(OMNI + "Scene1_OmniLight00.omn").find("omni 1"),
              std::string::npos);
    EXPECT_TRUE(m_pRepository->HasFile(SPOT + "Scene1_SpotLight00.spt"));

    ASSERT_TRUE(scene.DeleteLight(scene.GetSpotLights()[0]));
    EXPECT_FALSE(m_pRepository->HasFile(SPOT + "Scene1_SpotLight00.spt"));
    EXPECT_FALSE(m_pRepository->HasFile(SPOT + "Interpolations/Scene1_SpotLight00_C.int"));
}

TEST_F(KR_SceneTest, ChunksLoadModelsAndCurvesMatchedWithoutRegardToCase)
{
    m_pRepository->SetFile(CHUNK_LIST,
                           "Assets/Models/World/Rock_A.dae\r\n\r\n\r\nAssets/Models/World/Tree.obj\r\n"
                           "Assets/Models/World/Plain\r\nAssets/Models/World/Broken.dae");
    {
        KB_LinearInterpolation hidden(KB_String((CHUNKS + "rock_a.INT").c_str()));
        hidden.InsertVertex(XMVectorSet(0.0f, 0, 0, 0), 0.0);
        hidden.InsertVertex(XMVectorSet(0.001f, 0, 0, 0), 5.0);
        hidden.SetEndTime(10.0);
        hidden.Save();
    }
    m_pRepository->SetFile(CHUNKS + "Broken.int", "not a curve");
    TestScene scene;
    scene.SetStartTime(2.0);
    scene.SetEndTime(12.0);
    ASSERT_TRUE(scene.LoadChunks());
    EXPECT_STREQ(scene.GetChunkListFileName().GetBuffer(), CHUNK_LIST.c_str());
    ASSERT_EQ(scene.GetChunkModels().GetNumMembers(), 4u);
    ASSERT_EQ(scene.GetChunkInterpolations().GetNumMembers(), 4u);
    EXPECT_EQ(scene.GetChunkInterpolations()[0]->GetNumVertices(), 2u);

    // New curves: one key (1, 0, 0, 0) over the scene's interval, written once; an extensionless
    // model gets "<name>.int"; a file that exists but does not load stays as it was.
    KU_VertexInterpolation* pNew = scene.GetChunkInterpolations()[1];
    EXPECT_STREQ(pNew->GetFilePath().GetBuffer(), (CHUNKS + "Tree.int").c_str());
    EXPECT_EQ(pNew->GetNumVertices(), 1u);
    EXPECT_FLOAT_EQ(XMVectorGetX(pNew->GetVertex(0)), 1.0f);
    EXPECT_DOUBLE_EQ(pNew->GetStartTime(), 2.0);
    EXPECT_TRUE(m_pRepository->HasFile(CHUNKS + "Tree.int"));
    EXPECT_TRUE(m_pRepository->HasFile(CHUNKS + "Plain.int"));
    EXPECT_EQ(m_pRepository->GetFileContents(CHUNKS + "Broken.int"), "not a curve");
    EXPECT_EQ(scene.GetChunkInterpolations()[3]->GetNumVertices(), 1u);
    EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
    // Each curve registered once.
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 4u);
}

TEST_F(KR_SceneTest, ChunksAreDrawnWhileTheirCurveIsAboveZero)
{
    m_pRepository->SetFile(CHUNK_LIST, "Rock_A.dae\nTree.obj");
    {
        // 0 until local 5, then 0.001 (the constant kind holds each key's value).
        KU_ConstantValueInterpolation steps(KB_String((CHUNKS + "Rock_A.int").c_str()));
        steps.InsertVertex(XMVectorSet(0.0f, 0, 0, 0), 0.0);
        steps.InsertVertex(XMVectorSet(0.001f, 0, 0, 0), 5.0);
        steps.SetEndTime(10.0);
        steps.Save();
    }
    TestScene scene;
    scene.SetEndTime(10.0);
    scene.Load();
    RecordingModel* pRock = m_Shelf.Model("Rock_A.dae");
    RecordingModel* pTree = m_Shelf.Model("Tree.obj");
    scene.RenderChunks(1.0, nullptr, false);
    EXPECT_TRUE(pRock->m_Passes.empty());
    ASSERT_EQ(pTree->m_Passes.size(), 1u);
    scene.RenderChunks(6.0, nullptr, true);
    ASSERT_EQ(pRock->m_Passes.size(), 1u);
    EXPECT_EQ(pRock->m_Passes[0], KR_RENDER_PASS_SHADOW_MAP);
    EXPECT_EQ(pTree->m_Passes.back(), KR_RENDER_PASS_SHADOW_MAP);
    EXPECT_EQ(pRock->m_uiInstances, 1u);

    // Without a resource manager the chunk has no model and is skipped.
    m_Engine->SetGraphicsResourceManager(nullptr);
    scene.LoadChunks();
    EXPECT_EQ(scene.GetChunkModels()[0], nullptr);
    scene.RenderChunks(6.0, nullptr, false);
    EXPECT_EQ(pRock->m_Passes.size(), 1u);
}

TEST_F(KR_SceneTest, ChunkListsGoThroughTheRepositories)
{
    TestScene scene;
    KB_GrowingArray<KB_String> names;
    names.Add("X");
    names.Add("Y");
    EXPECT_TRUE(scene.WriteChunkList("list.chk", names));
    EXPECT_EQ(m_pRepository->GetFileContents("list.chk"), "X\nY");
    scene.ParseChunkList("list.chk", names);
    scene.ParseChunkList("missing.chk", names);
    EXPECT_EQ(names.GetNumMembers(), 4u);
    EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
    m_pRepository->SetWritable(false);
    EXPECT_FALSE(scene.WriteChunkList("list.chk", names));
}

// The scene of the frame tests: counts its updates and records each shadow caster pass.
class FrameScene : public TestScene
{
public:
    bool Update(double fTime) override
    {
        ++m_iUpdates;
        return KR_Scene::Update(fTime);
    }
    void RenderModels(double, const XMMATRIX* pLightViewProjection) override
    {
        m_CasterPasses.push_back(*pLightViewProjection);
    }
    int m_iUpdates = 0;
    std::vector<XMMATRIX> m_CasterPasses;
};

class RecordingShaderCore : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    void SetWorldViewProjectionMatrix(const XMMATRIX& m) override { m_Matrices.push_back(m); }
    void SetSpotLights(double, KR_SpotLight* pLight) override { m_Spots.push_back(pLight); }
    void SetOmniLights(double, KR_OmniLight* pLight) override { m_Omnis.push_back(pLight); }
    void SetCubeMaps(const KB_GrowingArray<ID3D11ShaderResourceView*>* pViews,
                     const KB_GrowingArray<XMFLOAT4>* pVectors, const KB_GrowingArray<float>*,
                     const KB_GrowingArray<bool>* pFlags) override
    {
        m_CubeMaps.clear();
        for (std::uint32_t i = 0; i < pVectors->GetNumMembers(); ++i)
            m_CubeMaps.push_back((*pVectors)[i]);
        EXPECT_EQ(pViews->GetNumMembers(), pVectors->GetNumMembers());
        EXPECT_EQ(pFlags->GetNumMembers(), pVectors->GetNumMembers());
    }
    std::vector<XMMATRIX> m_Matrices;
    std::vector<KR_SpotLight*> m_Spots;
    std::vector<KR_OmniLight*> m_Omnis;
    std::vector<XMFLOAT4> m_CubeMaps;
};

// What the scene asked of the post-processing chain, as (id, enabled) with the last record.
class RecordingPostFX : public NullPostFXEngine
{
public:
    bool EnableEffect(std::uint32_t uiId, const void* pRecord) override
    {
        m_Calls.push_back({uiId, true});
        const auto* pParameters = static_cast<const KR_VolumeLightParameters*>(pRecord);
        m_Last.m_pCamera = pParameters->m_pCamera;
        m_Last.m_uiTraceSteps = pParameters->m_uiTraceSteps;
        m_Last.m_fStepScale = pParameters->m_fStepScale;
        m_Last.m_fTraceDistance = pParameters->m_fTraceDistance;
        m_Last.m_fRandomFactor = pParameters->m_fRandomFactor;
        m_uiSpots = pParameters->m_gSpotLights.GetNumMembers();
        return true;
    }
    bool DisableEffect(std::uint32_t uiId) override
    {
        m_Calls.push_back({uiId, false});
        return true;
    }
    std::vector<std::pair<std::uint32_t, bool>> m_Calls;
    KR_VolumeLightParameters m_Last;
    std::uint32_t m_uiSpots = 0;
};

KR_SpotLight* Spot(std::uint32_t uiSide, float fStrength = 1.0f)
{
    auto* pLight = new KR_SpotLight();
    pLight->SetEndTime(100.0);
    pLight->SetPosition(XMFLOAT3(0.0f, 2.0f, 0.0f));
    pLight->SetTarget(XMFLOAT3(0.0f, 0.0f, 10.0f));
    pLight->SetShadowMapResolution(uiSide);
    if (fStrength != 1.0f)
    {
        auto* pStrength = new KB_LinearInterpolation();
        pStrength->InsertVertex(XMVectorSet(fStrength, 0, 0, 0), 0.0);
        pStrength->SetEndTime(100.0);
        pLight->SetStrengthInterpolation(pStrength);
    }
    return pLight;
}

class KR_SceneFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Files.Install();
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Engine->SetInterpolationManager(&m_Registry);
        m_Engine->SetShaderCoreManager(&m_Core);
        m_Engine->SetPostFXEngine(&m_PostFX);
        m_Engine->SetSceneManager(&m_Manager);
        m_Engine->SetGraphicsResourceManager(m_pPool);
        m_Scene.SetEndTime(100.0);
    }
    void TearDown() override
    {
        m_Scene.ReleaseShadowMaps();
        m_Scene.ReleaseAllEntities();
        m_Engine->SetGraphicsResourceManager(nullptr);
        delete m_pPool;
        m_Engine->SetSceneManager(nullptr);
        m_Engine->SetFileManager(nullptr);
    }
    std::uint32_t SideOf(std::uint32_t uiHandle)
    {
        KR_TextureResourceDescription description;
        EXPECT_TRUE(m_pPool->GetTextureDescription(description, uiHandle));
        return description.m_uiWidth;
    }

    TestEngine m_Engine;
    StandInGraphicsDevice m_Device{m_Engine};
    MemoryFiles m_Files;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
    KE_Dispatcher m_Dispatcher;
    KU_InterpolationManager m_Registry;
    RecordingShaderCore m_Core;
    RecordingPostFX m_PostFX;
    KR_SceneManager m_Manager;
    KR_GraphicsResourceManagerDX11* m_pPool = new KR_GraphicsResourceManagerDX11();
    FrameScene m_Scene;
};

TEST_F(KR_SceneFrameTest, ShadowTexturesArePooledPerSpotLightAndWarmedAtLoad)
{
    {
        TestScene writer;
        for (std::uint32_t uiSide : {512u, 512u, 1024u, 256u, 512u})
            writer.GetSpotLights().Add(Spot(uiSide));
        writer.SaveSpotLights();
    }
    m_Scene.Load();
    ASSERT_EQ(m_Scene.GetSpotLights().GetNumMembers(), 5u);
    EXPECT_EQ(m_Scene.GetShadowColorHandles().GetNumMembers(), 0u);
    const std::uint64_t uiMade = D3D11Control::GetCallCount("CreateTexture2D");

    m_Scene.AcquireShadowMaps();
    EXPECT_EQ(D3D11Control::GetCallCount("CreateTexture2D"), uiMade); // all from the warm pool
    ASSERT_EQ(m_Scene.GetShadowColorHandles().GetNumMembers(), 5u);
    ASSERT_EQ(m_Scene.GetShadowDepthHandles().GetNumMembers(), 5u);
    const std::uint32_t sides[5] = {512, 512, 1024, 256, 512};
    for (std::uint32_t i = 0; i < 5; ++i)
    {
        EXPECT_EQ(SideOf(m_Scene.GetShadowColorHandles()[i]), sides[i]);
        EXPECT_EQ(SideOf(m_Scene.GetShadowDepthHandles()[i]), sides[i]);
    }
    m_Scene.ReleaseShadowMaps();
    EXPECT_EQ(m_Scene.GetShadowDepthHandles().GetNumMembers(), 0u);
}

TEST_F(KR_SceneFrameTest, ShadowPassRendersEachLitSpotLightAndRestoresTheDevice)
{
    KR_SpotLight* pLit = Spot(512);
    KR_SpotLight* pDark = Spot(512, 0.0f);
    KR_SpotLight* pVolume = Spot(256);
    pVolume->SetUseAsVolumeLight(true);
    pVolume->SetTarget(XMFLOAT3(5.0f, 0.0f, 5.0f));
    for (KR_SpotLight* pLight : {pLit, pDark, pVolume})
        m_Scene.GetSpotLights().Add(pLight);
    m_Scene.AcquireShadowMaps();
    // Entities reloaded while the maps are held: one more light than handles.
    m_Scene.GetSpotLights().Add(Spot(128));

    // The frame's own target and viewport, to be restored after the pass.
    const KR_TextureResourceDescription frameDescription(64, 48, 0, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
                                                         D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0, 0);
    std::uint32_t uiFrame = m_pPool->AcquireTexture(&frameDescription);
    ID3D11RenderTargetView* pFrameTarget = m_pPool->GetRenderTargetView(uiFrame, 0);
    ID3D11DeviceContext* pContext = m_Device.GetImmediateContext();
    pContext->OMSetRenderTargets(1, &pFrameTarget, nullptr);
    const D3D11_VIEWPORT frameViewport = {0.0f, 0.0f, 64.0f, 48.0f, 0.0f, 1.0f};
    pContext->RSSetViewports(1, &frameViewport);

    m_Scene.UpdateLightSelection(1.0);
    EXPECT_EQ(m_Scene.m_iUpdates, 1);
    ASSERT_EQ(m_Scene.GetShadowColorHandles().GetNumMembers(), 4u);
    ASSERT_EQ(m_Scene.m_CasterPasses.size(), 3u);
    const KR_SpotLight* expectedLights[3] = {pLit, pVolume, m_Scene.GetSpotLights()[3]};
    for (std::size_t i = 0; i < 3; ++i)
    {
        const XMMATRIX mExpected = const_cast<KR_SpotLight*>(expectedLights[i])->GetViewProjectionMatrix(1.0);
        XMFLOAT4X4 expected;
        XMStoreFloat4x4(&expected, mExpected);
        cameratest::ExpectMatrixNear(m_Scene.m_CasterPasses[i], expected.m);
        cameratest::ExpectMatrixNear(m_Core.m_Matrices[i], expected.m);
    }
    EXPECT_EQ(m_Core.m_Spots, (std::vector<KR_SpotLight*>{pLit, pVolume, m_Scene.GetSpotLights()[3]}));
    EXPECT_NE(pLit->GetShadowMapView(), nullptr);
    EXPECT_EQ(pDark->GetShadowMapView(), nullptr);
    ASSERT_EQ(m_Scene.GetVolumeSpotLights().GetNumMembers(), 1u);
    EXPECT_EQ(m_Scene.GetVolumeSpotLights()[0], pVolume);
    EXPECT_EQ(D3D11Control::GetCallCount("ClearRenderTargetView"), 3u);
    EXPECT_EQ(D3D11Control::GetCallCount("ClearDepthStencilView"), 3u);

    ID3D11RenderTargetView* pBound = nullptr;
    pContext->OMGetRenderTargets(1, &pBound, nullptr);
    EXPECT_EQ(pBound, pFrameTarget);
    if (pBound != nullptr)
        pBound->Release();
    UINT uiViewports = 1;
    D3D11_VIEWPORT bound = {};
    pContext->RSGetViewports(&uiViewports, &bound);
    EXPECT_FLOAT_EQ(bound.Width, 64.0f);
    pContext->OMSetRenderTargets(0, nullptr, nullptr);
    m_pPool->ReleaseTexture(&uiFrame);
}

TEST_F(KR_SceneFrameTest, CubeMapListHasOneGlobalEntryThenTheLocalOnes)
{
    const float ranges[5] = {-1.0f, -1.0f, 0.0f, 2.0f, 3.0f};
    for (int i = 0; i < 5; ++i)
    {
        auto* pPlacer = new KR_CubeMapPlacer();
        pPlacer->SetEndTime(i == 4 ? 0.5 : 100.0); // the last is over at 1.0
        pPlacer->SetCubeMapInfluenceRange(ranges[i]);
        pPlacer->SetPosition(XMVectorSet(static_cast<float>(i), 0, 0, 1));
        m_Scene.GetCubeMapPlacers().Add(pPlacer);
    }
    EXPECT_TRUE(m_Scene.Update(1.0));
    ASSERT_EQ(m_Core.m_CubeMaps.size(), 3u);
    EXPECT_FLOAT_EQ(m_Core.m_CubeMaps[0].x, 0.0f);
    EXPECT_FLOAT_EQ(m_Core.m_CubeMaps[0].w, 0.0f);
    EXPECT_FLOAT_EQ(m_Core.m_CubeMaps[1].x, 2.0f);
    EXPECT_FLOAT_EQ(m_Core.m_CubeMaps[1].w, 0.0f);
    EXPECT_FLOAT_EQ(m_Core.m_CubeMaps[2].w, 4.0f);
}

TEST_F(KR_SceneFrameTest, VolumeLightingFollowsTheFrameLightsAndTheTuningCurve)
{
    KR_SpotLight* pVolume = Spot(64);
    pVolume->SetUseAsVolumeLight(true);
    m_Scene.GetSpotLights().Add(pVolume);
    for (int i = 0; i < 6; ++i)
    {
        auto* pCurve = new KB_LinearInterpolation();
        pCurve->InsertVertex(XMVectorSet(0.7f, 30.0f, 0, 0), 0.0);
        pCurve->SetEndTime(100.0);
        m_Scene.GetUserDefinedInterpolations().Add(pCurve);
    }
    KR_Camera camera;
    using Calls = std::vector<std::pair<std::uint32_t, bool>>;

    // No volume light lit yet: off.
    m_Scene.Render(&camera, 1.0, false);
    EXPECT_EQ(m_PostFX.m_Calls, (Calls{{5u, false}}));

    m_Scene.UpdateLightSelection(1.0);
    m_Scene.Render(&camera, 1.0, false);
    ASSERT_EQ(m_PostFX.m_Calls.size(), 2u);
    EXPECT_EQ(m_PostFX.m_Calls[1], (std::pair<std::uint32_t, bool>{5u, true}));
    EXPECT_EQ(m_PostFX.m_Last.m_pCamera, &camera);
    EXPECT_EQ(m_PostFX.m_uiSpots, 1u);
    EXPECT_EQ(m_PostFX.m_Last.m_uiTraceSteps, 32u);
    EXPECT_FLOAT_EQ(m_PostFX.m_Last.m_fRandomFactor, 0.125f);
    EXPECT_FLOAT_EQ(m_PostFX.m_Last.m_fStepScale, 0.7f);
    EXPECT_FLOAT_EQ(m_PostFX.m_Last.m_fTraceDistance, 30.0f);

    // The cube-map pass and a held timeline leave the effect alone.
    m_Scene.Render(&camera, 1.0, true);
    m_Manager.SetCameraMode(KR_SCM_Edit);
    m_Scene.Render(&camera, 1.0, false);
    EXPECT_EQ(m_PostFX.m_Calls.size(), 2u);

    // Fewer than six user-defined curves: no tuning, no effect.
    m_Manager.SetCameraMode(KR_SCM_Demo);
    delete m_Scene.GetUserDefinedInterpolations()[5];
    m_Scene.GetUserDefinedInterpolations().Remove(5);
    m_Scene.Render(&camera, 1.0, false);
    EXPECT_EQ(m_PostFX.m_Calls.back(), (std::pair<std::uint32_t, bool>{5u, false}));
}

TEST_F(KR_SceneFrameTest, RailsAreDrawnInEditModeUnderTheirToggleOnly)
{
    m_Engine->SetDeveloperBuild(true);
    KB_LinearInterpolation* pCurve = Rail(4.0f);
    m_Scene.GetVertexInterpolations().Add(pCurve);
    m_Scene.GetVertexInterpolationVisualisations().Add(new KR_VertexInterpolationVisualisation(pCurve));
    KR_VertexInterpolationVisualisation* pRail = m_Scene.GetVertexInterpolationVisualisations()[0];
    KR_Camera camera;
    m_Manager.SetVisualisationOn(KR_SceneManager::VISUALISATION_CURVES, true);
    m_Scene.Render(&camera, 1.0, false); // Demo mode
    EXPECT_EQ(pRail->GetNumSegments(), 0u);
    m_Manager.SetCameraMode(KR_SCM_Edit);
    m_Scene.Render(&camera, 1.0, true); // the cube-map pass
    EXPECT_EQ(pRail->GetNumSegments(), 0u);
    m_Scene.Render(nullptr, 1.0, false);
    EXPECT_GT(pRail->GetNumSegments(), 0u);
    m_Engine->SetDeveloperBuild(false);
}

TEST_F(KR_SceneFrameTest, RailsDrawnInEditModeAfterASecondLoadAreThoseOfTheNewCurves)
{
    {
        TestScene writer;
        for (float fEnd : {4.0f, 6.0f})
            writer.GetVertexInterpolations().Add(Rail(fEnd));
        writer.SaveInterpolations();
    }
    m_Engine->SetDeveloperBuild(true);
    m_Scene.Load();
    m_Scene.Load();
    KR_Camera camera;
    m_Manager.SetCameraMode(KR_SCM_Edit);
    m_Manager.SetVisualisationOn(KR_SceneManager::VISUALISATION_CURVES, true);
    // Visualisations left from the first load would draw (and pick) curves it deleted.
    m_Scene.Render(&camera, 1.0, false);
    ASSERT_EQ(m_Scene.GetVertexInterpolationVisualisations().GetNumMembers(), 2u);
    ASSERT_EQ(m_Scene.GetVertexInterpolations().GetNumMembers(), 2u);
    for (std::uint32_t i = 0; i < 2; ++i)
        EXPECT_GT(m_Scene.GetVertexInterpolationVisualisations()[i]->GetNumSegments(), 0u);
    const KR_Ray ray = {XMVectorSet(0, 10, 0, 1), XMVectorSet(0, -1, 0, 0)};
    m_Scene.GetPickDistance(1.0, ray);
    m_Engine->SetDeveloperBuild(false);
}

std::vector<double> Stamps(const KU_VertexInterpolation* pCurve)
{
    std::vector<double> stamps;
    for (std::uint32_t i = 0; i < pCurve->GetNumTimeStamps(); ++i)
        stamps.push_back(pCurve->GetTimeStamp(i));
    return stamps;
}

TEST_F(KR_SceneFrameTest, NewCamerasAndCurvesLieOnStraightRails)
{
    const XMVECTOR vFrom = XMVectorSet(0, 0, 0, 1);
    const XMVECTOR vTo = XMVectorSet(10, 0, 20, 1);
    const XMVECTOR vTarget = XMVectorSet(0, 0, 50, 1);
    KR_AnimatedCamera* pCamera =
        m_Scene.CreateNewCameraFromView(0.0, 10.0, 2.0, &vFrom, &vTo, &vTarget, &vTarget, 45.0f);
    ASSERT_EQ(m_Scene.GetAnimatedCameras().GetNumMembers(), 1u);
    const std::vector<double> railStamps = Stamps(pCamera->GetCameraRailInterpolation());
    const std::vector<double> expected = {0.0, 0.2, 2.0, 4.0, 6.0, 8.0, 9.8, 10.0};
    ASSERT_EQ(railStamps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(railStamps[i], expected[i], 1e-9) << i;
    EXPECT_FLOAT_EQ(XMVectorGetZ(pCamera->GetCameraRailInterpolation()->GetVertex(1)), 0.4f);
    EXPECT_TRUE(m_pRepository->HasFile(CAMERAS + "Scene1_AnimatedCamera00.cam"));
    EXPECT_TRUE(m_pRepository->HasFile(CAMERAS + "Interpolations/Scene1_AnimatedCamera00_FOV.int"));

    KU_VertexInterpolation* pCurve = m_Scene.CreateNewVertexInterpolation(0.0, 10.0, 2.0, &vFrom, &vTo);
    EXPECT_EQ(Stamps(pCurve), (std::vector<double>{0.0, 2.0, 4.0, 6.0, 8.0, 10.0}));
    EXPECT_STREQ(pCurve->GetFilePath().GetBuffer(), (VERTEX + "Scene1_VertexInterpolation00.int").c_str());
    EXPECT_EQ(m_Scene.GetVertexInterpolationVisualisations().GetNumMembers(), 1u);

    // A zero step ends instead of looping.
    KU_VertexInterpolation* pShort = m_Scene.CreateNewVertexInterpolation(0.0, 10.0, 0.0, &vFrom, &vTo);
    EXPECT_EQ(pShort->GetNumVertices(), 2u);
}

// What the editor cannot allocate is not made: the call answers null, the lists are as before and
// nothing made on the way is left behind (the sanitizer build sees a leak).
TEST_F(KR_SceneFrameTest, NewCamerasAndCurvesThatCannotBeAllocatedAreNotMade)
{
    const XMVECTOR vFrom = XMVectorSet(0, 0, 0, 1);
    const XMVECTOR vTo = XMVectorSet(10, 0, 20, 1);
    for (std::size_t uiSize :
         {sizeof(KR_AnimatedCamera), sizeof(KB_RotationInterpolation), sizeof(KB_LinearInterpolation)})
    {
        FailingAllocation failing(uiSize);
        EXPECT_EQ(m_Scene.CreateNewCameraFromView(0.0, 10.0, 2.0, &vFrom, &vTo, &vTo, &vTo, 45.0f), nullptr)
            << "objects of " << uiSize << " bytes";
        EXPECT_GE(failing.GetFailures(), 1u);
    }
    EXPECT_EQ(m_Scene.GetAnimatedCameras().GetNumMembers(), 0u);
    for (std::size_t uiSize :
         {sizeof(KB_CubicBSplineInterpolation), sizeof(KR_VertexInterpolationVisualisation)})
    {
        FailingAllocation failing(uiSize);
        EXPECT_EQ(m_Scene.CreateNewVertexInterpolation(0.0, 10.0, 2.0, &vFrom, &vTo), nullptr)
            << "objects of " << uiSize << " bytes";
        EXPECT_GE(failing.GetFailures(), 1u);
    }
    EXPECT_EQ(m_Scene.GetVertexInterpolations().GetNumMembers(), 0u);
    EXPECT_EQ(m_Scene.GetVertexInterpolationVisualisations().GetNumMembers(), 0u);
    EXPECT_EQ(m_Registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
    EXPECT_NE(m_Scene.CreateNewVertexInterpolation(0.0, 10.0, 2.0, &vFrom, &vTo), nullptr);
}

TEST_F(KR_SceneFrameTest, RailTransformsFaceTheTargetRail)
{
    RecordingModel model;
    auto addPoint = [this](float x, float z)
    {
        auto* pCurve = new KB_LinearInterpolation();
        pCurve->InsertVertex(XMVectorSet(x, 0, z, 0), 0.0);
        pCurve->SetEndTime(100.0);
        m_Scene.GetVertexInterpolations().Add(pCurve);
    };
    addPoint(1.0f, 1.0f);
    addPoint(5.0f, 1.0f);
    addPoint(5.0f, 1.0f);
    // The model's +Z turns to +X, its origin sits on the rail.
    m_Scene.ComputeRailTransform(1.0, nullptr, false, 0, &model);
    const float expected[4][4] = {{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {1, 0, 1, 1}};
    cameratest::ExpectMatrixNear(XMLoadFloat4x4(&model.m_Parent), expected);
    m_Scene.ComputeRailTransform(1.0, nullptr, true, 1, &model);  // no direction: no turn
    m_Scene.ComputeRailTransform(1.0, nullptr, false, 2, &model); // no target rail
    m_Scene.ComputeRailTransform(1.0, nullptr, false, 0xFFFFFFFFu, &model);
    m_Scene.ComputeRailTransform(1.0, nullptr, false, 0, nullptr);
    EXPECT_EQ(model.m_Passes, (std::vector<KR_RenderPass>{KR_RENDER_PASS_COLOR, KR_RENDER_PASS_SHADOW_MAP}));
}

class SelectionLog : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType, void* pPayload) override
    {
        m_Selected.push_back({type, pPayload});
        return true;
    }
    std::vector<std::pair<KE_MessageType, void*>> m_Selected;
};

TEST_F(KR_SceneFrameTest, PickingSelectsTheNearestKindAndTheLaterKindOnATie)
{
    m_Engine->SetDeveloperBuild(true);
    SelectionLog log;
    m_Dispatcher.RegisterReceiver(KE_MT_LightSelection, &log);
    m_Dispatcher.RegisterReceiver(KE_MT_CubeMapSelection, &log);
    auto* pOmni = new KR_OmniLight();
    auto* pPlacer = new KR_CubeMapPlacer();
    pOmni->SetEndTime(100.0);
    pPlacer->SetEndTime(100.0);
    m_Scene.GetOmniLights().Add(pOmni);
    m_Scene.GetCubeMapPlacers().Add(pPlacer);
    ASSERT_NE(pOmni->GetPositionMarker(), nullptr);
    ASSERT_NE(pPlacer->GetMarker(), nullptr);
    const KR_Ray ray = {XMVectorSet(0, 0, -10, 1), XMVectorSet(0, 0, 1, 0)};

    // Not shown outside Edit mode: nothing to pick.
    EXPECT_EQ(m_Scene.GetPickDistance(1.0, ray), FLT_MAX);
    m_Manager.SetCameraMode(KR_SCM_Edit);
    m_Manager.SetVisualisationOn(KR_SceneManager::VISUALISATION_LIGHTS, true);
    m_Manager.SetVisualisationOn(KR_SceneManager::VISUALISATION_PLACERS, true);

    // Both markers in the same place: the placer, the later kind, wins.
    pOmni->GetPositionMarker()->SetWorldMatrix(XMMatrixIdentity());
    pPlacer->GetMarker()->SetWorldMatrix(XMMatrixIdentity());
    const float fDistance = m_Scene.GetPickDistance(1.0, ray);
    EXPECT_LT(fDistance, FLT_MAX);
    EXPECT_FLOAT_EQ(fDistance, pOmni->GetPickDistance(1.0, ray));
    m_Scene.SelectPicked(1.0, ray);
    ASSERT_EQ(log.m_Selected.size(), 1u);
    EXPECT_EQ(log.m_Selected[0], (std::pair<KE_MessageType, void*>{KE_MT_CubeMapSelection, pPlacer}));

    // The light nearer: the light.
    pPlacer->GetMarker()->SetWorldMatrix(XMMatrixTranslation(0, 0, 5));
    m_Scene.SelectPicked(1.0, ray);
    ASSERT_EQ(log.m_Selected.size(), 2u);
    EXPECT_EQ(log.m_Selected[1], (std::pair<KE_MessageType, void*>{KE_MT_LightSelection, pOmni}));

    // A camera's rail key, always pickable: chosen while nearer than the light, not otherwise.
    auto* pCamera = new KR_AnimatedCamera("", Rail(4.0f), nullptr, nullptr, nullptr);
    pCamera->SetEndTime(100.0);
    m_Scene.GetAnimatedCameras().Add(pCamera);
    const XMMATRIX mIdentity = XMMatrixIdentity();
    const XMVECTOR vViewer = XMVectorSet(0, 0, -10, 1);
    pCamera->RenderDebug(1.0, &mIdentity, &vViewer); // builds the key boxes
    ASSERT_NE(pCamera->GetCameraRailVisualisation(), nullptr);
    pOmni->GetPositionMarker()->SetWorldMatrix(XMMatrixTranslation(0, 0, 3));
    m_Scene.SelectPicked(1.0, ray);
    EXPECT_EQ(pCamera->GetCameraRailVisualisation()->GetSelectedIndex(), 0u);
    EXPECT_EQ(log.m_Selected.size(), 2u);
    pOmni->GetPositionMarker()->SetWorldMatrix(XMMatrixTranslation(0, 0, -5));
    m_Scene.SelectPicked(1.0, ray);
    ASSERT_EQ(log.m_Selected.size(), 3u);
    EXPECT_EQ(log.m_Selected[2].second, pOmni);

    // A miss selects nothing; an inactive scene picks nothing.
    const KR_Ray away = {XMVectorSet(0, 50, -10, 1), XMVectorSet(0, 0, 1, 0)};
    m_Scene.SelectPicked(1.0, away);
    EXPECT_EQ(log.m_Selected.size(), 3u);
    EXPECT_EQ(m_Scene.GetPickDistance(200.0, ray), FLT_MAX);

    m_Dispatcher.UnRegisterReceiver(KE_MT_LightSelection, &log);
    m_Dispatcher.UnRegisterReceiver(KE_MT_CubeMapSelection, &log);
    m_Engine->SetDeveloperBuild(false);
}

} // namespace
