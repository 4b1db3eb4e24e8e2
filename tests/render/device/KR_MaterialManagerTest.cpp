#include "render/device/KR_MaterialManager.h"

#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "platform/d3d11/d3d11.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/models/KR_VertexFormat.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/SanitizerBuild.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

const char* const LIBRARY_PATH = "Assets/Materials/KV27_Materials.xml";

class FakeView : public KR_ManagedShaderResourceView
{
public:
    ID3D11ShaderResourceView* GetShaderResourceView() override { return m_pView; }
    void SetShaderResourceView(ID3D11ShaderResourceView* pView) override { m_pView = pView; }

    ID3D11ShaderResourceView* m_pView = nullptr; // not owned
};

using Macros = std::vector<std::pair<std::string, std::string>>;

// The real resource manager (programs compiled by the shader cache against the shipped shaders,
// states on the stand-in device) that records the properties it is asked for and hands out fake
// texture proxies, counting the requests.
class RecordingResourceManager : public KR_GraphicsResourceManagerDX11
{
public:
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String& sPath) override
    {
        ++m_uiTextureRequests;
        std::unique_ptr<FakeView>& pView = m_mapViews[sPath.GetBuffer()];
        if (pView == nullptr)
            pView = std::make_unique<FakeView>();
        return pView.get();
    }
    KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties* pProperties) override
    {
        Macros macros;
        for (const char* const* p = pProperties->GetMacros(); p[0] != nullptr; p += 2)
            macros.emplace_back(p[0], p[1] != nullptr ? p[1] : "");
        m_vMacros.push_back(macros);
        return KR_GraphicsResourceManagerDX11::GetShaderProgram(pProperties);
    }

    std::map<std::string, std::unique_ptr<FakeView>> m_mapViews;
    std::uint32_t m_uiTextureRequests = 0;
    std::vector<Macros> m_vMacros;
};

// Shader core manager and OIT renderer that write what they are asked into one log.
class RecordingShaderCore : public KR_ShaderCoreManager
{
public:
    explicit RecordingShaderCore(std::vector<std::string>& vLog) : m_vLog(vLog) {}
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }

    void ResetMaterialTextures() override { m_vLog.push_back("ResetMaterialTextures"); }
    void SetObjectColor(const DirectX::XMFLOAT4&) override { m_vLog.push_back("SetObjectColor"); }
    void SetAmbientLightColor(const DirectX::XMFLOAT4&) override { m_vLog.push_back("SetAmbientLightColor"); }
    void SetParallaxOcclusion(std::uint32_t uiMin, std::uint32_t uiMax, float, float fOffset) override
    {
        m_vLog.push_back("SetParallaxOcclusion " + std::to_string(uiMin) + " " + std::to_string(uiMax) + " " +
                         std::to_string(fOffset));
    }
    void SetDiffuseTexture(std::uint32_t i, ID3D11ShaderResourceView* pView, float, std::uint32_t) override
    {
        m_vLog.push_back("SetDiffuseTexture " + std::to_string(i));
        m_vDiffuseViews.push_back(pView);
    }
    void SetSpecularTexture(std::uint32_t i, ID3D11ShaderResourceView*, float, std::uint32_t,
                            float fPower) override
    {
        m_vLog.push_back("SetSpecularTexture " + std::to_string(i) + " " + std::to_string(int(fPower)));
    }
    void EnableCubeMaps(bool bEnable) override
    {
        m_vLog.push_back(std::string("EnableCubeMaps ") + (bEnable ? "1" : "0"));
    }
    void SetCubemapTexture(std::uint32_t i, ID3D11ShaderResourceView*, float fValue) override
    {
        m_vLog.push_back("SetCubemapTexture " + std::to_string(i) + " " + std::to_string(int(fValue)));
    }
    void ApplyShaderProgram(const KR_ShaderProgram* pProgram) override
    {
        m_vLog.push_back("ApplyShaderProgram");
        m_bAppliedNull = pProgram == nullptr;
        if (pProgram != nullptr)
            m_applied = *pProgram;
    }

    std::vector<std::string>& m_vLog;
    std::vector<ID3D11ShaderResourceView*> m_vDiffuseViews;
    KR_ShaderProgram m_applied;
    bool m_bAppliedNull = false;
};

class RecordingTransparency : public KR_OITRenderer
{
public:
    explicit RecordingTransparency(std::vector<std::string>& vLog) : m_vLog(vLog) {}
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    bool BeginTransparency() override
    {
        m_vLog.push_back("BeginTransparency");
        return true;
    }
    bool EndTransparency() override
    {
        m_vLog.push_back("EndTransparency");
        return true;
    }
    bool Resolve() override { return true; }
    bool DiscardLists() override { return true; }

    std::vector<std::string>& m_vLog;
};

