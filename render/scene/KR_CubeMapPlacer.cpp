#include "render/scene/KR_CubeMapPlacer.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_SaveFailure.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/d3dx11effect.h"
#include "render/camera/KR_Camera.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_Ray.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_VertexInterpolationVisualisation.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_TextureResourceDescription.h"
#include "render/device/KR_UtilitiesDX11.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/scene/KR_Scene.h"
#include "timing/KU_TextFileHeader.h"
#include "timing/KU_TextFileNumber.h"
#include "timing/KU_TextFileReader.h"
#include "timing/KU_VertexInterpolation.h"

#include <cfloat>
#include <cstring>
#include <new>
#include <string>

using namespace DirectX;

namespace
{

constexpr const char* LEGEND[] = {
    "# d == debug name of the cube map placer (string)",
    "# s == start time stamp of the cube map placer (double)",
    "# e == end time stamp of the cube map placer (double)",
    "# rt == time stamp of when the cube map is supposed to be rendered (double)",
    "# pv == position of the cube map placer (3x float)",
    "# rv == resolution of the cube map (2x unsigned int)",
    "# i == influence range of this cubemap (1x float)",
    "# dy == dynamic cube map that gets rendered every frame (bool)",
    "# cp == path to the cube map (string)",
    "# pp == path to the cube map position VertexInterpolation (string)",
};
constexpr std::uint32_t NUM_LEGEND_LINES = sizeof(LEGEND) / sizeof(LEGEND[0]);

// Markers keep their size on screen: they are scaled by this share of their distance to the viewer.
constexpr float MARKER_SIZE_FACTOR = 0.01f;
// The marker of a placer the editor highlights (the bytes 42, 148, 222).
const KB_Color HIGHLIGHT_COLOR(0.1647059f, 0.5803922f, 0.8705882f, 1.0f);

// Pixel-shader slots unbound around the cube-map pass and after each copy.
constexpr UINT PIXEL_SHADER_SLOTS = 13;
// The shader slots of the scene's cube maps, unbound in every stage while a cube map is drawn.
constexpr UINT CUBE_MAP_FIRST_SLOT = 39;
constexpr UINT CUBE_MAP_SLOTS = 8;
// Enough for every viewport a device can have bound.
constexpr UINT MAX_SAVED_VIEWPORTS = 16;
constexpr float CUBE_FACE_FIELD_OF_VIEW = 90.0f;

// The full-screen quad as a triangle strip: position, then texture coordinate ((0, 0) top left).
constexpr float QUAD_VERTICES[4][5] = {
    {-1.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {-1.0f, -1.0f, 0.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 0.0f, 1.0f, 0.0f},
    {1.0f, -1.0f, 0.0f, 1.0f, 1.0f},
};
static_assert(sizeof(QUAD_VERTICES) == 4 * KR_CubeMapPlacer::QUAD_VERTEX_STRIDE);

// The standard cube-face order: +x, -x, +y, -y, +z, -z.
constexpr float FACE_DIRECTIONS[KR_CubeMapPlacer::FACE_COUNT][3] = {
    {1.0f, 0.0f, 0.0f},  {-1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
    {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, 1.0f},  {0.0f, 0.0f, -1.0f},
};
constexpr float FACE_UP_VECTORS[KR_CubeMapPlacer::FACE_COUNT][3] = {
    {0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, -1.0f},
    {0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
};

XMVECTOR FaceVector(const float (&table)[KR_CubeMapPlacer::FACE_COUNT][3], std::uint32_t uiFace)
{
    return XMVectorSet(table[uiFace][0], table[uiFace][1], table[uiFace][2], 0.0f);
}

// The device state a render replaces, put back afterwards.
struct SavedDeviceState
{
    ID3D11RenderTargetView* apTargets[2] = {};
    ID3D11DepthStencilView* pDepth = nullptr;
    D3D11_VIEWPORT aViewports[MAX_SAVED_VIEWPORTS] = {};
    UINT uiViewports = 0;
    ID3D11RasterizerState* pRasterizer = nullptr;

    void Save(ID3D11DeviceContext* pContext)
    {
        pContext->OMGetRenderTargets(2, apTargets, &pDepth);
        pContext->RSGetViewports(&uiViewports, nullptr);
        uiViewports = uiViewports < MAX_SAVED_VIEWPORTS ? uiViewports : MAX_SAVED_VIEWPORTS;
        pContext->RSGetViewports(&uiViewports, aViewports);
        pContext->RSGetState(&pRasterizer);
    }
    void Restore(ID3D11DeviceContext* pContext)
    {
        pContext->OMSetRenderTargets(2, apTargets, pDepth);
        pContext->RSSetViewports(uiViewports, aViewports);
        pContext->RSSetState(pRasterizer);
        for (ID3D11RenderTargetView*& pTarget : apTargets)
            KR_ReleaseAndNull(pTarget);
        KR_ReleaseAndNull(pDepth);
        KR_ReleaseAndNull(pRasterizer);
    }
};

// The shader core's cube-map lists with every slot empty; made once, on the first unbind.
struct NoCubeMaps
{
    KB_GrowingArray<ID3D11ShaderResourceView*> gViews{CUBE_MAP_SLOTS};
    KB_GrowingArray<XMFLOAT4> gVectors{CUBE_MAP_SLOTS};
    KB_GrowingArray<float> gValues{CUBE_MAP_SLOTS};
    KB_GrowingArray<bool> gFlags{CUBE_MAP_SLOTS};

    NoCubeMaps()
    {
        for (UINT i = 0; i < CUBE_MAP_SLOTS; ++i)
        {
            gViews.Add(nullptr);
            gVectors.Add(XMFLOAT4(0.0f, 0.0f, 0.0f, 0.0f));
            gValues.Add(0.0f);
            gFlags.Add(false);
        }
    }
};

// Hands the shaders eight empty cube-map entries and unbinds the cube-map slots of every stage, so
// that no cube map is read while one is drawn.
void UnbindCubeMaps(ID3D11DeviceContext* pContext)
{
    static const NoCubeMaps s_noCubeMaps;
    if (KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager())
        pCore->SetCubeMaps(&s_noCubeMaps.gViews, &s_noCubeMaps.gVectors, &s_noCubeMaps.gValues,
                           &s_noCubeMaps.gFlags);
    ID3D11ShaderResourceView* apNoViews[CUBE_MAP_SLOTS] = {};
    pContext->VSSetShaderResources(CUBE_MAP_FIRST_SLOT, CUBE_MAP_SLOTS, apNoViews);
    pContext->PSSetShaderResources(CUBE_MAP_FIRST_SLOT, CUBE_MAP_SLOTS, apNoViews);
    pContext->GSSetShaderResources(CUBE_MAP_FIRST_SLOT, CUBE_MAP_SLOTS, apNoViews);
    pContext->CSSetShaderResources(CUBE_MAP_FIRST_SLOT, CUBE_MAP_SLOTS, apNoViews);
}

void UnbindPixelShaderResources(ID3D11DeviceContext* pContext)
{
    ID3D11ShaderResourceView* apNoViews[PIXEL_SHADER_SLOTS] = {};
    pContext->PSSetShaderResources(0, PIXEL_SHADER_SLOTS, apNoViews);
}

// Faces rendered per frame: all six at the highest qualities, spread over more frames below.
std::int32_t GetFramesPerUpdateForQuality(std::uint32_t uiQuality)
{
    switch (uiQuality)
    {
    case 0:
        return 6;
    case 1:
        return 3;
    case 2:
        return 2;
    default:
        return 1;
    }
}

template <typename T>
void DeleteAndNull(T*& p)
{
    delete p;
    p = nullptr;
}

std::uint32_t ClampSide(std::uint32_t uiSide)
{
    if (uiSide < KR_CubeMapPlacer::MIN_TEXTURE_SIDE)
        return KR_CubeMapPlacer::MIN_TEXTURE_SIDE;
    return uiSide > KR_CubeMapPlacer::MAX_TEXTURE_SIDE ? KR_CubeMapPlacer::MAX_TEXTURE_SIDE : uiSide;
}

} // namespace

KR_CubeMapPlacer::KR_CubeMapPlacer()
{
    // Without it (out of memory) nothing is rendered into the cube.
    m_pFaceCamera = new (std::nothrow) KR_Camera();
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->RegisterReceiver(KE_MT_EditorCommand, this);
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    if (pDevice != nullptr)
        m_iFramesPerUpdate = GetFramesPerUpdateForQuality(pDevice->GetRenderingQuality());
    m_iFramesLeft = m_iFramesPerUpdate;
    if (KE_IsDeveloperBuild())
    {
        m_pMarker = new (std::nothrow) KR_DebugPolyhedron();
        if (m_pMarker != nullptr)
            m_pMarker->SetColor(m_oMarkerColor.GetRGBA());
        CreateCopyResources();
    }
}

void KR_CubeMapPlacer::CreateCopyResources()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
    if (pResources == nullptr || pDevice == nullptr)
        return;
    // A missing or broken effect was reported by the resource manager; static maps stay unrendered.
    ID3DX11Effect* pEffect = pResources->GetEffect(COPY_EFFECT_PATH, nullptr);
    if (pEffect == nullptr)
        return;
    ID3DX11EffectTechnique* pTechnique = pEffect->GetTechniqueByIndex(0);
    ID3DX11EffectPass* pPass = pTechnique->GetPassByIndex(0);
    D3DX11_PASS_DESC passDesc = {};
    if (!pPass->IsValid() || FAILED(pPass->GetDesc(&passDesc)))
        return;
    const D3D11_INPUT_ELEMENT_DESC aElements[2] = {
        {"SV_POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 12, D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    if (FAILED(pDevice->CreateInputLayout(aElements, 2, passDesc.pIAInputSignature,
                                          passDesc.IAInputSignatureSize, &m_pInputLayoutPosUVVertex)))
    {
        m_pInputLayoutPosUVVertex = nullptr;
        return;
    }
    D3D11_BUFFER_DESC bufferDesc = {};
    bufferDesc.ByteWidth = sizeof(QUAD_VERTICES);
    bufferDesc.Usage = D3D11_USAGE_DEFAULT;
    bufferDesc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    const D3D11_SUBRESOURCE_DATA initialData = {QUAD_VERTICES, 0, 0};
    if (FAILED(pDevice->CreateBuffer(&bufferDesc, &initialData, &m_pFullScreenQuadUVsVB)))
    {
        m_pFullScreenQuadUVsVB = nullptr;
        KR_ReleaseAndNull(m_pInputLayoutPosUVVertex);
        return;
    }
    m_pCopyEffect = pEffect;
    m_pCopyTechnique = pTechnique;
    m_pSourceTextureVariable = pEffect->GetVariableByName("g_tSourceTexture")->AsShaderResource();
    m_pSourceTextureSideVariable = pEffect->GetVariableByName("g_fSourceTextureSide")->AsScalar();
}

bool KR_CubeMapPlacer::HasCopyEffect() const
{
    return m_pCopyEffect != nullptr && m_pCopyTechnique != nullptr && m_pInputLayoutPosUVVertex != nullptr &&
           m_pFullScreenQuadUVsVB != nullptr && m_pSourceTextureVariable != nullptr &&
           m_pSourceTextureVariable->IsValid() && m_pSourceTextureSideVariable != nullptr &&
           m_pSourceTextureSideVariable->IsValid();
}

KR_CubeMapPlacer::~KR_CubeMapPlacer()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->UnRegisterReceiver(KE_MT_EditorCommand, this);
    // The visualisation points at the rail: it goes first.
    DeleteAndNull(m_pRailVisualisation);
    DeleteAndNull(m_pPositionRail);
    DeleteAndNull(m_pFaceCamera);
    DeleteAndNull(m_pPositionHandle);
    DeleteAndNull(m_pMarker);
    ReleaseTextures();
    KR_ReleaseAndNull(m_pFullScreenQuadUVsVB);
    KR_ReleaseAndNull(m_pInputLayoutPosUVVertex);
}

