// Models from an archive through the real loader and drawn on the stand-in device: the resource
// manager's model jobs on the worker pool import a COLLADA model (animated and skinned), an OBJ model and the
// placeholder cube, write their caches into the writable folder behind the archive (as in developer mode),
// and a second manager reads the caches instead of importing.

#include "render/device/KR_GraphicsResourceManagerDX11.h"

#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"

#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KF_NameValidator.h"
#include "framework/threads/KT_ThreadPool.h"
#include "platform/d3d11/D3D11Control.h"
#include "render/models/KR_ColladaImporter.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelImporters.h"
#include "render/models/KR_ObjImporter.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

std::atomic<int> g_iImports{0};

KR_ModelResource* CountedCollada(const KB_String& sPath, std::uint8_t uiFlag1, std::uint8_t uiFlag2,
                                 std::uint8_t uiFlag3)
{
    g_iImports.fetch_add(1);
    return KR_ColladaImporter::Import(sPath, uiFlag1, uiFlag2, uiFlag3);
}

KR_ModelResource* CountedObj(const KB_String& sPath, std::uint8_t uiFlag1, std::uint8_t uiFlag2,
                             std::uint8_t uiFlag3)
{
    g_iImports.fetch_add(1);
    return KR_ObjImporter::Import(sPath, uiFlag1, uiFlag2, uiFlag3);
}

void WriteText(const std::filesystem::path& path, const std::string& sText)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << sText;
}

// A repository that tells how many files it still holds in its cache of loaded files.
template <typename R>
class Counted : public R
{
public:
    using R::GetNumLoadedFiles;
    using R::R;
};

// Programs without stages: materials resolve and subsets draw without compiling shaders.
class StagelessShaderCache : public KR_ShaderCache
{
public:
    KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties*) override
    {
        return new KR_ShaderProgram();
    }
};

// A shader core that makes no resources of its own; its setters still reach the device context.
class PlainCore : public KR_ShaderCoreManager
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
};

const char* const LIBRARY = "Assets/Materials/Test_Materials.xml";

const char* const IDENTITY = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";

// A quad skinned by a two-bone arm whose elbow is keyed twice, and a triangle whose node is keyed.
std::string ArmDocument()
{
    const std::string sMesh = "<mesh><source id=\"p\"><float_array count=\"12\">0 0 0 1 0 0 0 1 0 1 1 0"
                              "</float_array></source><vertices id=\"v\"><input semantic=\"POSITION\" "
                              "source=\"#p\"/></vertices><triangles><input semantic=\"VERTEX\" source=\"#v\" "
                              "offset=\"0\"/><p>0 1 2 1 3 2</p></triangles></mesh>";
    auto animation = [&](const std::string& sId, const std::string& sTarget)
    {
        return "<animation><source id=\"" + sId +
               "-in\"><float_array count=\"2\">0 1</float_array></source>"
               "<source id=\"" +
               sId +
               "-out\"><float_array count=\"32\">1 0 0 1 0 1 0 0 0 0 1 0 0 0 0 1 "
               "0 -1 0 1 1 0 0 0 0 0 1 0 0 0 0 1</float_array></source><sampler><input semantic=\"INPUT\" "
               "source=\"#" +
               sId + "-in\"/><input semantic=\"OUTPUT\" source=\"#" + sId +
               "-out\"/></sampler><channel source=\"#x\" target=\"" + sTarget + "\"/></animation>";
    };
    return std::string("<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><library_animations>") +
           animation("elbow", "elbow/m") + animation("node", "n/m") +
           "</library_animations><library_controllers><controller id=\"c\"><skin source=\"#arm\"><source "
           "id=\"j\"><Name_array>shoulder elbow</Name_array></source><source id=\"ib\"><float_array "
           "count=\"32\">" +
           IDENTITY +
           " 1 0 0 -1 0 1 0 0 0 0 1 0 0 0 0 1</float_array></source><source "
           "id=\"w\"><float_array count=\"2\">1 0.5</float_array></source><joints><input semantic=\"JOINT\" "
           "source=\"#j\"/><input semantic=\"INV_BIND_MATRIX\" source=\"#ib\"/></joints><vertex_weights "
           "count=\"4\"><input semantic=\"JOINT\" source=\"#j\" offset=\"0\"/><input semantic=\"WEIGHT\" "
           "source=\"#w\" offset=\"1\"/><vcount>1 1 2 1</vcount><v>0 0 1 0 0 1 1 1 1 0</v></vertex_weights>"
           "</skin></controller></library_controllers><library_geometries><geometry id=\"arm\">" +
           sMesh + "</geometry><geometry id=\"g\">" + sMesh +
           "</geometry></library_geometries><library_visual_scenes>"
           "<visual_scene id=\"s\"><node id=\"shoulder\"><matrix sid=\"m\">" +
           IDENTITY + "</matrix><node id=\"elbow\"><matrix sid=\"m\">" + IDENTITY +
           "</matrix></node></node><node "
           "id=\"at\"><instance_controller url=\"#c\"/></node><node id=\"n\"><matrix sid=\"m\">" +
           IDENTITY +
           "</matrix><instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes><scene>"
           "<instance_visual_scene url=\"#s\"/></scene></COLLADA>";
}

