#include "production/KV27_AssetGenerator.h"

#include "audio/KA_AudioContextFmod.h"
#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResource.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/fmod/FmodControl.h"
#include "production/KV27_AssetManifest.h"
#include "production/KV27_NameValidator.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/device/KR_Texture3DBuilder.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_ModelResource.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneConfig.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/MeshMakingResourceManager.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>
#include <tinyxml.h>
#include <vector>

using namespace DirectX;
namespace fs = std::filesystem;

namespace
{

const fs::path SOURCE_ASSETS = fs::path(KV_SOURCE_ROOT) / "assets";
const fs::path SOURCE_MANIFEST = fs::path(KV_SOURCE_ROOT) / "assets.manifest";
// A prop's curve that the tests edit, relative to the tree.
const std::string EDITED_CURVE = "Entities/Scene1/Interpolations/Vertex/Scene1_VertexInterpolation02.int";

KV27_AssetManifest ReadManifest()
{
    KV27_AssetManifest manifest;
    EXPECT_TRUE(manifest.Load(SOURCE_MANIFEST.string())) << SOURCE_MANIFEST << " (run kvassets)";
    return manifest;
}

// The committed files that differ from the manifest (a developer's edits), with the curve the
// tests edit added.
std::vector<std::string> EditedWithTheTestsCurve()
{
    std::vector<std::string> edited = ReadManifest().ListEdited(SOURCE_ASSETS.string());
    if (!std::binary_search(edited.begin(), edited.end(), EDITED_CURVE))
        edited.insert(std::lower_bound(edited.begin(), edited.end(), EDITED_CURVE), EDITED_CURVE);
    return edited;
}

// Moves the first key of the curve up as the editor would, saved by the curve's own writer, with a
// file manager over root (the folder holding "assets/") lent to the engine singleton meanwhile.
void EditCurve(const fs::path& root, const std::string& sCurve)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    ASSERT_NE(nullptr, pEngine);
    KF_FileManager* pPrevious = pEngine->GetFileManager();
    KF_FileManager files;
    ASSERT_TRUE(files.AddDirectoryRepository(KB_String(root.string().c_str())));
    pEngine->SetFileManager(&files);
    std::unique_ptr<KU_VertexInterpolation> pCurve(
        KU_VertexInterpolation::LoadVertexInterpolation(KB_String(("Assets/" + sCurve).c_str())));
    EXPECT_NE(nullptr, pCurve);
    if (pCurve != nullptr)
    {
        pCurve->SetVertex(0, XMVectorAdd(pCurve->GetVertex(0), XMVectorSet(0.0f, 0.25f, 0.0f, 0.0f)));
        EXPECT_TRUE(pCurve->Save());
    }
    pCurve.reset();
    pEngine->SetFileManager(pPrevious);
}

// A model cache is written by the engine beside its model: "<model file>.bin".
bool IsModelCache(const fs::path& tree, const std::string& sFile)
{
    return sFile.size() > 4 && sFile.compare(sFile.size() - 4, 4, ".bin") == 0 &&
           fs::exists(tree / sFile.substr(0, sFile.size() - 4));
}

