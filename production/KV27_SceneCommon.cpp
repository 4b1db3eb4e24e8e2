#include "production/KV27_SceneCommon.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_RenderPass.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KU_InterpolationValue.h"
#include "timing/KU_VertexInterpolation.h"

#include <cstdio>

using namespace DirectX;

namespace
{

// The effects every scene uses, in the order they are registered.
constexpr KR_PostFXType REGISTERED_EFFECTS[] = {KR_POSTFX_BLOOM,           KR_POSTFX_DEPTH_OF_FIELD,
                                                KR_POSTFX_DIRTY_LENS,      KR_POSTFX_COLOR_CUBES,
                                                KR_POSTFX_VOLUME_LIGHTING, KR_POSTFX_COLOR_OFFSETS};

ID3D11ShaderResourceView* CurrentView(KR_ManagedShaderResourceView* pView)
{
    return pView != nullptr ? pView->GetShaderResourceView() : nullptr;
}

bool ReadCurve(KB_GrowingArray<KU_VertexInterpolation*>& gCurves, std::uint32_t uiCurve, double fTime,
               XMVECTOR* pValue)
{
    *pValue = XMVectorZero();
    if (uiCurve >= gCurves.GetNumMembers() || gCurves[uiCurve] == nullptr)
        return false;
    *pValue = KU_GetVectorAtTime(gCurves[uiCurve], fTime);
    return true;
}

} // namespace

KV27_SceneCommon::KV27_SceneCommon(const char* pSceneName, const Table& table) : m_oTable(table)
{
    SetSceneName(KB_String(pSceneName));
}

KV27_SceneCommon::~KV27_SceneCommon() = default;

bool KV27_SceneCommon::Load()
{
    KR_Scene::Load();

    // Loading again asks for the same resources again and draws new spin vectors in place of
    // the old ones, so nothing grows with each load.
    m_gModels.RemoveAll(false);
    m_gSpinVectors.RemoveAll(false);
    m_pCubeA = nullptr;
    m_pCubeB = nullptr;
    m_pDirtyLens = nullptr;
    if (KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager())
    {
        for (const char* pModel : m_oTable.models)
            m_gModels.Add(pResources->GetModelResource(
                KB_String("Assets/Models/Props/") + KB_String(pModel) + KB_String(".DAE"), 1, 1, 0));
        // A colour cube is one image of 32 x 1 tiles, the slices of the 3-D texture.
        const KB_String sCubes("Assets/Textures/ColorGrading/");
        if (m_oTable.pCubeA != nullptr)
            m_pCubeA = pResources->GetTexture3DShaderResourceViewFromFile(
                sCubes + KB_String(m_oTable.pCubeA) + KB_String(".png"), 32, 1);
        if (m_oTable.pCubeB != nullptr)
            m_pCubeB = pResources->GetTexture3DShaderResourceViewFromFile(
                sCubes + KB_String(m_oTable.pCubeB) + KB_String(".png"), 32, 1);
        m_pDirtyLens =
            pResources->GetShaderResourceViewFromFile(KB_String("Assets/Textures/FX/FX_DirtyLens_1.dds"));
    }
    if (KR_PostFXEngine* pPostFX = KE_GetPostFXEngine())
        for (const KR_PostFXType eEffect : REGISTERED_EFFECTS)
            pPostFX->RegisterEffect(eEffect);
    const XMFLOAT3 extent(m_oTable.fSpinExtent, 0.0f, 0.0f);
    for (std::uint32_t i = 0; i < m_oTable.uiSpinCount; ++i)
        m_gSpinVectors.Add(KB_Vector4<float>::CreateRandom(extent));

    // The curves come from files: fewer than the table reads is noted once here, and the frame
    // then reads the missing ones as zero or leaves out what stands on them.
    const std::uint32_t uiVertex = m_gVertexInterpolations.GetNumMembers();
    const std::uint32_t uiUser = m_gUserDefinedInterpolations.GetNumMembers();
    m_bShortCurveLists = uiVertex < m_oTable.uiMinVertexCurves || uiUser < m_oTable.uiMinUserCurves;
    if (m_bShortCurveLists)
        std::fprintf(stderr,
                     "%s: %u vertex and %u user-defined curves, fewer than the %u and %u the scene reads; "
                     "the missing ones read as zero\n",
                     GetSceneName().GetBuffer(), uiVertex, uiUser, m_oTable.uiMinVertexCurves,
                     m_oTable.uiMinUserCurves);
    return true;
}

bool KV27_SceneCommon::Update(double fTime)
{
    KR_Scene::Update(fTime);
    KR_SceneManager* pManager = KE_GetSceneManager();
    if (pManager != nullptr)
    {
        const XMFLOAT4 black(0.0f, 0.0f, 0.0f, 1.0f);
        pManager->SetClearColor(&black);
    }
    // While the editor holds the time the chain stays as it is: no effect is enabled.
    if (pManager == nullptr || pManager->IsTimelineRunning())
        EnableFrameEffects(fTime);
    RefreshShaderVectors(fTime);
    return true;
}