void KR_CubeMapPlacer::ResetFileFields()
{
    m_fStartTime = 0.0;
    m_fEndTime = 0.0;
    m_fRenderTime = 0.0;
    m_vPosition = XMVectorZero();
    m_oResolution = {512, 512};
    m_fInfluenceRange = 5.0f;
    SetFlag(FLAG_DYNAMIC, false);
    m_sCubeMapPath = KB_String();
    m_sPositionRailPath = KB_String();
}

bool KR_CubeMapPlacer::LoadFromFile(const KB_String& sPath)
{
    ResetFileFields();
    m_sPlacerPath = sPath;
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &uiSize, &pData))
        return false;
    // The text ends at the file's end or at its first NUL byte.
    std::string sText(reinterpret_cast<const char*>(pData), static_cast<std::size_t>(uiSize));
    pFiles->RemoveReference(sPath);
    ParseText(sText.c_str(), std::strlen(sText.c_str()));
    ReloadCubeMapPlacer();
    return true;
}

void KR_CubeMapPlacer::ParseText(const char* pText, std::uint64_t uiSize)
{
    KU_TextFileReader reader(pText, uiSize);
    while (reader.ReadKey())
    {
        // Free-text values take the rest of their line (blanks included) and consume it.
        if (reader.IsKey("d") || reader.IsKey("cp") || reader.IsKey("pp"))
        {
            KB_String* pValue = reader.IsKey("d")    ? &m_sDebugName
                                : reader.IsKey("cp") ? &m_sCubeMapPath
                                                     : &m_sPositionRailPath;
            *pValue = reader.ReadLineValue(MAX_LINE_VALUE_LENGTH);
            continue;
        }
        if (reader.IsKey("s") || reader.IsKey("e") || reader.IsKey("rt"))
        {
            double* pTime = reader.IsKey("s")   ? &m_fStartTime
                            : reader.IsKey("e") ? &m_fEndTime
                                                : &m_fRenderTime;
            reader.ReadDouble(pTime);
        }
        else if (reader.IsKey("pv"))
        {
            float x = 0.0f;
            float y = 0.0f;
            float z = 0.0f;
            if (reader.ReadFloat(&x) && reader.ReadFloat(&y) && reader.ReadFloat(&z))
                m_vPosition = XMVectorSet(x, y, z, 1.0f);
        }
        else if (reader.IsKey("rv"))
        {
            // Stored as read: the texture size is bounded where textures are made.
            Resolution resolution = m_oResolution;
            if (reader.ReadU32(&resolution.uiWidth) && reader.ReadU32(&resolution.uiHeight))
                m_oResolution = resolution;
        }
        else if (reader.IsKey("i"))
        {
            reader.ReadFloat(&m_fInfluenceRange);
        }
        else if (reader.IsKey("dy"))
        {
            // Only this line's word: an empty value must not take the next line's key.
            KB_String sWord;
            reader.ReadLineWord(&sWord, MAX_LINE_VALUE_LENGTH);
            SetFlag(FLAG_DYNAMIC, sWord.CompareNoCase("true") == 0);
        }
        reader.SkipLine(); // the rest of the line, also after comments and unknown keys
    }
}

