// KR_SceneManager: start-up, the load job and the loading frames up to the hand-over.

#include "render/scene/KR_SceneManager.h"

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResource.h"
#include "audio/KA_AudioResourceManager.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/threads/KT_BindStruct.h"
#include "framework/threads/KT_Future.h"
#include "platform/crt/WinCrt.h"
#include "platform/win32/Windows.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/debug/KR_DebugCube.h"
#include "render/debug/KR_DebugHUD.h"
#include "render/debug/KR_DebugPolyhedron.h"
#include "render/debug/KR_TranslateGizmo.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_UtilitiesDX11.h"
#include "render/effects/KR_MetaBallRenderer.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/effects/KR_ParticleEngine.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/scene/KR_LoaderWedge.h"
#include "render/scene/KR_Scene.h"

#include <new>

namespace
{

constexpr std::uint8_t POSITION_ONLY_FORMAT = 1;
constexpr UINT LOADER_VERTEX_STRIDE = 3 * sizeof(float);
constexpr std::uint32_t MUSIC_SPECTRUM_BANDS = 256;

} // namespace

void KR_SceneManager::Start()
{
    if (m_bStarted)
        return;
    m_bStarted = true;

    m_afLoaderColor[0] = m_afLoaderColor[1] = m_afLoaderColor[2] = 0.85f;
    m_afLoaderColor[3] = 1.0f;
    CreateLoaderShaders();
    m_fTargetProgress = 0.0f;
    RenderLoader();

    if (KE_IsDeveloperBuild())
    {
        KR_DebugPolyhedron::CreateStaticBuffers();
        KR_DebugCube::CreateStaticBuffers();
        KR_TranslateGizmo::CreateStaticBuffers();
    }

    // Without a controller camera (a failed allocation) the editor camera modes do nothing.
    m_pControllerCamera = new (std::nothrow) KR_ControllerCamera();
    if (m_pControllerCamera != nullptr)
        m_pControllerCamera->LookAt(DirectX::XMVectorSet(0.0f, 60.0f, -100.0f, 1.0f),
                                    DirectX::XMVectorSet(0.0f, 50.0f, 0.0f, 1.0f),
                                    DirectX::XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f));

    KE_Dispatcher* pDispatcher = KE_GetDispatcher();
    if (pDispatcher != nullptr)
    {
        pDispatcher->RegisterReceiver(KE_MT_Controller, this);
        pDispatcher->RegisterReceiver(KE_MT_Keyboard, this);
        pDispatcher->RegisterReceiver(KE_MT_Mouse, this);
        m_bRegistered = true;
    }

    if (KR_ParticleEngine* pParticles = KE_GetParticleEngine())
    {
        pParticles->CreateResources();
        pParticles->Reset(0.0);
    }

    m_pLoadFuture = KT_RunAsync(KT_BindStruct1<void, KR_SceneManager*>{&KR_SceneManager::LoadJobEntry, this});
}

void KR_SceneManager::CreateLoaderShaders()
{
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
    if (pDevice != nullptr && m_pLoaderRasterizerState == nullptr)
    {
        const bool bMultisampled = pGraphics->GetAntiAliasing() > 1;
        const D3D11_RASTERIZER_DESC desc =
            KR_UtilitiesDX11::SolidRasterizerDesc(D3D11_CULL_BACK, bMultisampled, bMultisampled);
        if (FAILED(pDevice->CreateRasterizerState(&desc, &m_pLoaderRasterizerState)))
            m_pLoaderRasterizerState = nullptr;
    }
    if (pResources == nullptr)
        return;

    KR_ShaderProperties properties;
    // Position-only vertices handed on untransformed, "MainPS" with "PS_LOADER".
    KR_MaterialManager::BuildSimpleShaderProperties(properties, KR_SIMPLE_SHADER_LOADER,
                                                    &POSITION_ONLY_FORMAT, true);
    m_pLoaderProgram = pResources->GetShaderProgram(&properties);
    if (m_pLoaderProgram != nullptr)
    {
        // The material states do not exist before the load job made them: null draws with the
        // device defaults, which suit a full-screen wedge at depth 0.
        KR_MaterialManager* pMaterials = KE_GetMaterialManager();
        m_pLoaderProgram->m_pBlendState = pMaterials != nullptr ? pMaterials->GetBlendState(0) : nullptr;
        m_pLoaderProgram->m_pDepthStencilState =
            pMaterials != nullptr ? pMaterials->GetDepthStencilState(1) : nullptr;
        m_pLoaderProgram->m_pRasterizerState = m_pLoaderRasterizerState;
    }
    m_pLoaderInputLayout = pResources->GetInputLayout(&POSITION_ONLY_FORMAT);
}

