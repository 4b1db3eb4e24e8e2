#include "render/scene/KR_Scene.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KF_NameValidator.h"
#include "platform/crt/CrtControl.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_EmptyModelResource.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

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
    void Render(double, KR_RenderPass pass, const XMMATRIX*, const XMMATRIX*,
                std::uint32_t uiInstances) override
    {
        m_Passes.push_back(pass);
        m_uiInstances = uiInstances;
    }
    std::vector<KR_RenderPass> m_Passes;
    std::uint32_t m_uiInstances = 0;
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
        m_pRepository = new RecordingRepository();
        m_Files.AddRepository(m_pRepository);
        m_Engine->SetFileManager(&m_Files);
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
        m_Engine->SetFileManager(&m_Files);
    }

    TestEngine m_Engine;
    KF_FileManager m_Files;
    RecordingRepository* m_pRepository = nullptr; // owned by m_Files
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
        EXPECT_EQ(scene.GetShadowDepthDescription().m_format, DXGI_FORMAT_D32_FLOAT);
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
    m_Engine->SetFileManager(&m_Files);
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
        m_Engine->SetFileManager(&m_Files);
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

} // namespace