// Runs the command; its exit code, with what it printed on stdout in *pOutput.
int RunCommand(const std::string& sCommand, std::string* pOutput)
{
    FILE* pPipe = popen(sCommand.c_str(), "r");
    if (pPipe == nullptr)
        return -1;
    char buffer[4096];
    std::size_t uiRead = 0;
    while ((uiRead = std::fread(buffer, 1, sizeof(buffer), pPipe)) > 0)
        pOutput->append(buffer, uiRead);
    const int iStatus = pclose(pPipe);
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

std::vector<char> ReadWhole(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every regular file under the folder, relative and with '/' separators, sorted.
std::vector<std::string> ListFiles(const fs::path& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

bool IsGenerated(const std::string& sRelative)
{
    if (sRelative == KV27_AssetGenerator::SCENE_CONFIG_FILE)
        return true;
    for (const char* pFolder : KV27_AssetGenerator::OWNED_FOLDERS)
        if (sRelative.rfind(std::string(pFolder) + "/", 0) == 0)
            return true;
    return false;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A production scene without its own drawing: the base loads and answers.
class AssetScene : public KR_Scene
{
public:
    explicit AssetScene(const char* pName) { SetSceneName(pName); }
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
};

// Minimum curve counts, rails (start i, target i + 1) of each production scene.
struct SceneRule
{
    std::uint32_t uiVertexCurves;
    std::uint32_t uiUserCurves;
    std::vector<std::uint32_t> vRails;
};
const SceneRule SCENE_RULES[5] = {{6, 8, {}},
                                  {16, 13, {6, 8, 10, 12, 14}},
                                  {14, 12, {6, 8, 10, 12}},
                                  {16, 11, {2, 4, 6, 14}},
                                  {10, 9, {0, 2}}};

// The packed archive of the committed asset tree as the only repository of a test engine, with a
// stand-in graphics device and the mesh-making resource manager.
class KV27_AssetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.IsValid());
        // Staged as the run command stages it: a copy of the tree with its effects precompiled.
        const fs::path stage = fs::path(m_temp.GetPath()) / "assets";
        fs::copy(SOURCE_ASSETS, stage, fs::copy_options::recursive);
        EditTree(stage);
        m_stage = stage;
        const std::string sCommand = std::string("\"") + KV_KVFXC + "\" \"" + SOURCE_ASSETS.string() +
                                     "\" \"" + stage.string() + "\" >/dev/null";
        ASSERT_EQ(0, std::system(sCommand.c_str()));
        KV27_NameValidator validator;
        KF_DataRepository archive;
        ASSERT_TRUE(archive.CreateFromDirectory(KB_String(stage.string().c_str()), &validator, true))
            << archive.GetBuildError().GetBuffer();
        const std::string sArchive = m_temp.Join("KV27.dat");
        ASSERT_TRUE(archive.SaveToFile(KB_String(sArchive.c_str())));
        ASSERT_TRUE(m_files.AddDataRepository(KB_String(sArchive.c_str())));
        m_engine->SetFileManager(&m_files);
        m_engine->SetGraphicsResourceManager(&m_meshes);
        D3D11Control::Reset();
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, &m_pContext));
        m_pGraphicsDevice = std::make_unique<FakeGraphicsDevice>(m_pDevice, m_pContext);
        m_engine->SetGraphicsDevice(m_pGraphicsDevice.get());
    }
    void TearDown() override
    {
        m_engine->SetGraphicsDevice(nullptr);
        m_pGraphicsDevice.reset();
        if (m_pContext != nullptr)
            m_pContext->ClearState(), m_pContext->Release();
        if (m_pDevice != nullptr)
            m_pDevice->Release();
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
        D3D11Control::Reset();
        m_engine->SetGraphicsResourceManager(nullptr);
        m_engine->SetFileManager(nullptr);
    }

    // Changes the copy of the tree before it is packed, as a developer's edits would.
    virtual void EditTree(const fs::path& /*tree*/) {}

    // Every file of the packed tree through the engine's reader of its kind.
    void CheckEveryFileLoads();
    // The scenes' rules through the scene base, as the production reads them.
    void CheckSceneRules();

    std::vector<std::uint8_t> Read(const std::string& sPath)
    {
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (!m_files.ReadFile(KB_String(sPath.c_str()), &uiSize, &pData))
            return {};
        std::vector<std::uint8_t> bytes(pData, pData + uiSize);
        m_files.RemoveReference(KB_String(sPath.c_str()));
        return bytes;
    }

    std::vector<std::string> Find(const std::string& sPattern)
    {
        KB_GrowingArray<KB_String> gNames;
        m_files.FindFiles(KB_String(sPattern.c_str()), gNames);
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < gNames.GetNumMembers(); ++i)
            names.emplace_back(gNames[i].GetBuffer());
        return names;
    }

    // The configuration as the scene manager reads it; every value element of the shipped file
    // must be one of the names it knows.
    std::vector<KR_SceneConfigEntry> ReadSceneConfig()
    {
        std::vector<KR_SceneConfigEntry> scenes;
        std::unique_ptr<TiXmlDocument> pDocument(
            KU_XmlUtilities::LoadXmlDocument(&m_files, KB_String("Assets/sceneconfig.xml")));
        if (pDocument == nullptr)
            return scenes;
        for (const TiXmlElement* pScene = pDocument->FirstChildElement(); pScene != nullptr;
             pScene = pScene->NextSiblingElement())
            for (const TiXmlElement* pValue = pScene->FirstChildElement(); pValue != nullptr;
                 pValue = pValue->NextSiblingElement())
            {
                const std::uint32_t uiHash = KR_SceneConfig::HashName(pValue->Value());
                EXPECT_TRUE(uiHash == KR_SceneConfig::DURATION_HASH ||
                            uiHash == KR_SceneConfig::NEAR_PLANE_HASH ||
                            uiHash == KR_SceneConfig::FAR_PLANE_HASH ||
                            uiHash == KR_SceneConfig::EDITOR_FAR_PLANE_HASH)
                    << pValue->Value();
            }
        KB_GrowingArray<KR_SceneConfigEntry> gEntries;
        KR_SceneConfig::Parse(*pDocument, gEntries);
        for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
            scenes.push_back(gEntries[i]);
        return scenes;
    }

    TestTempDir m_temp;
    fs::path m_stage; // the tree as packed, without the compiled effects
    TestEngine m_engine;
    KF_FileManager m_files;
    MeshMakingResourceManager m_meshes;
    ID3D11Device* m_pDevice = nullptr;
    ID3D11DeviceContext* m_pContext = nullptr;
    std::unique_ptr<FakeGraphicsDevice> m_pGraphicsDevice;
};