const char* const ARM = "Assets/Models/Arm.dae";
const char* const CRATE = "Assets/Models/Crate.obj";

class KR_ModelLoadingEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.IsValid());
        const std::filesystem::path source = m_temp.Join("source");
        std::ifstream cube(std::string(KV_SOURCE_ROOT) + "/assets/Models/Dev/Dev_UnloadedModel.dae",
                           std::ios::binary);
        std::stringstream text;
        text << cube.rdbuf();
        WriteText(source / KR_GraphicsResourceManagerDX11::PLACEHOLDER_MODEL, text.str());
        WriteText(source / ARM, ArmDocument());
        WriteText(source / LIBRARY,
                  "<material_library><material id=\"DefaultMaterial\"/><material "
                  "id=\"DefaultSkinnedMaterial\" skinnedAnimation=\"1\"/></material_library>");
        WriteText(source / CRATE, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                  "vn 0 0 1\nf 1/1/1 2/2/1 3/3/1 4/4/1\n");
        KF_NameValidator acceptAll;
        KF_DataRepository builder;
        ASSERT_TRUE(builder.CreateFromDirectory(source.c_str(), &acceptAll, false));
        ASSERT_TRUE(builder.SaveToFile(m_temp.Join("KV27.dat").c_str()));
        std::filesystem::create_directories(m_temp.Join("work"));

        KR_ModelImporters::Clear();
        KR_ModelImporters::SetCacheReader(&KR_ModelCacheReader::LoadSerializedModel);
        KR_ModelImporters::RegisterImporter("dae", &CountedCollada);
        KR_ModelImporters::RegisterImporter("obj", &CountedObj);
        m_engine->SetInterpolationManager(&m_registry);
        m_engine->SetShaderCache(&m_cache);
        m_engine->SetShaderCoreManager(&m_core);
        KT_ThreadPool::Start(4);
    }
    void TearDown() override
    {
        KT_ThreadPool::Stop();
        KR_ModelImporters::Clear();
        m_engine->SetInterpolationManager(nullptr);
        m_engine->SetShaderCoreManager(nullptr);
        m_engine->SetShaderCache(nullptr);
        EXPECT_EQ(0u, m_registry.CopyAllVertexInterpolations().GetNumMembers());
    }

    // One run: a file manager over the archive and the working folder, a manager loading the
    // three models on the pool; returns each model's record and the triangle counts.
    struct Run
    {
        std::vector<std::vector<std::uint8_t>> vRecords;
        // Per model, the draw calls of its colour pass.
        std::vector<std::vector<std::string>> vDraws;
        std::vector<std::uint32_t> vTriangles;
        bool bArmAnimated = false;
        bool bArmSkinned = false;
        std::uint32_t uiLoadedFiles = 0;
    };
    Run LoadAll()
    {
        Run run;
        KF_FileManager files;
        auto* pWork = new Counted<KF_DirectoryRepository>(m_temp.Join("work").c_str());
        auto* pArchive = new Counted<KF_DataRepository>();
        EXPECT_TRUE(pArchive->LoadFromFile(m_temp.Join("KV27.dat").c_str()));
        // As in developer mode: the archive first, then the writable working folder.
        files.AddRepository(pArchive);
        files.AddRepository(pWork);
        m_engine->SetFileManager(&files);
        KR_MaterialManager materials;
        EXPECT_TRUE(materials.LoadMaterialLibrary());
        m_engine->SetMaterialManager(&materials);
        {
            KR_GraphicsResourceManagerDX11 manager;
            m_engine->SetGraphicsResourceManager(&manager);
            manager.LoadDefaultResources();
            std::vector<KR_ManagedModelResourceDX11*> vModels = {
                manager.GetModelResource(KR_GraphicsResourceManagerDX11::PLACEHOLDER_MODEL, 1, 1, 0),
                manager.GetModelResource(ARM, 1, 1, 0), manager.GetModelResource(CRATE, 1, 1, 0)};
            manager.BeginLoadingPhase();
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            bool bFinished = false;
            while (!(bFinished = manager.FinishLoading()) && std::chrono::steady_clock::now() < end)
                std::this_thread::yield();
            EXPECT_TRUE(bFinished);
            for (KR_ManagedModelResourceDX11* pModel : vModels)
            {
                std::vector<std::uint8_t> bytes(1 << 20);
                std::uint8_t* pCursor = bytes.data();
                std::uint64_t uiWritten = 0;
                EXPECT_TRUE(pModel->Serialize(&pCursor, bytes.size(), &uiWritten));
                bytes.resize(uiWritten);
                run.vRecords.push_back(bytes);
                run.vTriangles.push_back(pModel->GetTriangleCount());
            }
            for (KR_ManagedModelResourceDX11* pModel : vModels)
            {
                D3D11Control::ClearCallLog();
                pModel->Render(0.5, KR_RENDER_PASS_COLOR, nullptr, nullptr, 1);
                std::vector<std::string> vDraws;
                for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
                {
                    if (record.Method.rfind("Draw", 0) != 0)
                        continue;
                    std::string sDraw = record.Method;
                    for (const double fValue : record.Values)
                    {
                        sDraw += ' ';
                        sDraw += std::to_string(static_cast<long long>(fValue));
                    }
                    vDraws.push_back(sDraw);
                }
                run.vDraws.push_back(vDraws);
            }
            // The context keeps the last mesh's buffers bound, as the device does.
            m_device.GetImmediateContext()->ClearState();
            run.bArmAnimated = vModels[1]->HasAnimation();
            run.bArmSkinned = vModels[1]->HasSkinnedAnimation();
            m_engine->SetGraphicsResourceManager(nullptr);
        }
        m_engine->SetMaterialManager(nullptr);
        run.uiLoadedFiles = pWork->GetNumLoadedFiles() + pArchive->GetNumLoadedFiles();
        m_engine->SetFileManager(nullptr);
        return run;
    }

    TestTempDir m_temp;
    TestEngine m_engine{new LibraryFactory(LIBRARY)};
    StagelessShaderCache m_cache;
    PlainCore m_core;
    StandInGraphicsDevice m_device{m_engine};
    KU_InterpolationManager m_registry;
};

} // namespace