std::string ReadSourceFile(const std::string& sRelative)
{
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/" + sRelative, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Has(const Macros& macros, const std::string& sName, const std::string& sValue = "")
{
    for (const auto& macro : macros)
        if (macro.first == sName && macro.second == sValue)
            return true;
    return false;
}

std::vector<std::uint8_t> AllVertexFormats()
{
    std::vector<std::uint8_t> v;
    for (std::int32_t iId = 0; iId < static_cast<std::int32_t>(KR_VertexFormat::NUM_FORMATS); ++iId)
    {
        KR_VertexFormat::KR_VertexFormatInfo info{};
        if (KR_VertexFormat::GetFormatInfo(iId, &info))
            v.push_back(info.uiMask);
    }
    return v;
}

class KR_MaterialManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        // A failed compilation shows a message box; answer it and fail the test through the program check.
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_files.AddRepository(new KF_DirectoryRepository(KV_SOURCE_ROOT));
        m_files.Install();
        m_engine->SetShaderCache(&m_cache);
        m_engine->SetShaderCoreManager(&m_core);
        m_engine->SetOITRenderer(&m_transparency);
        m_pResources = new RecordingResourceManager();
        m_engine->SetGraphicsResourceManager(m_pResources);
    }
    void TearDown() override
    {
        m_engine->SetGraphicsResourceManager(nullptr);
        delete m_pResources;
        m_engine->SetOITRenderer(nullptr);
        m_engine->SetShaderCoreManager(nullptr);
        m_engine->SetShaderCache(nullptr);
        m_engine->SetFileManager(nullptr);
        Win32Control::Reset();
    }

    // Loads a library text (without the root element) in place of the shipped one.
    bool Load(const std::string& sMaterials)
    {
        m_pMemory->SetFile(LIBRARY_PATH, "<material_library>" + sMaterials + "</material_library>");
        return m_materials.LoadMaterialLibrary();
    }
    // The macros of the properties the material's program was asked for.
    Macros Build(KR_RenderPass pass, const char* pId, std::uint8_t uiFormat, bool bInstanced = false)
    {
        KR_ShaderProperties properties;
        EXPECT_TRUE(m_materials.BuildMaterialShaderProperties(properties, pass, pId, &uiFormat, bInstanced))
            << pId;
        Macros macros;
        for (const char* const* p = properties.GetMacros(); p[0] != nullptr; p += 2)
            macros.emplace_back(p[0], p[1] != nullptr ? p[1] : "");
        return macros;
    }

    TestEngine m_engine{new LibraryFactory(LIBRARY_PATH)};
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files{false};
    MemoryRepository* m_pMemory = m_files.GetRepository();
    KR_ShaderCache m_cache;
    std::vector<std::string> m_vLog;
    RecordingShaderCore m_core{m_vLog};
    RecordingTransparency m_transparency{m_vLog};
    RecordingResourceManager* m_pResources = nullptr; // owned
    KR_MaterialManager m_materials;
};