XMFLOAT4 ValueAt(KU_VertexInterpolation& curve, double fTime)
{
    XMVECTOR v = XMVectorZero();
    curve.GetValueAtAbsoluteTime(&v, fTime);
    XMFLOAT4 f;
    XMStoreFloat4(&f, v);
    return f;
}

float Distance(const XMFLOAT4& a, const XMFLOAT4& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

} // namespace

TEST(KV27_AssetGeneratorTest, FreshRunReproducesTheCommittedManifest)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    TestEngine engine;
    KF_FileManager files;
    ASSERT_TRUE(files.AddDirectoryRepository(KB_String(temp.GetPath().c_str())));
    engine->SetFileManager(&files);
    std::string sError;
    ASSERT_TRUE(KV27_AssetGenerator::Generate(temp.GetPath(), &sError)) << sError;
    engine->SetFileManager(nullptr);

    KV27_AssetManifest fresh;
    ASSERT_TRUE(fresh.ReadFolder(temp.GetPath()));
    for (const KV27_AssetManifest::Entry& entry : fresh.GetEntries())
        EXPECT_TRUE(IsGenerated(entry.sPath)) << entry.sPath << " lies outside the generator's folders";
    // Among them the files a scene writes when it saves.
    for (std::uint32_t i = 1; i <= KV27_AssetGenerator::NUM_SCENES; ++i)
    {
        const std::string sScene = "Scene" + std::to_string(i);
        EXPECT_NE(nullptr, fresh.Find("Entities/" + sScene + "/AnimatedCameras/" + sScene +
                                      "_CameraSelectionInterpolation.int"));
    }
    const KV27_AssetManifest committed = ReadManifest();
    for (const KV27_AssetManifest::Entry& entry : fresh.GetEntries())
    {
        const KV27_AssetManifest::Entry* pCommitted = committed.Find(entry.sPath);
        EXPECT_TRUE(pCommitted != nullptr && pCommitted->uiHash == entry.uiHash)
            << entry.sPath << " is not in the committed manifest as generated (rerun kvassets and commit)";
    }
    for (const KV27_AssetManifest::Entry& entry : committed.GetEntries())
        EXPECT_NE(nullptr, fresh.Find(entry.sPath))
            << entry.sPath << " is in the manifest but no longer generated";
    std::ifstream file(SOURCE_MANIFEST, std::ios::binary);
    const std::string sCommitted((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fresh.Format(), sCommitted);
}

TEST(KV27_AssetGeneratorTest, CommittedFilesMatchTheManifestOrAreReportedAsEdited)
{
    // The committed tree is the show's data: a file edited in developer mode is reported, and
    // the asset tests check the scenes' rules on it.
    const KV27_AssetManifest manifest = ReadManifest();
    EXPECT_GT(manifest.GetEntries().size(), 200u);
    for (const KV27_AssetManifest::Entry& entry : manifest.GetEntries())
        EXPECT_TRUE(IsGenerated(entry.sPath)) << entry.sPath;
    const std::vector<std::string> edited = manifest.ListEdited(SOURCE_ASSETS.string());
    for (const std::string& sPath : edited)
    {
        std::printf("edited since generated: assets/%s\n", sPath.c_str());
        ::testing::Test::RecordProperty("edited", sPath);
    }
}

TEST(KV27_AssetGeneratorTest, SceneSaveWithoutEditsLeavesEveryFileIdentical)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const fs::path tree = fs::path(temp.GetPath()) / "assets";
    fs::copy(SOURCE_ASSETS, tree, fs::copy_options::recursive);
    {
        // Developer mode at the repository root: the working directory's "assets/" is "Assets/".
        TestEngine engine;
        KF_FileManager files;
        ASSERT_TRUE(files.AddDirectoryRepository(KB_String(temp.GetPath().c_str())));
        engine->SetFileManager(&files);
        double fStart = 0.0;
        for (std::uint32_t i = 0; i < KV27_AssetGenerator::NUM_SCENES; ++i)
        {
            // The scene manager times each scene after the ones before it and saves those active.
            AssetScene scene(("Scene" + std::to_string(i + 1)).c_str());
            scene.SetStartTime(fStart);
            fStart += KV27_AssetGenerator::SCENE_DURATIONS[i];
            scene.SetEndTime(fStart);
            ASSERT_TRUE(scene.LoadAllEntities());
            ASSERT_TRUE(scene.SaveAllEntities());
            scene.Unload();
        }
        // Then every audio entity saves itself.
        KB_GrowingArray<KB_String> gNames;
        files.FindFiles(KB_String("Assets/Entities/Audio/*.aud"), gNames);
        ASSERT_EQ(1u, gNames.GetNumMembers());
        KA_AudioEntity music;
        ASSERT_TRUE(music.Load(KB_String("Assets/Entities/Audio/") + gNames[0]));
        ASSERT_TRUE(music.Save());
        engine->SetFileManager(nullptr);
    }
    const std::vector<std::string> before = ListFiles(SOURCE_ASSETS);
    const std::vector<std::string> after = ListFiles(tree);
    for (const std::string& sFile : after)
        EXPECT_TRUE(std::binary_search(before.begin(), before.end(), sFile))
            << sFile << " was added by the save";
    for (const std::string& sFile : before)
        EXPECT_TRUE(ReadWhole(tree / sFile) == ReadWhole(SOURCE_ASSETS / sFile)) << sFile << " was changed";
}