KB_String KR_CubeMapPlacer::GetRailDirectory() const
{
    const KB_String sDirectory = KU_FileUtilities::ExtractDirectory(m_sPlacerPath);
    // A file without a folder keeps its rail beside it rather than at the root.
    return sDirectory.GetLength() != 0 ? sDirectory + "/" : KB_String();
}

KB_String KR_CubeMapPlacer::CreateCubeMapPlacerText() const
{
    std::string sText =
        KU_CreateTextFileHeader(TITLE, KU_PLAIN_COMMENT_LEGEND, LEGEND, NUM_LEGEND_LINES).GetBuffer();
    KU_AppendTextFileLine(sText, "d", m_sDebugName);
    KU_AppendTextFileNumber(sText, "s", GetStartTime());
    KU_AppendTextFileNumber(sText, "e", GetEndTime());
    KU_AppendTextFileNumber(sText, "rt", m_fRenderTime);
    XMFLOAT4 position;
    XMStoreFloat4(&position, m_vPosition);
    sText += "pv " + KU_TextFileNumber::Format(position.x) + " " + KU_TextFileNumber::Format(position.y) +
             " " + KU_TextFileNumber::Format(position.z) + "\n";
    sText +=
        "rv " + std::to_string(m_oResolution.uiWidth) + " " + std::to_string(m_oResolution.uiHeight) + "\n";
    KU_AppendTextFileNumber(sText, "i", m_fInfluenceRange);
    sText += IsDynamic() ? "dy true\n" : "dy false\n";
    KU_AppendTextFileLine(sText, "cp", m_sCubeMapPath);
    KU_AppendTextFileLine(sText, "pp", m_sPositionRailPath);
    return KB_String(sText.c_str());
}