void KV27_SceneCommon::EnableFrameEffects(double fTime)
{
    KR_PostFXEngine* pPostFX = KE_GetPostFXEngine();
    if (pPostFX == nullptr)
        return;
    pPostFX->ClearEffects();

    XMVECTOR vBloom;
    GetUserCurveValue(BLOOM_CURVE, fTime, &vBloom);
    KR_BloomParameters bloom;
    bloom.m_fStrength = XMVectorGetX(vBloom);
    pPostFX->EnableEffect(KR_POSTFX_BLOOM, &bloom);

    const XMFLOAT2 nearFar = GetNearFarPlanes();
    const float afNearFar[2] = {nearFar.x, nearFar.y};
    pPostFX->SetNearFarPlanes(afNearFar);

    XMVECTOR vFocus1;
    XMVECTOR vFocus2;
    GetUserCurveValue(FOCUS_CURVE_1, fTime, &vFocus1);
    GetUserCurveValue(FOCUS_CURVE_2, fTime, &vFocus2);
    KR_DepthOfFieldParameters focus;
    focus.m_fFocal[0] = XMVectorGetX(vFocus1);
    focus.m_fFocal[1] = XMVectorGetY(vFocus1);
    focus.m_fFocal[2] = XMVectorGetZ(vFocus1);
    focus.m_fFocal[3] = XMVectorGetX(vFocus2);
    focus.m_fFocal[4] = XMVectorGetY(vFocus2);
    pPostFX->EnableEffect(KR_POSTFX_DEPTH_OF_FIELD, &focus);

    // The scene base fills in or takes out the volume lighting while rendering.
    pPostFX->EnableEffect(KR_POSTFX_VOLUME_LIGHTING, nullptr);

    KR_DirtyLensParameters lens;
    lens.m_fStrength = XMVectorGetX(vBloom);
    lens.m_pLensTexture = CurrentView(m_pDirtyLens);
    pPostFX->EnableEffect(KR_POSTFX_DIRTY_LENS, &lens);

    KR_ColorCubeParameters cubes;
    cubes.m_pCube1 = CurrentView(m_pCubeA);
    if (m_oTable.pCubeB != nullptr)
    {
        XMVECTOR vBlend;
        GetUserCurveValue(CUBE_BLEND_CURVE, fTime, &vBlend);
        cubes.m_fBlend = XMVectorGetX(vBlend);
        cubes.m_pCube2 = CurrentView(m_pCubeB);
    }
    pPostFX->EnableEffect(KR_POSTFX_COLOR_CUBES, &cubes);

    // The colour multiplier only while its curve runs, and only when it changes anything.
    if (COLOR_MULTIPLIER_CURVE < m_gUserDefinedInterpolations.GetNumMembers() &&
        m_gUserDefinedInterpolations[COLOR_MULTIPLIER_CURVE] != nullptr &&
        m_gUserDefinedInterpolations[COLOR_MULTIPLIER_CURVE]->IsActive(fTime))
    {
        XMVECTOR vMultiplier;
        GetUserCurveValue(COLOR_MULTIPLIER_CURVE, fTime, &vMultiplier);
        XMFLOAT4 c;
        XMStoreFloat4(&c, vMultiplier);
        if (c.x != 1.0f || c.y != 1.0f || c.z != 1.0f)
        {
            KR_ColorOffsetParameters offsets;
            const float afMult[4] = {c.x, c.y, c.z, 1.0f};
            for (int i = 0; i < 4; ++i)
            {
                offsets.m_vPre[i] = i == 3 ? 1.0f : 0.0f;
                offsets.m_vMult[i] = afMult[i];
                offsets.m_vPost[i] = i == 3 ? 1.0f : 0.0f;
            }
            pPostFX->EnableEffect(KR_POSTFX_COLOR_OFFSETS, &offsets);
        }
    }
}

void KV27_SceneCommon::RefreshShaderVectors(double fTime)
{
    if (m_oTable.vectors.empty())
        return;
    KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager();
    if (pCore == nullptr)
        return;
    pCore->ResetVectorArray();
    for (const VectorPair& pair : m_oTable.vectors)
    {
        XMVECTOR vPosition;
        XMVECTOR vScalar;
        // A missing curve makes the whole vector zero; the later ones keep their slots.
        const bool bPosition = GetVertexCurveValue(pair.uiVertexCurve, fTime, &vPosition);
        const bool bScalar = GetUserCurveValue(pair.uiUserCurve, fTime, &vScalar);
        XMFLOAT4 vVector(0.0f, 0.0f, 0.0f, 0.0f);
        if (bPosition && bScalar)
            XMStoreFloat4(&vVector, XMVectorSetW(vPosition, XMVectorGetX(vScalar)));
        pCore->AddVector(vVector);
    }
}