TEST_F(KR_ModelLoadingEndToEndTest, ModelsImportFromTheArchiveOnceThenLoadFromTheirCaches)
{
    g_iImports.store(0);
    const std::size_t uiLiveBefore = D3D11Control::GetLiveObjectCount();
    const Run first = LoadAll();
    // Each source once: the placeholder's proxy finds the cache its default load wrote.
    EXPECT_EQ(3, g_iImports.load());
    EXPECT_EQ(std::vector<std::uint32_t>({12, 4, 2}), first.vTriangles);
    EXPECT_TRUE(first.bArmAnimated);
    EXPECT_TRUE(first.bArmSkinned);
    EXPECT_EQ(0u, first.uiLoadedFiles);
    // One indexed draw per subset: the cube's 12 triangles, the arm's two meshes of 2, the crate's 2.
    const std::vector<std::vector<std::string>> vExpected = {
        {"DrawIndexed 36 0 0"}, {"DrawIndexed 6 0 0", "DrawIndexed 6 0 0"}, {"DrawIndexed 6 0 0"}};
    EXPECT_EQ(vExpected, first.vDraws);
    for (const char* pPath : {KR_GraphicsResourceManagerDX11::PLACEHOLDER_MODEL, ARM, CRATE})
        EXPECT_TRUE(std::filesystem::is_regular_file(m_temp.Join("work") + "/" + pPath + ".bin")) << pPath;

    const Run second = LoadAll();
    EXPECT_EQ(3, g_iImports.load()); // nothing imported again
    EXPECT_EQ(first.vTriangles, second.vTriangles);
    EXPECT_EQ(first.vDraws, second.vDraws);
    EXPECT_TRUE(second.bArmAnimated);
    EXPECT_TRUE(second.bArmSkinned);
    EXPECT_EQ(0u, second.uiLoadedFiles);
    // Static models read back byte for byte; the animated one to the same size (its curves' edit
    // flags are not kept by the cache).
    EXPECT_EQ(first.vRecords[0], second.vRecords[0]);
    EXPECT_EQ(first.vRecords[2], second.vRecords[2]);
    EXPECT_EQ(first.vRecords[1].size(), second.vRecords[1].size());
    EXPECT_EQ(uiLiveBefore, D3D11Control::GetLiveObjectCount());
}