bool KR_CubeMapPlacer::SaveCubeMapPlacerToFile(const KB_String& sPath)
{
    m_sPlacerPath = sPath;
    const KB_String sText = CreateCubeMapPlacerText();
    // A rail without a path has no file to go to (it would be written as the folder itself).
    if (m_pPositionRail != nullptr && m_sPositionRailPath.GetLength() != 0)
    {
        m_pPositionRail->SetFilePath(GetRailDirectory() + m_sPositionRailPath);
        m_pPositionRail->Save();
    }
    KF_FileManager* pFiles = KE_GetFileManager();
    return pFiles != nullptr && pFiles->SaveFile(m_sPlacerPath, sText.GetLength(), sText.GetBuffer());
}

void KR_CubeMapPlacer::RebuildEditorObjects()
{
    DeleteAndNull(m_pRailVisualisation);
    DeleteAndNull(m_pPositionHandle);
    if (!KE_IsDeveloperBuild())
        return;
    if (m_pPositionRail != nullptr)
    {
        m_pRailVisualisation = new (std::nothrow) KR_VertexInterpolationVisualisation(m_pPositionRail);
        if (m_pRailVisualisation != nullptr)
            m_pRailVisualisation->SetColors(m_oRailColor, m_oRailMarkerColor, m_oRailSelectionColor);
    }
    else
    {
        m_pPositionHandle = new (std::nothrow) KR_TranslateGizmo();
    }
}