TEST(KV27_AssetGeneratorTest, EditedCurveIsReportedAndSurvivesKvassetsUnlessForced)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const fs::path tree = fs::path(temp.GetPath()) / "assets";
    const fs::path manifest = fs::path(temp.GetPath()) / "assets.manifest";
    fs::copy(SOURCE_ASSETS, tree, fs::copy_options::recursive);
    fs::copy_file(SOURCE_MANIFEST, manifest);
    {
        TestEngine engine;
        EditCurve(temp.GetPath(), EDITED_CURVE);
    }
    const std::vector<char> edited = ReadWhole(tree / EDITED_CURVE);
    ASSERT_FALSE(edited == ReadWhole(SOURCE_ASSETS / EDITED_CURVE));
    const KV27_AssetManifest committed = ReadManifest();
    EXPECT_EQ(EditedWithTheTestsCurve(), committed.ListEdited(tree.string()));

    std::string sOutput;
    ASSERT_EQ(0, RunCommand(std::string("\"") + KV_KVASSETS + "\" \"" + tree.string() + "\"", &sOutput))
        << sOutput;
    EXPECT_NE(std::string::npos, sOutput.find(EDITED_CURVE)) << sOutput;
    EXPECT_TRUE(edited == ReadWhole(tree / EDITED_CURVE));
    EXPECT_EQ(EditedWithTheTestsCurve(), committed.ListEdited(tree.string()));
    EXPECT_TRUE(ReadWhole(manifest) == ReadWhole(SOURCE_MANIFEST));

    sOutput.clear();
    ASSERT_EQ(0,
              RunCommand(std::string("\"") + KV_KVASSETS + "\" --force \"" + tree.string() + "\"", &sOutput))
        << sOutput;
    EXPECT_EQ(std::string::npos, sOutput.find(EDITED_CURVE)) << sOutput;
    EXPECT_TRUE(committed.ListEdited(tree.string()).empty());
}

TEST(KV27_AssetGeneratorTest, InstallReplacesAndRemovesOnlyWhatTheLastRunMadeUnlessForced)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    const fs::path staged = fs::path(temp.GetPath()) / "staged";
    const fs::path tree = fs::path(temp.GetPath()) / "assets";
    auto write = [](const fs::path& file, const std::string& sText)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << sText;
    };
    auto read = [](const fs::path& file)
    {
        const std::vector<char> bytes = ReadWhole(file);
        return std::string(bytes.begin(), bytes.end());
    };
    // The last run made a, b, old and gone; since then b and old were edited, gone was deleted and
    // mine was added. This run makes a, b and new.
    write(tree / "Entities/a.int", "a1");
    write(tree / "Entities/b.int", "b1");
    write(tree / "Entities/Scene9/Stale.int", "stale");
    write(tree / "Entities/Scene8/old.int", "old1");
    KV27_AssetManifest last;
    ASSERT_TRUE(last.ReadFolder(tree.string()));
    write(tree / "Entities/b.int", "b1 edited");
    write(tree / "Entities/Scene8/old.int", "old1 edited");
    write(tree / "Entities/mine.int", "mine");
    ASSERT_TRUE(last.Save(KV27_AssetManifest::GetManifestPath(tree.string() + "/")));
    write(staged / "Entities/a.int", "a2");
    write(staged / "Entities/b.int", "b2");
    write(staged / "Entities/new.int", "new");

    KV27_AssetGenerator::InstallReport report;
    std::string sError;
    ASSERT_TRUE(KV27_AssetGenerator::Install(staged.string(), tree.string(), false, &report, &sError))
        << sError;
    EXPECT_EQ("a2", read(tree / "Entities/a.int"));
    EXPECT_EQ("b1 edited", read(tree / "Entities/b.int"));
    EXPECT_EQ("new", read(tree / "Entities/new.int"));
    EXPECT_EQ("mine", read(tree / "Entities/mine.int"));
    EXPECT_EQ("old1 edited", read(tree / "Entities/Scene8/old.int"));
    // A file of an earlier run that this run does not make is gone, with its emptied folder.
    EXPECT_FALSE(fs::exists(tree / "Entities/Scene9"));
    EXPECT_EQ((std::vector<std::string>{"Entities/Scene8/old.int", "Entities/b.int"}), report.vKept);
    EXPECT_EQ(std::vector<std::string>{"Entities/Scene9/Stale.int"}, report.vRemoved);
    KV27_AssetManifest fresh;
    ASSERT_TRUE(fresh.ReadFolder(staged.string()));
    KV27_AssetManifest recorded;
    ASSERT_TRUE(recorded.Load(tree.string() + ".manifest"));
    EXPECT_EQ(fresh.Format(), recorded.Format());

    // The next run keeps the edit still; forced, it replaces and removes what it made.
    ASSERT_TRUE(KV27_AssetGenerator::Install(staged.string(), tree.string(), false, &report, &sError))
        << sError;
    EXPECT_EQ(std::vector<std::string>{"Entities/b.int"}, report.vKept);
    ASSERT_TRUE(last.Save(tree.string() + ".manifest"));
    ASSERT_TRUE(KV27_AssetGenerator::Install(staged.string(), tree.string(), true, &report, &sError))
        << sError;
    EXPECT_TRUE(report.vKept.empty());
    EXPECT_EQ("b2", read(tree / "Entities/b.int"));
    EXPECT_FALSE(fs::exists(tree / "Entities/Scene8/old.int"));
    EXPECT_EQ("mine", read(tree / "Entities/mine.int"));

    // A manifest that does not parse stops an unforced run before it writes anything.
    write(tree / "Entities/a.int", "a3");
    write(tree.string() + ".manifest", "not a manifest\n");
    EXPECT_FALSE(KV27_AssetGenerator::Install(staged.string(), tree.string(), false, &report, &sError));
    EXPECT_EQ("a3", read(tree / "Entities/a.int"));
}