void KR_SceneManager::ReleaseLoaderObjects()
{
    KR_ReleaseAndNull(m_pLoaderRasterizerState);
    if (m_pLoaderProgram != nullptr && m_pLoaderProgram->m_pRasterizerState != nullptr)
        m_pLoaderProgram->m_pRasterizerState = nullptr;
    m_pLoaderProgram = nullptr;
    m_pLoaderInputLayout = nullptr;
}

void KR_SceneManager::RenderLoader()
{
    SetCursor(nullptr);
    m_fShownProgress += (m_fTargetProgress - m_fShownProgress) * PROGRESS_SMOOTHING;

    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    if (pGraphics == nullptr)
        return;
    pGraphics->PushRasterizerState();
    pGraphics->ClearMainRenderTarget(m_afLoaderColor);
    pGraphics->ClearMainDepthStencil(1.0f);
    pGraphics->BindMainRenderTarget();

    DirectX::XMFLOAT3 aVertices[KR_LoaderWedge::NUM_VERTICES];
    KR_LoaderWedge::Build(m_fShownProgress, aVertices);
    ID3D11Device* pDevice = pGraphics->GetDevice();
    ID3D11DeviceContext* pContext = pGraphics->GetImmediateContext();
    ID3D11Buffer* pBuffer = nullptr;
    if (pDevice != nullptr)
    {
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = sizeof(aVertices);
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        D3D11_SUBRESOURCE_DATA data = {};
        data.pSysMem = aVertices;
        if (FAILED(pDevice->CreateBuffer(&desc, &data, &pBuffer)))
            pBuffer = nullptr;
    }
    if (pContext != nullptr && pBuffer != nullptr && m_pLoaderProgram != nullptr)
    {
        const UINT uiStride = LOADER_VERTEX_STRIDE;
        const UINT uiOffset = 0;
        pContext->IASetInputLayout(m_pLoaderInputLayout);
        pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        pContext->IASetVertexBuffers(0, 1, &pBuffer, &uiStride, &uiOffset);
        pContext->IASetIndexBuffer(nullptr, DXGI_FORMAT_UNKNOWN, 0);
        pContext->VSSetShader(m_pLoaderProgram->m_pVertexShader, nullptr, 0);
        pContext->PSSetShader(m_pLoaderProgram->m_pPixelShader, nullptr, 0);
        pContext->OMSetBlendState(m_pLoaderProgram->m_pBlendState, m_pLoaderProgram->m_fBlendFactor,
                                  m_pLoaderProgram->m_uiSampleMask);
        pContext->OMSetDepthStencilState(m_pLoaderProgram->m_pDepthStencilState,
                                         m_pLoaderProgram->m_uiStencilReference);
        pContext->RSSetState(m_pLoaderRasterizerState);
        pContext->Draw(KR_LoaderWedge::NUM_VERTICES, 0);
        // The per-call buffer goes now: unbind it so the context does not keep it alive.
        ID3D11Buffer* pNone = nullptr;
        pContext->IASetVertexBuffers(0, 1, &pNone, &uiStride, &uiOffset);
    }
    KR_ReleaseAndNull(pBuffer);
    pGraphics->Present();
    pGraphics->PopRasterizerState();
}

void KR_SceneManager::LoadJobEntry(KR_SceneManager* pManager)
{
    if (pManager != nullptr)
        pManager->RunLoadJob();
}

void KR_SceneManager::RunLoadJob()
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr || IsLoadCancelled())
        return;
    KR_MaterialManager* pMaterials = pEngine->GetMaterialManager();
    KR_ShaderCoreManager* pShaderCore = pEngine->GetShaderCoreManager();
    KR_GraphicsResourceManager* pResources = pEngine->GetGraphicsResourceManager();
    KR_ParticleEngine* pParticles = pEngine->GetParticleEngine();
    KR_PostFXEngine* pPostFX = pEngine->GetPostFXEngine();
    KR_OITRenderer* pOIT = pEngine->GetOITRenderer();
    KR_MetaBallRenderer* pMetaBalls = pEngine->GetMetaBallRenderer();

    // A shutdown during loading stops the job between its steps.
    if (pMaterials != nullptr)
        pMaterials->LoadMaterialLibrary();
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers() && !IsLoadCancelled(); ++i)
        m_gScenes[i]->PreLoad();
    if (IsLoadCancelled())
        return;
    if (pParticles != nullptr)
        pParticles->Initialize();
    if (pPostFX != nullptr)
        pPostFX->Initialize();
    if (pOIT != nullptr)
        pOIT->Initialize();
    if (pMetaBalls != nullptr)
        pMetaBalls->Initialize();
    if (pShaderCore != nullptr)
        pShaderCore->Initialize();
    if (pMaterials != nullptr)
        pMaterials->CreateMaterialShaders();
    if (pResources != nullptr)
        pResources->LoadDefaultResources();
    if (pShaderCore != nullptr)
    {
        pShaderCore->CreateResources();
        pShaderCore->CreateSizeDependentResources();
    }
    for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers() && !IsLoadCancelled(); ++i)
        m_gScenes[i]->Load();
    if (IsLoadCancelled())
        return;
    if (pPostFX != nullptr)
    {
        pPostFX->CreateResources();
        pPostFX->CreateSizeDependentResources();
    }
    if (pOIT != nullptr)
    {
        pOIT->CreateResources();
        pOIT->CreateSizeDependentResources();
    }
    if (pMetaBalls != nullptr)
    {
        pMetaBalls->CreateResources();
        pMetaBalls->CreateSizeDependentResources();
    }
    // Without the HUD (a failed allocation) the frames are drawn without it.
    auto* pHUD = new (std::nothrow) KR_DebugHUD();
    if (pHUD != nullptr)
        pHUD->Initialize();
    m_pDebugHUD = pHUD;
    if (IsLoadCancelled())
        return;
    KA_AudioContextManager* pAudio = pEngine->GetAudioContextManager();
    if (pAudio != nullptr && pAudio->GetAudioResourceManager() != nullptr)
        pAudio->GetAudioResourceManager()->LoadAll();
    if (pResources != nullptr)
        pResources->BeginLoadingPhase();
    PrepareMusicSounds();
}