void KR_CubeMapPlacer::ReleaseTextures()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources != nullptr)
    {
        if (m_uiFrontTexture != NO_TEXTURE)
            pResources->ReleaseTexture(&m_uiFrontTexture);
        if (m_uiBackTexture != NO_TEXTURE)
            pResources->ReleaseTexture(&m_uiBackTexture);
    }
    m_uiFrontTexture = NO_TEXTURE;
    m_uiBackTexture = NO_TEXTURE;
}

void KR_CubeMapPlacer::ReloadCubeMapPlacer()
{
    // The visualisation points at the rail: it goes first.
    DeleteAndNull(m_pRailVisualisation);
    DeleteAndNull(m_pPositionRail);
    if (m_sPositionRailPath.GetLength() != 0)
        m_pPositionRail =
            KU_VertexInterpolation::LoadVertexInterpolation(GetRailDirectory() + m_sPositionRailPath);
    RebuildEditorObjects();
    ReleaseTextures();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (!IsDynamic() || pResources == nullptr)
        return;
    const Resolution size = GetTextureResolution(m_oResolution);
    const KR_TextureResourceDescription description(
        size.uiWidth, size.uiHeight, 0, 6, GetDynamicMipLevels(size.uiWidth), DXGI_FORMAT_R8G8B8A8_UNORM,
        D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
        D3D11_RESOURCE_MISC_TEXTURECUBE | D3D11_RESOURCE_MISC_GENERATE_MIPS, 0);
    m_uiFrontTexture = pResources->AcquireTexture(&description);
    if (m_iFramesPerUpdate > 1)
        m_uiBackTexture = pResources->AcquireTexture(&description);
}

KR_CubeMapPlacer::Resolution KR_CubeMapPlacer::GetTextureResolution(const Resolution& resolution)
{
    return {ClampSide(resolution.uiWidth), ClampSide(resolution.uiHeight)};
}

std::uint32_t KR_CubeMapPlacer::GetDynamicMipLevels(std::uint32_t uiWidth)
{
    // floor(log2(width)): the chain stops one level above 1x1; a width of 1 still has its level.
    std::uint32_t uiLevels = 0;
    for (std::uint32_t uiSide = ClampSide(uiWidth); uiSide > 1; uiSide >>= 1)
        ++uiLevels;
    return uiLevels < 1 ? 1 : uiLevels;
}

void KR_CubeMapPlacer::RenderCubeMap(KR_Scene* pScene, double fTime)
{
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
    ID3D11DeviceContext* pContext = pGraphics != nullptr ? pGraphics->GetImmediateContext() : nullptr;
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pScene == nullptr || pDevice == nullptr || pContext == nullptr || pResources == nullptr ||
        m_pFaceCamera == nullptr)
        return;
    // The copy of a static map's faces needs the effect only developer builds make.
    if (!IsDynamic() && !HasCopyEffect())
        return;
    FacePass pass = ChooseFaces();
    if (!AcquireFaceTargets(pDevice, pResources, pass))
        return;
    if (!pass.bStatic)
        m_iFramesLeft = pass.iFramesLeft;

    KR_Camera& camera = *m_pFaceCamera;
    camera.SetFOV(CUBE_FACE_FIELD_OF_VIEW);
    camera.SetAspectRatio(1.0f);
    const XMFLOAT2 nearFar = pScene->GetNearFarPlanes();
    camera.SetNearFarPlanes(nearFar.x, nearFar.y);

    SavedDeviceState saved;
    saved.Save(pContext);
    UnbindPixelShaderResources(pContext);
    const D3D11_VIEWPORT viewport = {
        0.0f, 0.0f, static_cast<float>(pass.size.uiWidth), static_cast<float>(pass.size.uiHeight),
        0.0f, 1.0f};
    pContext->RSSetViewports(1, &viewport);
    // Back faces culled; cube faces are drawn without multisampling.
    const D3D11_RASTERIZER_DESC rasterizerDesc =
        KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_BACK, false, false);
    pContext->RSSetState(pResources->GetRasterizerState(&rasterizerDesc));

    pScene->Update(fTime);
    UnbindCubeMaps(pContext);
    DrawFaces(pScene, fTime, pContext, pResources, pass, viewport);
    FinishFaces(pContext, pResources, pass);

    saved.Restore(pContext);
    ReleaseFaceTextures(pResources, pass);
}