void KV27_AssetsTest::CheckEveryFileLoads()
{
    std::set<std::string> libraryMaterials;
    {
        std::unique_ptr<TiXmlDocument> pLibrary(
            KU_XmlUtilities::LoadXmlDocument(&m_files, KB_String("Assets/Materials/KV27_Materials.xml")));
        ASSERT_NE(nullptr, pLibrary);
        for (const TiXmlElement* p = pLibrary->RootElement()->FirstChildElement("material"); p != nullptr;
             p = p->NextSiblingElement("material"))
            libraryMaterials.insert(p->Attribute("id"));
    }
    FmodControl::Reset();
    auto pAudio = std::make_unique<KA_AudioContextFmod>();
    ASSERT_TRUE(pAudio->Initialize());
    ASSERT_TRUE(pAudio->SelectAudioDevice(0));

    std::uint32_t uiRead = 0;
    for (const std::string& sFile : ListFiles(m_stage))
    {
        SCOPED_TRACE(sFile);
        const std::string sPath = "Assets/" + sFile;
        const std::string sExtension = Lower(fs::path(sFile).extension().string());
        // Effects were compiled into the stage; model caches are the engine's own, written
        // beside the models by a developer run (and ignored by the repository).
        if (sExtension == ".fxo" || IsModelCache(m_stage, sFile))
            continue;
        if (sExtension == ".fx")
        {
            // Effects ship precompiled: the archive refuses their source and holds the ".fxo".
            EXPECT_FALSE(m_files.FileExists(KB_String(sPath.c_str())));
            const std::string sCompiled = sPath.substr(0, sPath.size() - 3) + ".fxo";
            EXPECT_FALSE(Read(sCompiled).empty()) << sCompiled;
            continue;
        }
        ASSERT_TRUE(m_files.FileExists(KB_String(sPath.c_str())));
        ++uiRead;
        if (sExtension == ".hlsl" || sExtension == ".hlsli")
            EXPECT_FALSE(Read(sPath).empty()); // compiled by the shader tests
        else if (sExtension == ".xml")
            EXPECT_NE(nullptr, std::unique_ptr<TiXmlDocument>(
                                   KU_XmlUtilities::LoadXmlDocument(&m_files, KB_String(sPath.c_str()))));
        else if (sExtension == ".int")
            EXPECT_NE(nullptr,
                      std::unique_ptr<KU_VertexInterpolation>(
                          KU_VertexInterpolation::LoadVertexInterpolation(KB_String(sPath.c_str()))));
        else if (sExtension == ".cam")
        {
            KR_AnimatedCamera camera{KB_String(sPath.c_str())};
            EXPECT_TRUE(camera.LoadCameraFromFile(KB_String(sPath.c_str())));
            EXPECT_NE(nullptr, camera.GetCameraRailInterpolation());
            EXPECT_NE(nullptr, camera.GetCameraTargetRailInterpolation());
            EXPECT_NE(nullptr, camera.GetFOVInterpolation());
        }
        else if (sExtension == ".omn")
        {
            KR_OmniLight light;
            EXPECT_TRUE(light.LoadFromFile(KB_String(sPath.c_str())));
            EXPECT_TRUE(light.GetPositionRailPath().GetLength() == 0 || light.HasPositionRail());
        }
        else if (sExtension == ".spt")
        {
            KR_SpotLight light;
            EXPECT_TRUE(light.LoadFromFile(KB_String(sPath.c_str())));
        }
        else if (sExtension == ".cmp")
        {
            KR_CubeMapPlacer placer;
            EXPECT_TRUE(placer.LoadFromFile(KB_String(sPath.c_str())));
            EXPECT_TRUE(placer.IsDynamic() || m_files.FileExists(placer.GetCubeMapPath()));
        }
        else if (sExtension == ".aud")
        {
            KA_AudioEntity entity;
            EXPECT_TRUE(entity.Load(KB_String(sPath.c_str())));
            EXPECT_TRUE(m_files.FileExists(entity.GetAudioFilePath()));
        }
        else if (sExtension == ".wav")
        {
            std::unique_ptr<KA_AudioResource> pSound(
                pAudio->CreateAudioResource(KB_String(sPath.c_str()), false, false));
            ASSERT_NE(nullptr, pSound);
            EXPECT_GT(pSound->GetLength(), 1.0);
        }
        else if (sExtension == ".png" || sExtension == ".dds")
        {
            const std::vector<std::uint8_t> bytes = Read(sPath);
            ID3D11Resource* pTexture = nullptr;
            EXPECT_EQ(S_OK, D3DX11CreateTextureFromMemory(m_pDevice, bytes.data(), bytes.size(), nullptr,
                                                          nullptr, &pTexture, nullptr));
            if (pTexture != nullptr)
                pTexture->Release();
        }
        else if (sExtension == ".dae")
        {
            std::unique_ptr<KR_ModelResource> pModel(
                KR_ColladaImporter::Import(KB_String(sPath.c_str()), 1, 1, 0));
            EXPECT_NE(nullptr, pModel);
            // Every triangle list names a material of the shipped library.
            TiXmlDocument document;
            const std::vector<std::uint8_t> bytes = Read(sPath);
            document.Parse(std::string(bytes.begin(), bytes.end()).c_str());
            const TiXmlElement* pMesh = TiXmlHandle(&document)
                                            .FirstChildElement("COLLADA")
                                            .FirstChildElement("library_geometries")
                                            .FirstChildElement("geometry")
                                            .FirstChildElement("mesh")
                                            .ToElement();
            ASSERT_NE(nullptr, pMesh);
            for (const TiXmlElement* p = pMesh->FirstChildElement("triangles"); p != nullptr;
                 p = p->NextSiblingElement("triangles"))
                EXPECT_EQ(1u, libraryMaterials.count(p->Attribute("material"))) << p->Attribute("material");
        }
        else if (sExtension == ".chk")
        {
            // Each line names a world model in the archive (its curve is checked with the scene).
            const std::vector<std::uint8_t> bytes = Read(sPath);
            std::string sLine;
            for (std::size_t i = 0; i <= bytes.size(); ++i)
            {
                if (i < bytes.size() && bytes[i] != '\n')
                {
                    sLine += static_cast<char>(bytes[i]);
                    continue;
                }
                EXPECT_TRUE(sLine.rfind("Assets/Models/World/", 0) == 0 &&
                            m_files.FileExists(KB_String(sLine.c_str())))
                    << sLine;
                sLine.clear();
            }
        }
        else
        {
            ADD_FAILURE() << "no reader is tried for this kind of file";
        }
    }
    EXPECT_GT(uiRead, 200u);
    pAudio.reset();
    FmodControl::Reset();
}