TEST_F(KR_MaterialManagerTest, LibraryReadsBaseAndDerivedMaterials)
{
    ASSERT_TRUE(Load(R"(<material/>
        <derivedMaterial id="Early" baseMaterial="Child"/>
        <material id="Base" fog="0"><diffuse path="a.png"/><specular index="1" power="30"/></material>
        <derivedMaterial id="Child" baseMaterial="Base" alphaBlend="1"/>
        <derivedMaterial id="Grandchild" baseMaterial="Child" fog="1"/>
        <derivedMaterial id="Orphan" baseMaterial="Missing"/>
        <derivedMaterial baseMaterial="Base"/>)"));
    // No id, a base that comes later or is missing, and a derived one without id are dropped.
    EXPECT_EQ(3u, m_materials.GetNumMaterials());
    EXPECT_EQ(nullptr, m_materials.GetMaterial("Early"));
    EXPECT_EQ(nullptr, m_materials.GetMaterial("Orphan"));
    const KR_Material* pChild = m_materials.GetMaterial("Child");
    ASSERT_NE(nullptr, pChild);
    EXPECT_EQ(1, pChild->m_uiAlphaBlend);
    EXPECT_EQ(0, pChild->m_uiFog); // kept from the base
    ASSERT_EQ(1u, pChild->m_gDiffuse.GetNumMembers());
    EXPECT_EQ(m_pResources->m_mapViews["a.png"].get(), pChild->m_gDiffuse[0].m_pTexture);
    ASSERT_EQ(2u, pChild->m_gSpecular.GetNumMembers());
    EXPECT_EQ(30.0f, pChild->m_gSpecular[1].m_fPower);
    EXPECT_EQ(1, m_materials.GetMaterial("Grandchild")->m_uiFog);
    EXPECT_EQ(1, m_materials.GetMaterial("Grandchild")->m_uiAlphaBlend);
    EXPECT_EQ(0, m_materials.GetMaterial("Base")->m_uiAlphaBlend);

    // A reload starts empty; a wrong root or a missing file fails and leaves nothing.
    ASSERT_TRUE(Load(R"(<material id="Other"/>)"));
    EXPECT_EQ(1u, m_materials.GetNumMaterials());
    m_pMemory->SetFile(LIBRARY_PATH, "<materials><material id=\"A\"/></materials>");
    EXPECT_FALSE(m_materials.LoadMaterialLibrary());
    EXPECT_EQ(0u, m_materials.GetNumMaterials());
    m_pMemory->SetFile(LIBRARY_PATH, "<material_library><material id=");
    EXPECT_FALSE(m_materials.LoadMaterialLibrary());
}

TEST_F(KR_MaterialManagerTest, AttributesKeepDefaultsClampAndReadTheStoredSpelling)
{
    ASSERT_TRUE(Load(R"(<material id="Plain"/>
        <material id="Set" uv_channel_count="2" normals="0" skinnedAnimation="5" emissive="7" directionalLight="1"
            dynamicLights="1" fog="0" tangents="0" pom="2" additiveAlpha="1" alphaBlend="1" uvOffsets="-2" oit="1"
            special="4" fragmentable="1" ambientLightColor="#80FF0000">
          <parallaxOcclusion minSamples="3" maxSamples="9" heightScale="0.5" heihtOffset="0.25"/></material>
        <material id="Odd" uv_channel_count="many" pom="99999999999999" uvOffsets="20" special="-1">
          <parallaxOcclusion heightOffset="0.75"/></material>)"));
    const KR_Material& plain = *m_materials.GetMaterial("Plain");
    EXPECT_EQ(3u, plain.m_uiUVChannelCount);
    EXPECT_EQ(1, plain.m_uiNormals);
    EXPECT_EQ(1, plain.m_uiFog);
    EXPECT_EQ(1, plain.m_uiTangents);
    EXPECT_EQ(0, plain.m_uiDirectionalLight + plain.m_uiDynamicLights + plain.m_uiAlphaBlend +
                     plain.m_uiAdditiveAlpha + plain.m_uiTransparency + plain.m_uiFragmentable +
                     plain.m_uiSkinnedAnimation);
    EXPECT_EQ(KR_Material::NO_SPECIAL, plain.m_uiSpecial);
    EXPECT_EQ(1.0f, plain.m_oObjectColor.GetR());
    EXPECT_EQ(1.0f, plain.m_oObjectColor.GetA());
    EXPECT_EQ(0.0f, plain.m_oObjectColor.GetG());

    const KR_Material& set = *m_materials.GetMaterial("Set");
    EXPECT_EQ(2u, set.m_uiUVChannelCount);
    EXPECT_EQ(0, set.m_uiNormals);
    EXPECT_EQ(1, set.m_uiSkinnedAnimation);
    EXPECT_EQ(3u, set.m_uiEmissiveMode);
    EXPECT_EQ(1, set.m_uiDirectionalLight);
    EXPECT_EQ(1, set.m_uiDynamicLights);
    EXPECT_EQ(0, set.m_uiFog);
    EXPECT_EQ(0, set.m_uiTangents);
    EXPECT_EQ(2u, set.m_uiParallaxMode);
    EXPECT_EQ(1, set.m_uiAdditiveAlpha);
    EXPECT_EQ(1, set.m_uiAlphaBlend);
    EXPECT_EQ(0u, set.m_uiUVOffsetMask);
    EXPECT_EQ(1, set.m_uiTransparency);
    EXPECT_EQ(4u, set.m_uiSpecial);
    EXPECT_EQ(1, set.m_uiFragmentable);
    EXPECT_EQ(1.0f, set.m_oAmbientLightColor.GetR());
    EXPECT_EQ(0.0f, set.m_oAmbientLightColor.GetB());
    EXPECT_NEAR(128.0f / 255.0f, set.m_oAmbientLightColor.GetA(), 1e-6f);
    EXPECT_EQ(3u, set.m_uiMinSamples);
    EXPECT_EQ(9u, set.m_uiMaxSamples);
    EXPECT_EQ(0.5f, set.m_fHeightScale);
    EXPECT_EQ(0.25f, set.m_fHeightOffset);

    // Not a number: the default stays; out of range: clamped; the correct spelling is not read.
    const KR_Material& odd = *m_materials.GetMaterial("Odd");
    EXPECT_EQ(3u, odd.m_uiUVChannelCount);
    EXPECT_EQ(3u, odd.m_uiParallaxMode);
    EXPECT_EQ(15u, odd.m_uiUVOffsetMask);
    EXPECT_EQ(KR_Material::NO_SPECIAL, odd.m_uiSpecial);
    EXPECT_EQ(0.0f, odd.m_fHeightOffset);
    EXPECT_EQ(0.1f, odd.m_fHeightScale);
}

TEST_F(KR_MaterialManagerTest, ChannelsArePaddedCappedAndTileZeroRequestsNothing)
{
    ASSERT_TRUE(Load(R"(<material id="M">
        <diffuse index="1" path="one.png"/><diffuse index="1" path="two.png" tile="2"/>
        <normal tile="0" path="never.png" uv_channel="3"/>
        <gloss index="64"/><gloss index="65"/><gloss index="100000000"/><mask index="-4" uv_channel="2"/>
        <cubemap path="cube.dds"/><cubemap index="1"/></material>
        <material id="C"><cubemap index="1"/><cubemap path="cube.dds"/></material>)"));
    const KR_Material& m = *m_materials.GetMaterial("M");
    ASSERT_EQ(2u, m.m_gDiffuse.GetNumMembers());
    EXPECT_EQ(nullptr, m.m_gDiffuse[0].m_pTexture);
    EXPECT_EQ(1.0f, m.m_gDiffuse[0].m_fTile);
    EXPECT_EQ(m_pResources->m_mapViews["two.png"].get(), m.m_gDiffuse[1].m_pTexture); // the later one wins
    EXPECT_EQ(2.0f, m.m_gDiffuse[1].m_fTile);
    ASSERT_EQ(1u, m.m_gNormal.GetNumMembers());
    EXPECT_EQ(nullptr, m.m_gNormal[0].m_pTexture);
    EXPECT_EQ(0u, m.m_gNormal[0].m_uiUVChannel);
    EXPECT_EQ(0u, m_pResources->m_mapViews.count("never.png"));
    EXPECT_EQ(65u, m.m_gGloss.GetNumMembers()); // index 64 is the last one kept
    ASSERT_EQ(1u, m.m_gMask.GetNumMembers());
    EXPECT_EQ(2u, m.m_gMask[0].m_uiUVChannel);
    // The last cube-map element decides whether the scene's cube maps stand in.
    EXPECT_EQ(2u, m.m_gCubeMap.GetNumMembers());
    EXPECT_EQ(1, m.m_uiCubeMapMissing);
    EXPECT_EQ(0, m_materials.GetMaterial("C")->m_uiCubeMapMissing);
    EXPECT_EQ(4u, m_pResources->m_uiTextureRequests);
}

TEST_F(KR_MaterialManagerTest, PermutationMacrosFollowFormatAndSwitches)
{
    ASSERT_TRUE(Load(R"(<material id="Dark" uv_channel_count="6" fog="0"/>
        <material id="Additive" additiveAlpha="1" alphaBlend="1" special="-7"/>
        <material id="Blended" alphaBlend="1"/>
        <material id="Pieces" fragmentable="1" tangents="0" uv_channel_count="1" directionalLight="1"/>)"));
    KR_ShaderProperties vertex;
    const std::uint8_t uiSkinned = 0x8A;
    KR_MaterialManager::BuildVertexShaderProperties(vertex, &uiSkinned);
    ASSERT_EQ(8u, vertex.GetMacroCount()); // three pairs and the null pair
    EXPECT_STREQ("VS_IN_NORMAL", vertex.GetMacros()[0]);
    EXPECT_STREQ("VS_IN_UV0", vertex.GetMacros()[2]);
    EXPECT_STREQ("VS_IN_SKINNED", vertex.GetMacros()[4]);

    const Macros dark = Build(KR_RENDER_PASS_COLOR, "Dark", 0x0B);
    EXPECT_TRUE(Has(dark, "VS_OUT_UV3"));
    EXPECT_FALSE(Has(dark, "VS_OUT_UV4"));
    EXPECT_FALSE(Has(dark, "VS_OUT_WORLDPOS"));
    EXPECT_FALSE(Has(dark, "VS_PASSTHROUGH"));

    const Macros additive = Build(KR_RENDER_PASS_COLOR, "Additive", 0x0B);
    EXPECT_TRUE(Has(additive, "PS_ALPHABLEND"));
    EXPECT_TRUE(Has(additive, "PS_SPECIAL", "-7"));
    EXPECT_TRUE(Has(Build(KR_RENDER_PASS_SHADOW_MAP, "Additive", 0x0B), "BLENDSTATE", "ADDITIVEBLENDING"));
    const Macros shadow = Build(KR_RENDER_PASS_SHADOW_MAP, "Blended", 0x0B);
    EXPECT_TRUE(Has(shadow, "BLENDSTATE", "ENABLEALPHABLENDING"));
    EXPECT_TRUE(Has(shadow, "DEPTHSTENCILSTATE", "ENABLEDNOUPDATE"));
    EXPECT_TRUE(Has(shadow, "VS_OUT_PROJECTEDZ"));

    const Macros pieces = Build(KR_RENDER_PASS_COLOR, "Pieces", 0x8B, true);
    for (const char* pName : {"VS_IN_INSTANCED", "VS_PASSTHROUGH", "VS_OUT_SKINNED", "VS_OUT_INSTANCED",
                              "GS_OUT_NORMAL", "GS_OUT_UV0", "GS_OUT_WORLDPOS", "PS_DIRECTIONAL", "PS_FOG"})
        EXPECT_TRUE(Has(pieces, pName)) << pName;
    EXPECT_FALSE(Has(pieces, "GS_OUT_TANGENT"));
    EXPECT_FALSE(Has(pieces, "GS_OUT_UV1"));

    // The special text outlives the call and is shared by every program with that value.
    KR_ShaderProperties a;
    KR_ShaderProperties b;
    const std::uint8_t uiFormat = 0x0B;
    m_materials.BuildMaterialShaderProperties(a, KR_RENDER_PASS_COLOR, "Additive", &uiFormat, false);
    m_materials.BuildMaterialShaderProperties(b, KR_RENDER_PASS_COLOR, "Additive", &uiFormat, true);
    EXPECT_EQ(a.GetMacros()[a.GetMacroCount() - 3], b.GetMacros()[b.GetMacroCount() - 3]);
    EXPECT_EQ(nullptr,
              m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Unknown", &uiFormat, false));
}

TEST_F(KR_MaterialManagerTest, ParallelBuildersShareOneTextPerSpecialValue)
{
    std::string sLibrary;
    for (int i = 0; i < 16; ++i)
        sLibrary +=
            "<material id=\"S" + std::to_string(i) + "\" special=\"" + std::to_string(i * 37 - 100) + "\"/>";
    ASSERT_TRUE(Load(sLibrary));
    // Each worker builds every material's properties and keeps the value text it got.
    const char* aapTexts[4][16] = {};
    std::vector<std::thread> vWorkers;
    for (int iWorker = 0; iWorker < 4; ++iWorker)
        vWorkers.emplace_back(
            [this, iWorker, &aapTexts]
            {
                const std::uint8_t uiFormat = 0x0B;
                for (int i = 0; i < 16; ++i)
                {
                    KR_ShaderProperties properties;
                    const KB_String sId = KB_String::Formatted("S%d", (i + iWorker * 5) % 16);
                    m_materials.BuildMaterialShaderProperties(properties, KR_RENDER_PASS_COLOR, sId,
                                                              &uiFormat, false);
                    aapTexts[iWorker][(i + iWorker * 5) % 16] =
                        properties.GetMacros()[properties.GetMacroCount() - 3];
                }
            });
    for (std::thread& worker : vWorkers)
        worker.join();
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_EQ(std::to_string(i * 37 - 100), aapTexts[0][i]);
        for (int iWorker = 1; iWorker < 4; ++iWorker)
            EXPECT_EQ(aapTexts[0][i], aapTexts[iWorker][i]);
    }
}

TEST_F(KR_MaterialManagerTest, ShippedShadersCompileEveryDefaultMaterialPermutation)
{
    ASSERT_TRUE(m_materials.LoadMaterialLibrary()); // the shipped library
    ASSERT_NE(nullptr, m_materials.GetMaterial("DefaultMaterial"));
    ASSERT_NE(nullptr, m_materials.GetMaterial("DefaultSkinnedMaterial"));
    ASSERT_NE(nullptr, m_materials.GetMaterial(KR_MaterialManager::DEBUG_MATERIAL_ID));
    for (std::uint8_t uiFormat : AllVertexFormats())
    {
        EXPECT_NE(nullptr, m_pResources->GetInputLayout(&uiFormat)) << int(uiFormat);
        for (KR_RenderPass pass : {KR_RENDER_PASS_COLOR, KR_RENDER_PASS_SHADOW_MAP})
            for (bool bInstanced : {false, true})
            {
                const KR_ShaderProgram* pProgram =
                    m_materials.BuildMaterialShaderProperties(pass, "DefaultMaterial", &uiFormat, bInstanced);
                ASSERT_NE(nullptr, pProgram);
                EXPECT_TRUE(pProgram->m_pVertexShader != nullptr && pProgram->m_pPixelShader != nullptr)
                    << "format " << int(uiFormat) << " pass " << pass << " instanced " << bInstanced;
            }
    }
}

TEST_F(KR_MaterialManagerTest, ShippedLibraryCoversEveryMacroAndEachMaterialCompiles)
{
    ASSERT_TRUE(m_materials.LoadMaterialLibrary());
    ASSERT_GT(m_materials.GetNumMaterials(), 20u);
    std::vector<std::string> vIds;
    for (std::uint32_t i = 1; i < 100; ++i)
    {
        const std::string sId = (i < 10 ? "Permutation_0" : "Permutation_") + std::to_string(i);
        if (m_materials.GetMaterial(sId.c_str()) != nullptr)
            vIds.push_back(sId);
    }
    vIds.insert(vIds.end(),
                {"DefaultMaterial", "DefaultSkinnedMaterial", KR_MaterialManager::DEBUG_MATERIAL_ID});
    // Under ThreadSanitizer a third of the builds are made, each material, format, pass and
    // instancing in turn (every third over the sum of the four), which still emits every macro: all
    // of them took 28 s.
    const std::uint8_t FORMATS[] = {0x01, 0x8B, 0xFF};
    const KR_RenderPass PASSES[] = {KR_RENDER_PASS_COLOR, KR_RENDER_PASS_SHADOW_MAP};
    for (std::size_t m = 0; m < vIds.size(); ++m)
        for (std::size_t f = 0; f < std::size(FORMATS); ++f)
            for (std::size_t p = 0; p < std::size(PASSES); ++p)
                for (std::size_t b = 0; b < 2; ++b)
                {
                    if (kv_test::THREAD_SANITIZED && (m + f + p + b) % 3 != 0)
                        continue;
                    const std::string& sId = vIds[m];
                    std::uint8_t uiFormat = FORMATS[f];
                    const KR_RenderPass pass = PASSES[p];
                    const bool bInstanced = b != 0;
                    const KR_ShaderProgram* pProgram =
                        m_materials.BuildMaterialShaderProperties(pass, sId.c_str(), &uiFormat, bInstanced);
                    ASSERT_NE(nullptr, pProgram) << sId;
                    const bool bGeometry = m_materials.GetMaterial(sId.c_str())->m_uiFragmentable != 0;
                    EXPECT_TRUE(pProgram->m_pVertexShader != nullptr && pProgram->m_pPixelShader != nullptr &&
                                (pProgram->m_pGeometryShader != nullptr) == bGeometry)
                        << sId << " format " << int(uiFormat) << " pass " << pass << " instanced "
                        << bInstanced;
                }
    for (int iType = 0; iType <= 4; ++iType)
        for (bool bPassThrough : {false, true})
        {
            const std::uint8_t uiFormat = 0x0B;
            const KR_ShaderProgram* pProgram = m_materials.BuildSimpleShaderProperties(
                static_cast<KR_SimpleShaderType>(iType), &uiFormat, bPassThrough);
            ASSERT_NE(nullptr, pProgram);
            EXPECT_NE(nullptr, pProgram->m_pPixelShader) << iType;
        }
    const std::uint8_t uiFormat = 0x01;
    const KR_ShaderProgram* pResolve = m_materials.BuildOITShaderProperties(&uiFormat);
    ASSERT_NE(nullptr, pResolve);
    EXPECT_NE(nullptr, pResolve->m_pPixelShader);

    // Every macro the builders can emit was emitted by the library above and is read by the shaders.
    std::set<std::string> emitted;
    for (const Macros& macros : m_pResources->m_vMacros)
        for (const auto& macro : macros)
            emitted.insert(macro.first);
    const std::vector<std::string> vExpected = {"VS_IN_NORMAL",
                                                "VS_IN_TANGENT",
                                                "VS_IN_UV0",
                                                "VS_IN_UV1",
                                                "VS_IN_UV2",
                                                "VS_IN_UV3",
                                                "VS_IN_SKINNED",
                                                "VS_IN_INSTANCED",
                                                "VS_PASSTHROUGH",
                                                "VS_OUT_SKINNED",
                                                "VS_OUT_INSTANCED",
                                                "VS_OUT_NORMAL",
                                                "VS_OUT_TANGENT",
                                                "VS_OUT_BITANGENT",
                                                "VS_OUT_UV0",
                                                "VS_OUT_UV1",
                                                "VS_OUT_UV2",
                                                "VS_OUT_UV3",
                                                "VS_OUT_PARALLAX",
                                                "VS_OUT_WORLDPOS",
                                                "VS_OUT_PROJECTEDZ",
                                                "GS_OUT_NORMAL",
                                                "GS_OUT_TANGENT",
                                                "GS_OUT_BITANGENT",
                                                "GS_OUT_UV0",
                                                "GS_OUT_UV1",
                                                "GS_OUT_UV2",
                                                "GS_OUT_UV3",
                                                "GS_OUT_PARALLAX",
                                                "GS_OUT_WORLDPOS",
                                                "GS_OUT_PROJECTEDZ",
                                                "PS_IN_COVERAGE",
                                                "PS_OIT",
                                                "PS_DIRECTIONAL",
                                                "PS_DYNAMIC",
                                                "PS_FOG",
                                                "PS_BLEND",
                                                "PS_ENVIRONMENTMAP",
                                                "PS_LIGHTMAP",
                                                "PS_AMBIENTOCCLUSION",
                                                "PS_EMISSIVE0",
                                                "PS_EMISSIVE1",
                                                "PS_PARALLAX0",
                                                "PS_PARALLAX1",
                                                "PS_ALPHABLEND",
                                                "PS_UVOFFSETS0",
                                                "PS_UVOFFSETS1",
                                                "PS_UVOFFSETS2",
                                                "PS_UVOFFSETS3",
                                                "PS_SPECIAL",
                                                "PS_SHADOWMAP",
                                                "BLENDSTATE",
                                                "DEPTHSTENCILSTATE",
                                                "PS_LOADER",
                                                "PS_FIXEDCOLOR",
                                                "PS_HEADLIGHT",
                                                "PS_DEBUGTEXTURE",
                                                "PS_ALPHABLEND_TIMEPROGRESSION",
                                                "PS_IN_SAMPLEINDEX"};
    EXPECT_EQ(std::set<std::string>(vExpected.begin(), vExpected.end()), emitted);
    std::string sShaders;
    for (const char* pFile : {"KR_ShaderCommon.hlsli", "KR_VertexShader.hlsl", "KR_GeometryShader.hlsl",
                              "KR_PixelShader.hlsl", "KR_OITShader.hlsl"})
        sShaders += ReadSourceFile(std::string("assets/Shader/") + pFile);
    for (const std::string& sName : emitted)
        EXPECT_NE(std::string::npos, sShaders.find(sName)) << sName;
    for (const char* pValue :
         {"DISABLED", "ENABLEALPHABLENDING", "ADDITIVEBLENDING", "ENABLED", "ENABLEDNOUPDATE"})
        EXPECT_NE(std::string::npos, sShaders.find(std::string("#define ") + pValue)) << pValue;
}

TEST_F(KR_MaterialManagerTest, MaterialsSharingAProgramDrawWithTheirOwnStates)
{
    ASSERT_TRUE(Load(R"(<material id="Opaque"/><material id="Additive" additiveAlpha="1"/>
        <material id="Pieces" fragmentable="1" oit="1"/>)"));
    ASSERT_TRUE(m_materials.CreateMaterialShaders());
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_NE(nullptr, m_materials.GetBlendState(i));
    EXPECT_NE(m_materials.GetRasterizerState(0), m_materials.GetRasterizerState(1));
    const std::uint8_t uiFormat = 0x0B;
    KR_ShaderProgram* pOpaque =
        m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Opaque", &uiFormat, false);
    KR_ShaderProgram* pAdditive =
        m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Additive", &uiFormat, false);
    ASSERT_NE(nullptr, pOpaque);
    ASSERT_EQ(pOpaque, pAdditive); // one program: additive blending adds no macro

    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Opaque", uiFormat, pOpaque, false);
    EXPECT_EQ(m_materials.GetBlendState(0), m_core.m_applied.m_pBlendState);
    EXPECT_EQ(m_materials.GetDepthStencilState(1), m_core.m_applied.m_pDepthStencilState);
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Additive", uiFormat, pAdditive, false);
    EXPECT_EQ(m_materials.GetBlendState(2), m_core.m_applied.m_pBlendState);
    EXPECT_EQ(m_materials.GetDepthStencilState(2), m_core.m_applied.m_pDepthStencilState);
    EXPECT_EQ(m_materials.GetRasterizerState(0), m_core.m_applied.m_pRasterizerState);
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Opaque", uiFormat, pOpaque, false);
    EXPECT_EQ(m_materials.GetBlendState(0), m_core.m_applied.m_pBlendState);
    EXPECT_EQ(pOpaque->m_pVertexShader, m_core.m_applied.m_pVertexShader);

    KR_ShaderProgram* pPieces =
        m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Pieces", &uiFormat, false);
    ASSERT_NE(nullptr, pPieces);
    EXPECT_EQ(m_materials.GetRasterizerState(1), pPieces->m_pRasterizerState);
    EXPECT_EQ(m_materials.GetBlendState(0), pPieces->m_pBlendState);
    EXPECT_EQ(m_materials.GetDepthStencilState(2), pPieces->m_pDepthStencilState);
}

// Programs whose properties hash alike are one entry of the program cache: here every request gets
// the same program. It takes no lock of its own, so only the material manager orders the writes.
class OneProgramResourceManager : public KR_GraphicsResourceManagerDX11
{
public:
    KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties*) override { return &m_program; }

    KR_ShaderProgram m_program;
};

TEST_F(KR_MaterialManagerTest, BuildersAndApplyShareOneLockOverAProgramsStates)
{
    ASSERT_TRUE(Load(R"(<material id="Additive" additiveAlpha="1"/>)"));
    ASSERT_TRUE(m_materials.CreateMaterialShaders());
    OneProgramResourceManager shared;
    m_engine->SetGraphicsResourceManager(&shared);
    const std::uint8_t uiFormat = 0x0B;
    KR_ShaderProgram* pProgram = &shared.m_program;

    // The transparency resolve program is built on the load job while a model worker builds a
    // material's: the states end as one complete choice, never a mix of both.
    std::thread transparency(
        [this, uiFormat]
        {
            for (int i = 0; i < 300; ++i)
                m_materials.BuildOITShaderProperties(&uiFormat);
        });
    for (int i = 0; i < 300; ++i)
        m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Additive", &uiFormat, false);
    transparency.join();
    const bool bTransparencyStates = pProgram->m_pBlendState == m_materials.GetBlendState(1) &&
                                     pProgram->m_pDepthStencilState == m_materials.GetDepthStencilState(0);
    const bool bAdditiveStates = pProgram->m_pBlendState == m_materials.GetBlendState(2) &&
                                 pProgram->m_pDepthStencilState == m_materials.GetDepthStencilState(2);
    EXPECT_TRUE(bTransparencyStates || bAdditiveStates);
    EXPECT_EQ(m_materials.GetRasterizerState(0), pProgram->m_pRasterizerState);

    // Drawing with the program (shadow pass, and an id the library lacks) while a worker builds it.
    std::thread builder(
        [this, uiFormat]
        {
            for (int i = 0; i < 300; ++i)
                m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_SHADOW_MAP, "Additive", &uiFormat,
                                                          false);
        });
    for (int i = 0; i < 300; ++i)
    {
        m_materials.ApplyMaterial(KR_RENDER_PASS_SHADOW_MAP, "Additive", uiFormat, pProgram, false);
        m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Unknown", uiFormat, pProgram, false);
    }
    builder.join();
    m_engine->SetGraphicsResourceManager(m_pResources);
}

TEST_F(KR_MaterialManagerTest, ApplyEndsTransparencyFirstAndHandsOverCurrentViews)
{
    ASSERT_TRUE(Load(R"(<material id="Glass" oit="1" pom="1">
        <parallaxOcclusion minSamples="4" maxSamples="12" heihtOffset="0.5"/>
        <diffuse path="glass.png"/><specular index="1" power="40"/>
        <cubemap path="one.dds"/><cubemap index="1" path="nine.dds"/></material>)"));
    // Cube maps with 1 and 9 mip levels on the stand-in device.
    ID3D11ShaderResourceView* apCubes[2] = {};
    ID3D11Texture2D* apTextures[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = desc.Height = 256;
        desc.MipLevels = i == 0 ? 1 : 9;
        desc.ArraySize = 6;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        desc.MiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE;
        ASSERT_EQ(S_OK, m_device.GetDevice()->CreateTexture2D(&desc, nullptr, &apTextures[i]));
        ASSERT_EQ(S_OK, m_device.GetDevice()->CreateShaderResourceView(apTextures[i], nullptr, &apCubes[i]));
    }
    m_pResources->m_mapViews["one.dds"]->m_pView = apCubes[0];
    m_pResources->m_mapViews["nine.dds"]->m_pView = apCubes[1];
    // The view current at apply time is handed over, not the one at load time.
    auto* pLoaded = reinterpret_cast<ID3D11ShaderResourceView*>(&apCubes);
    m_pResources->m_mapViews["glass.png"]->m_pView = pLoaded;

    std::vector<std::string> vIds;
    static std::vector<std::string>* s_pIds = nullptr;
    s_pIds = &vIds;
    m_materials.SetPreApplyCallback([](KB_String* pId)
                                    { s_pIds->push_back(std::string("pre ") + pId->GetBuffer()); });
    m_materials.SetPostApplyCallback([](KB_String* pId)
                                     { s_pIds->push_back(std::string("post ") + pId->GetBuffer()); });
    KR_ShaderProgram given;
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Glass", 0x0B, &given, false);
    const std::vector<std::string> vExpected = {
        "EndTransparency",     "ResetMaterialTextures",   "BeginTransparency",
        "SetObjectColor",      "SetAmbientLightColor",    "SetParallaxOcclusion 4 12 0.500000",
        "SetDiffuseTexture 0", "SetSpecularTexture 0 20", "SetSpecularTexture 1 40",
        "EnableCubeMaps 0",    "SetCubemapTexture 0 0",   "SetCubemapTexture 1 7",
        "ApplyShaderProgram"};
    EXPECT_EQ(vExpected, m_vLog);
    EXPECT_EQ(std::vector<ID3D11ShaderResourceView*>{pLoaded}, m_core.m_vDiffuseViews);
    EXPECT_EQ((std::vector<std::string>{"pre Glass", "post Glass"}), vIds);

    // The shadow pass binds the given program only; an unknown id binds the given program and
    // leaves the textures; a null program is bound (unbinding) without harm.
    m_vLog.clear();
    vIds.clear();
    m_materials.ApplyMaterial(KR_RENDER_PASS_SHADOW_MAP, "Glass", 0x0B, &given, false);
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Unknown", 0x0B, nullptr, false);
    EXPECT_EQ((std::vector<std::string>{"EndTransparency", "ApplyShaderProgram", "EndTransparency",
                                        "ApplyShaderProgram"}),
              m_vLog);
    EXPECT_TRUE(m_core.m_bAppliedNull);
    EXPECT_EQ(std::vector<std::string>{"pre Unknown"}, vIds);
    s_pIds = nullptr;
    for (int i = 0; i < 2; ++i)
    {
        apCubes[i]->Release();
        apTextures[i]->Release();
    }
}

TEST_F(KR_MaterialManagerTest, DebugToggleSubstitutesOnlyWhenTheDebugMaterialExists)
{
    ASSERT_TRUE(Load(R"(<material id="Wall"><diffuse path="wall.png"/></material>)"));
    ASSERT_TRUE(m_materials.CreateMaterialShaders());
    const std::uint8_t uiFormat = 0x0B;
    KR_ShaderProgram* pWall =
        m_materials.BuildMaterialShaderProperties(KR_RENDER_PASS_COLOR, "Wall", &uiFormat, false);
    ASSERT_NE(nullptr, pWall);
    m_materials.ToggleUseDebugMaterial();
    EXPECT_TRUE(m_materials.GetUseDebugMaterial());
    // No debug material: the draw stays as it is.
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Wall", uiFormat, pWall, false);
    EXPECT_EQ(pWall->m_pPixelShader, m_core.m_applied.m_pPixelShader);
    EXPECT_EQ(1u, m_core.m_vDiffuseViews.size());

    ASSERT_TRUE(Load(R"(<material id="Wall"><diffuse path="wall.png"/></material>
        <material id="Debug_Cubemap_Influence" fragmentable="1"><cubemap path="debug.dds"/></material>)"));
    m_vLog.clear();
    m_core.m_vDiffuseViews.clear();
    for (bool bInstanced : {false, true})
    {
        m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Wall", uiFormat, pWall, bInstanced);
        KR_ShaderProgram* pDebug = m_materials.BuildMaterialShaderProperties(
            KR_RENDER_PASS_COLOR, KR_MaterialManager::DEBUG_MATERIAL_ID, &uiFormat, bInstanced);
        ASSERT_NE(nullptr, pDebug);
        EXPECT_NE(nullptr, pDebug->m_pGeometryShader);
        EXPECT_EQ(pDebug->m_pGeometryShader, m_core.m_applied.m_pGeometryShader);
        EXPECT_EQ(m_materials.GetRasterizerState(1), m_core.m_applied.m_pRasterizerState);
    }
    EXPECT_TRUE(m_core.m_vDiffuseViews.empty()); // the debug material's textures, not the wall's
    m_materials.SetUseDebugMaterial(false);
    m_materials.ApplyMaterial(KR_RENDER_PASS_COLOR, "Wall", uiFormat, pWall, false);
    EXPECT_EQ(pWall->m_pPixelShader, m_core.m_applied.m_pPixelShader);
    EXPECT_EQ(nullptr, m_core.m_applied.m_pGeometryShader);
}

} // namespace