KR_CubeMapPlacer::FacePass KR_CubeMapPlacer::ChooseFaces() const
{
    // A countdown out of its range (never set by the placer itself) starts a new update rather
    // than choosing faces that do not exist.
    FacePass pass;
    pass.bStatic = !IsDynamic();
    pass.iFramesPerUpdate = m_iFramesPerUpdate > 1 ? m_iFramesPerUpdate : 1;
    pass.iFramesLeft =
        m_iFramesLeft >= 1 && m_iFramesLeft <= pass.iFramesPerUpdate ? m_iFramesLeft : pass.iFramesPerUpdate;
    --pass.iFramesLeft;
    pass.uiFirstFace = 0;
    pass.uiFaceCount = FACE_COUNT;
    pass.uiTarget = m_uiFrontTexture;
    if (!pass.bStatic && pass.iFramesPerUpdate > 1)
    {
        pass.uiFaceCount = FACE_COUNT / static_cast<std::uint32_t>(pass.iFramesPerUpdate);
        pass.uiFirstFace = static_cast<std::uint32_t>(pass.iFramesLeft) * pass.uiFaceCount;
        pass.uiTarget = m_uiBackTexture;
    }
    pass.size = GetTextureResolution(m_oResolution);
    return pass;
}

bool KR_CubeMapPlacer::AcquireFaceTargets(ID3D11Device* pDevice, KR_GraphicsResourceManager* pResources,
                                          FacePass& pass) const
{
    const KR_TextureResourceDescription colorDescription(
        pass.size.uiWidth, pass.size.uiHeight, 0, FACE_COUNT, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
        D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE,
        D3D11_RESOURCE_MISC_TEXTURECUBE, 0);
    const KR_TextureResourceDescription depthDescription(
        pass.size.uiWidth, pass.size.uiHeight, 0, FACE_COUNT, 1, DXGI_FORMAT_D32_FLOAT, D3D11_USAGE_DEFAULT,
        D3D11_BIND_DEPTH_STENCIL, D3D11_RESOURCE_MISC_TEXTURECUBE, 0);
    if (pass.bStatic)
    {
        pass.uiTarget = pResources->AcquireTexture(&colorDescription);
        pass.uiCopy = pResources->AcquireTexture(&colorDescription);
    }
    pass.uiDepth = pResources->AcquireTexture(&depthDescription);
    pass.uiSource = pass.bStatic ? pass.uiTarget : NO_TEXTURE; // handed back with the others

    // Every view the faces need, before the device is touched: a size the device refuses (a
    // non-square resolution) or textures that were never made leave everything as it was.
    bool bComplete = pass.uiTarget != NO_TEXTURE && pass.uiDepth != NO_TEXTURE;
    for (std::uint32_t i = pass.uiFirstFace; bComplete && i < pass.uiFirstFace + pass.uiFaceCount; ++i)
        bComplete = pResources->GetRenderTargetView(pass.uiTarget, i) != nullptr &&
                    pResources->GetDepthStencilView(pass.uiDepth, i) != nullptr &&
                    (!pass.bStatic || pResources->GetRenderTargetView(pass.uiCopy, i) != nullptr);
    if (bComplete && pass.bStatic)
    {
        D3D11_SHADER_RESOURCE_VIEW_DESC sourceDesc = {};
        sourceDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        sourceDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
        sourceDesc.Texture2DArray = {0, 1, 0, FACE_COUNT};
        ID3D11Texture2D* pSourceTexture = pResources->GetTexture2D(pass.uiTarget);
        if (pSourceTexture == nullptr ||
            FAILED(pDevice->CreateShaderResourceView(pSourceTexture, &sourceDesc, &pass.pSourceView)))
        {
            pass.pSourceView = nullptr;
        }
        bComplete = pass.pSourceView != nullptr && pResources->GetTexture2D(pass.uiCopy) != nullptr;
    }
    if (!bComplete)
        ReleaseFaceTextures(pResources, pass);
    return bComplete;
}