TEST_F(KV27_AssetsTest, EveryFileOfTheTreeLoadsFromTheArchiveThroughItsReader)
{
    CheckEveryFileLoads();
}

void KV27_AssetsTest::CheckSceneRules()
{
    const std::vector<KR_SceneConfigEntry> config = ReadSceneConfig();
    ASSERT_EQ(5u, config.size());
    double fStart = 0.0;
    bool bDynamicPlacer = false;
    for (std::uint32_t uiScene = 0; uiScene < 5; ++uiScene)
    {
        const std::string sScene = "Scene" + std::to_string(uiScene + 1);
        SCOPED_TRACE(sScene);
        const SceneRule& rule = SCENE_RULES[uiScene];
        const KR_SceneConfigEntry& sceneConfig = config[uiScene];
        const double fEnd = fStart + sceneConfig.fDuration;
        EXPECT_GT(sceneConfig.fFarPlane, sceneConfig.fNearPlane);
        EXPECT_GT(sceneConfig.fEditorFarPlane, sceneConfig.fFarPlane);
        const std::string sFolder = "Assets/Entities/" + sScene + "/";

        // The scene base loads the folder as a production scene would.
        AssetScene scene(sScene.c_str());
        scene.SetStartTime(fStart);
        scene.SetEndTime(fEnd);
        scene.SetNearFarPlanes(static_cast<float>(sceneConfig.fNearPlane),
                               static_cast<float>(sceneConfig.fFarPlane));
        ASSERT_TRUE(scene.LoadAllEntities());
        auto& vertex = scene.GetVertexInterpolations();
        auto& user = scene.GetUserDefinedInterpolations();
        ASSERT_GE(vertex.GetNumMembers(), rule.uiVertexCurves);
        ASSERT_GE(user.GetNumMembers(), rule.uiUserCurves);
        ASSERT_GE(user.GetNumMembers(), 6u);
        // Listed in the order of their numbers, which is the index the scenes address them by.
        for (std::uint32_t i = 0; i < vertex.GetNumMembers(); ++i)
            EXPECT_NE(std::string::npos, std::string(vertex[i]->GetFilePath().GetBuffer())
                                             .find("VertexInterpolation" + std::string(i < 10 ? "0" : "") +
                                                   std::to_string(i) + ".int"));

        // Cameras: one at every moment of the scene, its eye never on its target.
        for (double t = fStart; t < fEnd; t = fStart + std::round((t - fStart) / 0.05 + 1.0) * 0.05)
        {
            KR_AnimatedCamera* pCamera = scene.GetAnimatedCameraAt(t);
            ASSERT_NE(nullptr, pCamera) << "no camera at " << t;
            ASSERT_NE(nullptr, pCamera->GetCameraRailInterpolation());
            ASSERT_NE(nullptr, pCamera->GetCameraTargetRailInterpolation());
            EXPECT_GT(Distance(ValueAt(*pCamera->GetCameraRailInterpolation(), t),
                               ValueAt(*pCamera->GetCameraTargetRailInterpolation(), t)),
                      1.0f)
                << t;
        }

        // Rails, depth of field and the volume-lighting distance at every moment.
        for (double t = fStart; t < fEnd; t = fStart + std::round((t - fStart) / 0.02 + 1.0) * 0.02)
        {
            for (std::uint32_t i : rule.vRails)
                ASSERT_GT(Distance(ValueAt(*vertex[i], t), ValueAt(*vertex[i + 1], t)), 0.1f)
                    << "rail " << i << " meets its target at " << t;
            const XMFLOAT4 f012 = ValueAt(*user[3], t);
            const XMFLOAT4 f34 = ValueAt(*user[4], t);
            ASSERT_TRUE(f012.y != 0.0f && f012.z != 0.0f && f34.x != 0.0f && f34.y != 0.0f) << t;
            ASSERT_GT(ValueAt(*user[5], t).y, sceneConfig.fNearPlane) << t;
        }

        // Lights of both kinds; spot lights with a usable shadow-map size.
        EXPECT_GE(scene.GetOmniLights().GetNumMembers(), 1u);
        EXPECT_GE(scene.GetSpotLights().GetNumMembers(), 1u);
        for (std::uint32_t i = 0; i < scene.GetSpotLights().GetNumMembers(); ++i)
            EXPECT_GE(scene.GetSpotLights()[i]->GetShadowMapResolution(), 64u);

        // Placers: a static one whose map ships in the archive.
        bool bStatic = false;
        for (std::uint32_t i = 0; i < scene.GetCubeMapPlacers().GetNumMembers(); ++i)
        {
            const KR_CubeMapPlacer* pPlacer = scene.GetCubeMapPlacers()[i];
            bDynamicPlacer = bDynamicPlacer || pPlacer->IsDynamic();
            bStatic = bStatic || (!pPlacer->IsDynamic() && m_files.FileExists(pPlacer->GetCubeMapPath()));
        }
        EXPECT_TRUE(bStatic);

        // Chunks: every chunk of the list found its own curve file (a missing one would be made).
        KB_GrowingArray<KB_String> gChunks;
        scene.ParseChunkList(scene.GetChunkListFileName(), gChunks);
        EXPECT_GE(gChunks.GetNumMembers(), 1u);
        ASSERT_EQ(gChunks.GetNumMembers(), scene.GetChunkInterpolations().GetNumMembers());
        for (std::uint32_t i = 0; i < gChunks.GetNumMembers(); ++i)
        {
            EXPECT_TRUE(m_files.FileExists(gChunks[i])) << gChunks[i].GetBuffer();
            EXPECT_TRUE(m_files.FileExists(scene.GetChunkInterpolations()[i]->GetFilePath()));
        }
        scene.Unload();
        fStart = fEnd;
    }
    EXPECT_TRUE(bDynamicPlacer);
    // The show stays near a minute, and the music is exactly as long, played once and plain.
    EXPECT_GE(fStart, 45.0);
    EXPECT_LE(fStart, 75.0);
    const std::vector<std::string> entities = Find("Assets/Entities/Audio/*.aud");
    ASSERT_EQ(1u, entities.size());
    KA_AudioEntity music;
    ASSERT_TRUE(music.Load(KB_String(("Assets/Entities/Audio/" + entities[0]).c_str())));
    EXPECT_FALSE(music.IsLooped());
    EXPECT_FALSE(music.Is3D());
    EXPECT_DOUBLE_EQ(0.0, music.GetStartTime());
    EXPECT_DOUBLE_EQ(fStart, music.GetEndTime());
    const std::vector<std::uint8_t> wav = Read(music.GetAudioFilePath().GetBuffer());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_LE(wav.size(), 4u * 1024 * 1024);
    std::uint32_t uiRate = 0;
    std::uint32_t uiDataBytes = 0;
    std::memcpy(&uiRate, &wav[24], 4);
    std::memcpy(&uiDataBytes, &wav[40], 4);
    EXPECT_DOUBLE_EQ(fStart, static_cast<double>(uiDataBytes) / (2.0 * uiRate));
    EXPECT_TRUE(m_files.FileExists(KB_String("Assets/Entities/Audio/MasterVolume.int")));
}