void KV27_SceneCommon::Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals)
{
    XMVECTOR vPosition = XMVectorZero();
    XMFLOAT2 nearFar(NO_CAMERA_NEAR, NO_CAMERA_FAR);
    XMMATRIX mViewProjection = XMMatrixIdentity();
    if (pCamera != nullptr)
    {
        mViewProjection = pCamera->GetViewProjectionMatrix();
        vPosition = pCamera->GetPosition();
        nearFar = pCamera->GetNearFarPlanes();
        if (KR_PostFXEngine* pPostFX = KE_GetPostFXEngine())
        {
            const float afNearFar[2] = {nearFar.x, nearFar.y};
            pPostFX->SetNearFarPlanes(afNearFar);
        }
    }
    if (KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager())
    {
        XMFLOAT3 position;
        XMStoreFloat3(&position, vPosition);
        pCore->SetFrameParameters(position, nearFar);
        pCore->SetFrameVector1(position);
        XMVECTOR vColor;
        GetUserCurveValue(FRAME_COLOR_CURVE, fTime, &vColor);
        XMFLOAT4 color;
        XMStoreFloat4(&color, vColor);
        pCore->SetFrameColor0(color);
        XMVECTOR vRange;
        GetUserCurveValue(FRAME_RANGE_CURVE, fTime, &vRange);
        pCore->SetFrameRange(XMFLOAT2(XMVectorGetX(vRange), XMVectorGetY(vRange)));
    }
    DrawProps(fTime, &mViewProjection, false);
    KR_Scene::Render(pCamera, fTime, bNoDebugVisuals);
}

void KV27_SceneCommon::RenderModels(double fTime, const XMMATRIX* pLightViewProjection)
{
    DrawProps(fTime, pLightViewProjection, true);
}

void KV27_SceneCommon::DrawProps(double fTime, const XMMATRIX* pViewProjection, bool bShadowPass)
{
    RenderChunks(fTime, pViewProjection, bShadowPass);
    const KR_RenderPass pass = bShadowPass ? KR_RENDER_PASS_SHADOW_MAP : KR_RENDER_PASS_COLOR;
    for (const DrawEntry& entry : m_oTable.draws)
    {
        KR_ModelResource* pModel =
            entry.uiModel < m_gModels.GetNumMembers() ? m_gModels[entry.uiModel] : nullptr;
        if (pModel == nullptr)
            continue;
        if (entry.eKind == DrawKind::Rail)
        {
            // Leaves out a rail whose start or target curve is missing.
            ComputeRailTransform(fTime, pViewProjection, bShadowPass, entry.uiCurve, pModel);
            continue;
        }
        XMVECTOR vPosition;
        if (!GetVertexCurveValue(entry.uiCurve, fTime, &vPosition))
            continue;
        XMMATRIX mWorld = XMMatrixTranslationFromVector(XMVectorSetW(vPosition, 1.0f));
        if (entry.eKind == DrawKind::Spinning)
        {
            if (entry.uiSpin >= m_gSpinVectors.GetNumMembers())
                continue;
            mWorld = SpinTransform(m_gSpinVectors[entry.uiSpin], fTime, vPosition);
        }
        pModel->Render(fTime, pass, &mWorld, pViewProjection, 1);
    }
}

XMMATRIX KV27_SceneCommon::SpinTransform(const KB_Vector4<float>& spin, double fTime, FXMVECTOR vPosition)
{
    const float fAngle = static_cast<float>(fTime) + spin.w;
    const XMVECTOR vRotation =
        XMQuaternionRotationRollPitchYaw(fAngle * spin.y, fAngle * spin.x, fAngle * spin.z);
    return XMMatrixMultiply(
        XMMatrixRotationQuaternion(vRotation),
        XMMatrixTranslation(XMVectorGetX(vPosition), XMVectorGetY(vPosition), XMVectorGetZ(vPosition)));
}

bool KV27_SceneCommon::PostLoad()
{
    if (KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager())
        pCore->ResetVectorArray();
    return true;
}

bool KV27_SceneCommon::GetVertexCurveValue(std::uint32_t uiCurve, double fTime, XMVECTOR* pValue)
{
    return ReadCurve(m_gVertexInterpolations, uiCurve, fTime, pValue);
}

bool KV27_SceneCommon::GetUserCurveValue(std::uint32_t uiCurve, double fTime, XMVECTOR* pValue)
{
    return ReadCurve(m_gUserDefinedInterpolations, uiCurve, fTime, pValue);
}