void KR_CubeMapPlacer::DrawFaces(KR_Scene* pScene, double fTime, ID3D11DeviceContext* pContext,
                                 KR_GraphicsResourceManager* pResources, const FacePass& pass,
                                 const D3D11_VIEWPORT& viewport)
{
    KR_Camera& camera = *m_pFaceCamera;
    const XMVECTOR vPosition = GetPosition(fTime);
    const float afClear[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (std::uint32_t i = pass.uiFirstFace; i < pass.uiFirstFace + pass.uiFaceCount; ++i)
    {
        ID3D11RenderTargetView* pTarget = pResources->GetRenderTargetView(pass.uiTarget, i);
        ID3D11DepthStencilView* pDepth = pResources->GetDepthStencilView(pass.uiDepth, i);
        ID3D11RenderTargetView* pCopyTarget =
            pass.bStatic ? pResources->GetRenderTargetView(pass.uiCopy, i) : nullptr;
        pContext->OMSetRenderTargets(1, &pTarget, pDepth);
        pContext->RSSetViewports(1, &viewport);
        pContext->ClearRenderTargetView(pTarget, afClear);
        if (pCopyTarget != nullptr)
            pContext->ClearRenderTargetView(pCopyTarget, afClear);
        pContext->ClearDepthStencilView(pDepth, D3D11_CLEAR_DEPTH, 1.0f, 0);
        camera.LookAt(vPosition, XMVectorAdd(vPosition, FaceVector(FACE_DIRECTIONS, i)),
                      FaceVector(FACE_UP_VECTORS, i));
        camera.Update(fTime);
        pScene->Render(&camera, fTime, true);
        // What transparent materials gathered on this face never reaches the frame's image.
        if (KR_OITRenderer* pTransparency = KE_GetOITRenderer())
            pTransparency->DiscardLists();
        if (pass.bStatic)
            CopyFace(pContext, pCopyTarget, pass, i);
    }
}

void KR_CubeMapPlacer::CopyFace(ID3D11DeviceContext* pContext, ID3D11RenderTargetView* pCopyTarget,
                                const FacePass& pass, std::uint32_t uiFace)
{
    pContext->OMSetRenderTargets(1, &pCopyTarget, nullptr);
    m_pSourceTextureSideVariable->SetFloat(static_cast<float>(uiFace));
    m_pSourceTextureVariable->SetResource(pass.pSourceView);
    pContext->IASetInputLayout(m_pInputLayoutPosUVVertex);
    const UINT uiStride = QUAD_VERTEX_STRIDE;
    const UINT uiOffset = 0;
    pContext->IASetVertexBuffers(0, 1, &m_pFullScreenQuadUVsVB, &uiStride, &uiOffset);
    pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    m_pCopyTechnique->GetPassByIndex(0)->Apply(0, pContext);
    pContext->Draw(4, 0);
    UnbindPixelShaderResources(pContext);
}

void KR_CubeMapPlacer::FinishFaces(ID3D11DeviceContext* pContext, KR_GraphicsResourceManager* pResources,
                                   FacePass& pass)
{
    if (pass.bStatic)
    {
        // The effect must not keep the temporary view alive.
        m_pSourceTextureVariable->SetResource(nullptr);
        KR_ReleaseAndNull(pass.pSourceView);
        // A failed write leaves the file with its last good content; the user is told of it.
        KU_SaveFailure::ReportIfFailed(
            m_sCubeMapPath, D3DX11SaveTextureToFileA(pContext, pResources->GetTexture2D(pass.uiCopy),
                                                     D3DX11_IFF_DDS, m_sCubeMapPath.GetBuffer()));
    }
    else if (m_iFramesLeft == 0)
    {
        if (ID3D11ShaderResourceView* pTargetView = pResources->GetShaderResourceView(pass.uiTarget))
            pContext->GenerateMips(pTargetView);
        m_iFramesLeft = pass.iFramesPerUpdate;
        if (pass.iFramesPerUpdate > 1)
        {
            const std::uint32_t uiFinished = m_uiBackTexture;
            m_uiBackTexture = m_uiFrontTexture;
            m_uiFrontTexture = uiFinished;
        }
    }
}

void KR_CubeMapPlacer::ReleaseFaceTextures(KR_GraphicsResourceManager* pResources, FacePass& pass)
{
    KR_ReleaseAndNull(pass.pSourceView);
    for (std::uint32_t* pHandle : {&pass.uiSource, &pass.uiCopy, &pass.uiDepth})
        if (*pHandle != NO_TEXTURE)
            pResources->ReleaseTexture(pHandle);
}

void KR_CubeMapPlacer::RenderOnceAtStartTime(KR_Scene* pScene)
{
    if (!IsDynamic())
        return;
    const std::int32_t iFramesPerUpdate = m_iFramesPerUpdate;
    m_iFramesPerUpdate = 1;
    m_iFramesLeft = 1;
    RenderCubeMap(pScene, GetStartTime());
    m_iFramesPerUpdate = iFramesPerUpdate;
    m_iFramesLeft = iFramesPerUpdate;
}

ID3D11ShaderResourceView* KR_CubeMapPlacer::GetCubeMapView()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources == nullptr)
        return nullptr;
    if (IsUsingDebugTexture() || !IsDynamic())
    {
        // The placer's own path is passed as it is, not copied.
        KR_ManagedShaderResourceView* pView =
            IsUsingDebugTexture() ? pResources->GetShaderResourceViewFromFile(KB_String(DEBUG_CUBE_MAP_PATH))
                                  : pResources->GetShaderResourceViewFromFile(m_sCubeMapPath);
        return pView != nullptr ? pView->GetShaderResourceView() : nullptr;
    }
    return m_uiFrontTexture != NO_TEXTURE ? pResources->GetShaderResourceView(m_uiFrontTexture) : nullptr;
}