TEST_F(KV27_AssetsTest, ScenesKeepTheRulesOfTheProduction)
{
    CheckSceneRules();
}

namespace
{

// The tree as a developer leaves it: a prop's curve edited and saved by the editor, and the
// model caches a developer run writes beside the models.
class KV27_EditedAssetsTest : public KV27_AssetsTest
{
protected:
    void EditTree(const fs::path& tree) override
    {
        EditCurve(tree.parent_path(), EDITED_CURVE);
        for (const char* pModel : {"Models/Props/Prop_Fragmenter1.DAE", "Models/World/World_Ground.dae"})
            std::ofstream(tree / (std::string(pModel) + ".bin"), std::ios::binary) << "cache";
    }
};

} // namespace

TEST_F(KV27_EditedAssetsTest, AnEditedTreeKeepsTheRulesAndLoads)
{
    ASSERT_EQ(EditedWithTheTestsCurve(), ReadManifest().ListEdited(m_stage.string()));
    CheckEveryFileLoads();
    CheckSceneRules();
}

TEST_F(KV27_AssetsTest, ColourCubesAreStripsOf32SlicesAndTheFirstCubesGradeNothing)
{
    for (std::uint32_t uiScene = 1; uiScene <= 5; ++uiScene)
        for (const char* pSuffix : {"", "_2"})
        {
            if (uiScene == 5 && *pSuffix != '\0')
                continue;
            const std::string sPath =
                "Assets/Textures/ColorGrading/ColorCube_Scene" + std::to_string(uiScene) + pSuffix + ".png";
            SCOPED_TRACE(sPath);
            const std::vector<std::uint8_t> bytes = Read(sPath);
            D3DX11_IMAGE_INFO info = {};
            ASSERT_EQ(S_OK,
                      D3DX11GetImageInfoFromMemory(bytes.data(), bytes.size(), nullptr, &info, nullptr));
            EXPECT_EQ(1024u, info.Width);
            EXPECT_EQ(32u, info.Height);
            ID3D11ShaderResourceView* pView =
                KR_Texture3DBuilder::Create(m_pDevice, m_pContext, bytes.data(), bytes.size(), 32, 1);
            ASSERT_NE(nullptr, pView);
            pView->Release();
            if (*pSuffix != '\0' || uiScene == 5)
                continue;
            // Cube A of Scenes 1-4 is the identity: the texel of (r, g, b) holds r, g, b.
            ID3D11Resource* pTexture = nullptr;
            ASSERT_EQ(S_OK, D3DX11CreateTextureFromMemory(m_pDevice, bytes.data(), bytes.size(), nullptr,
                                                          nullptr, &pTexture, nullptr));
            D3D11_TEXTURE2D_DESC desc = {};
            static_cast<ID3D11Texture2D*>(pTexture)->GetDesc(&desc);
            desc.Usage = D3D11_USAGE_STAGING;
            desc.BindFlags = 0;
            desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
            desc.MipLevels = 1;
            ID3D11Texture2D* pStaging = nullptr;
            ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pStaging));
            m_pContext->CopySubresourceRegion(pStaging, 0, 0, 0, 0, pTexture, 0, nullptr);
            D3D11_MAPPED_SUBRESOURCE mapped = {};
            ASSERT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
            for (std::uint32_t b : {0u, 9u, 31u})
                for (std::uint32_t g : {0u, 17u, 31u})
                    for (std::uint32_t r : {0u, 5u, 31u})
                    {
                        const auto* p = static_cast<const std::uint8_t*>(mapped.pData) + g * mapped.RowPitch +
                                        (b * 32 + r) * 4;
                        EXPECT_EQ(std::lround(r * 255.0 / 31.0), p[0]);
                        EXPECT_EQ(std::lround(g * 255.0 / 31.0), p[1]);
                        EXPECT_EQ(std::lround(b * 255.0 / 31.0), p[2]);
                    }
            m_pContext->Unmap(pStaging, 0);
            pStaging->Release();
            pTexture->Release();
        }
}