void KR_SceneManager::PrepareMusicSounds()
{
    KA_AudioContextManager* pAudio = KE_GetAudioContextManager();
    KA_AudioResourceManager* pAudioResources =
        pAudio != nullptr ? pAudio->GetAudioResourceManager() : nullptr;
    if (pAudioResources == nullptr)
        return;
    const KB_GrowingArray<KA_AudioEntityEntry>& gEntries = pAudioResources->GetEntries();
    for (std::uint32_t i = 0; i < gEntries.GetNumMembers(); ++i)
    {
        KA_AudioEntity* pEntity = gEntries[i].m_pEntity;
        if (pEntity == nullptr || pEntity->Is3D() || pEntity->IsLooped())
            continue;
        // Remakes the sound when it is missing or marked dirty.
        if (KA_AudioResource* pSound = pEntity->GetAudioResource())
            pSound->SetNumFFTValues(MUSIC_SPECTRUM_BANDS);
    }
}

bool KR_SceneManager::IsLoadJobDone() const
{
    return m_pLoadFuture == nullptr ||
           m_pLoadFuture->GetState() == KT_FutureBase::KT_FutureBaseData::STATE_DONE;
}

void KR_SceneManager::FinishLoadJob()
{
    if (m_pLoadFuture == nullptr)
        return;
    m_pLoadFuture->Wait();
    delete m_pLoadFuture;
    m_pLoadFuture = nullptr;
}

void KR_SceneManager::UpdateLoading()
{
    RenderLoader();
    Sleep(LOADING_FRAME_SLEEP_MS);
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources != nullptr)
    {
        pResources->ProcessQueuedTexture3D();
        m_fTargetProgress = pResources->GetLoadingProgress();
    }
    // Done when the job itself has finished (it may still be making sounds after the resource
    // manager's loading phase began) and every resource it asked for has loaded.
    if (!IsLoadJobDone() || (pResources != nullptr && !pResources->FinishLoading()))
        return;
    m_fTargetProgress = PROGRESS_DONE_TARGET;
    if (m_fShownProgress <= 1.0f)
        return;

    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    if (!m_bHandOverQueryIssued)
    {
        for (std::uint32_t i = 0; i < m_gScenes.GetNumMembers(); ++i)
        {
            m_gScenes[i]->RenderCubeMapsAtLoad();
            m_gScenes[i]->PostLoad();
        }
        ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
        ID3D11DeviceContext* pContext = pGraphics != nullptr ? pGraphics->GetImmediateContext() : nullptr;
        D3D11_QUERY_DESC desc = {D3D11_QUERY_EVENT, 0};
        if (pDevice != nullptr && pContext != nullptr &&
            SUCCEEDED(pDevice->CreateQuery(&desc, &m_pHandOverQuery)))
            pContext->End(m_pHandOverQuery);
        else
            m_pHandOverQuery = nullptr;
        m_bHandOverQueryIssued = true;
        return;
    }

    ID3D11DeviceContext* pContext = pGraphics != nullptr ? pGraphics->GetImmediateContext() : nullptr;
    if (m_pHandOverQuery != nullptr && pContext != nullptr)
    {
        // Polled until the GPU reports the work done; an error (a lost device) ends the wait too.
        std::uint32_t uiDone = 0;
        while (pContext->GetData(m_pHandOverQuery, &uiDone, sizeof(uiDone), 0) == S_FALSE)
            Sleep(LOADING_FRAME_SLEEP_MS);
    }
    KR_ReleaseAndNull(m_pHandOverQuery);
    m_bLoaded = true;
    FinishLoadJob();
    m_bCursorAllowed = true;
    m_fPlaybackStartSeconds = static_cast<double>(wincrt::clock()) * 0.001;
    StartPlayback();
}