XMVECTOR KR_CubeMapPlacer::GetPosition(double fTime) const
{
    if (m_pPositionRail == nullptr)
        return m_vPosition;
    XMVECTOR vValue = XMVectorZero();
    m_pPositionRail->GetValueAt(&vValue, fTime - m_pPositionRail->GetStartTime());
    return vValue;
}

void KR_CubeMapPlacer::SetPositionRail(const KB_String& sPath, KU_VertexInterpolation* pRail)
{
    m_sPositionRailPath = sPath;
    // The visualisation points at the old rail: it goes first, and is made anew for the new one.
    DeleteAndNull(m_pRailVisualisation);
    if (pRail != m_pPositionRail)
        delete m_pPositionRail;
    m_pPositionRail = pRail;
    RebuildEditorObjects();
}

void KR_CubeMapPlacer::MoveSelectedKeyTo(const XMVECTOR& vPosition)
{
    if (IsSelected())
        m_vPosition = vPosition;
}

void KR_CubeMapPlacer::SetHighlighted(bool bHighlighted)
{
    if (m_pMarker != nullptr)
        m_pMarker->SetColor((bHighlighted ? HIGHLIGHT_COLOR : m_oMarkerColor).GetRGBA());
}

void KR_CubeMapPlacer::RenderDebug(double fTime, const XMMATRIX* pViewProjection,
                                   const XMVECTOR& vCameraPosition)
{
    const XMVECTOR p = GetPosition(fTime);
    const float fScale =
        MARKER_SIZE_FACTOR * XMVectorGetX(XMVector3Length(XMVectorSubtract(p, vCameraPosition)));
    const XMMATRIX world =
        XMMatrixMultiply(XMMatrixScaling(fScale, fScale, fScale),
                         XMMatrixTranslation(XMVectorGetX(p), XMVectorGetY(p), XMVectorGetZ(p)));
    if (m_pMarker != nullptr)
    {
        m_pMarker->SetWorldMatrix(world);
        m_pMarker->Render(pViewProjection);
    }
    if (m_pRailVisualisation != nullptr)
        m_pRailVisualisation->Render(fTime, pViewProjection, vCameraPosition);
    if (IsSelected() && m_pPositionHandle != nullptr)
    {
        m_pPositionHandle->SetWorldMatrix(world);
        m_pPositionHandle->Render(pViewProjection);
    }
}

float KR_CubeMapPlacer::GetPickDistance(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return FLT_MAX;
    const float fRail =
        m_pRailVisualisation != nullptr ? m_pRailVisualisation->GetPickDistance(ray) : FLT_MAX;
    const float fMarker = m_pMarker != nullptr ? m_pMarker->GetPickDistance(ray) : FLT_MAX;
    return fRail < fMarker ? fRail : fMarker;
}

void KR_CubeMapPlacer::Select(double fTime, const KR_Ray& ray)
{
    if (!IsActive(fTime))
        return;
    const float fMarker = m_pMarker != nullptr ? m_pMarker->GetPickDistance(ray) : FLT_MAX;
    if (m_pRailVisualisation != nullptr &&
        (m_pRailVisualisation->GetPickDistance(ray) < fMarker || fMarker == FLT_MAX))
    {
        m_pRailVisualisation->PickControlPoint(ray);
        return;
    }
    const bool bWasSelected = IsSelected();
    DeselectAll();
    // Also without a dispatcher, clicking a selected placer deselects it.
    Receive(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
    if (fMarker == FLT_MAX || bWasSelected)
        return;
    SetFlag(FLAG_SELECTED, true);
    m_pMarker->SetColor(m_oSelectionColor.GetRGBA());
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_CubeMapSelection, KE_MST_CubeMapSelected, this);
}

void KR_CubeMapPlacer::DragSelection(double fTime, const KR_Ray& ray, bool bDragging)
{
    if (!IsActive(fTime))
        return;
    if (m_pRailVisualisation != nullptr)
    {
        m_pRailVisualisation->MoveSelectedControlPoint(ray, bDragging);
        return;
    }
    if (!IsSelected() || m_pPositionHandle == nullptr)
        return;
    if (bDragging)
        m_pPositionHandle->Drag(ray, &m_vPosition);
    else
        m_pPositionHandle->EndDrag();
}

void KR_CubeMapPlacer::DeselectAll()
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
}

bool KR_CubeMapPlacer::Receive(KE_MessageType type, KE_MessageSubType subType, void* /*pPayload*/)
{
    if (type != KE_MT_EditorCommand || subType != KE_MST_DeselectControlPoints)
        return false;
    SetFlag(FLAG_SELECTED, false);
    if (m_pMarker != nullptr)
        m_pMarker->SetColor(m_oMarkerColor.GetRGBA());
    return true;
}
