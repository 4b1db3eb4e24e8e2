#pragma once
// Direct3D 11 implementation of the post-processing chain. The scene renders into an off-screen
// HDR colour target and depth; EndFrame runs the enabled effects over that image with the
// full-screen passes of "Assets/Shader/KR_PostFXEngineDX11Shader.fx" and the last pass writes the
// back buffer. Intermediate images are pooled textures of the resource manager, given back as
// soon as nothing reads them. Main (render) thread only, apart from the life-cycle operations the
// load job calls.
//
// The chain runs only while an effect is registered, the effect file loaded and the
// size-dependent targets exist; otherwise the scene keeps the back buffer and the frame calls do
// nothing (a pending screenshot is then taken from the back buffer).

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "render/effects/KR_PostFXEngine.h"
#include "render/effects/KR_VolumeLightGeometry.h"

#include <cstdint>

struct ID3DX11Effect;
struct ID3DX11EffectTechnique;
struct ID3DX11EffectMatrixVariable;
struct ID3DX11EffectScalarVariable;
struct ID3DX11EffectShaderResourceVariable;
struct ID3DX11EffectVectorVariable;
class KR_GraphicsDevice;
class KR_GraphicsResourceManager;

class KR_PostFXEngineDX11 : public KR_PostFXEngine
{
public:
    // The effect file's techniques by role, numbered in the file's order. CreateResources refuses
    // a file whose techniques are not those of TECHNIQUE_NAMES, in that order.
    enum Technique : std::uint32_t
    {
        T_DOWNSAMPLE_QUARTER = 0,
        T_UPSAMPLE_QUARTER,
        T_COMPOSE_BLOOM,
        T_DOWNSAMPLE_HALF,
        T_UPSAMPLE_HALF,
        T_COPY = T_UPSAMPLE_HALF, // a plain copy at the target's size
        T_COMPOSE_HALF,
        T_COMPOSE,
        T_BRIGHT_PASS,
        T_BLOOM_BLUR_FIRST,
        T_BLOOM_BLUR_SECOND,
        T_BLUR_FIRST,
        T_BLUR_SECOND,
        T_COMPOSE_DEPTH_OF_FIELD,
        T_COLOR_OFFSETS,
        T_DEPTH_FILTER,
        T_COLOR_CUBES,
        T_VOLUME_LIGHTING,
        T_RGB_UV_SCALE,
        T_DIRTY_LENS,
        TECHNIQUE_COUNT
    };
    // The techniques' names in the effect file, indexed by Technique.
    static constexpr const char* TECHNIQUE_NAMES[] = {
        "DownsampleQuarter", "UpsampleQuarter", "ComposeBloom",        "DownsampleHalf", "UpsampleHalf",
        "ComposeHalf",       "Compose",         "BrightPass",          "BloomBlurFirst", "BloomBlurSecond",
        "BlurFirst",         "BlurSecond",      "ComposeDepthOfField", "ColorOffsets",   "DepthFilter",
        "ColorCubes",        "VolumeLighting",  "RGBUVScale",          "DirtyLens"};
    static constexpr std::uint32_t NO_TEXTURE = 0xFFFFFFFFu;
    // Path of the effect file, as the resource manager finds it.
    static constexpr const char* EFFECT_PATH = "Assets/Shader/KR_PostFXEngineDX11Shader.fx";

    KR_PostFXEngineDX11();
    ~KR_PostFXEngineDX11() override;

    bool Initialize() override;
    // False, leaving the chain off, when the effect cannot be loaded.
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;

    bool RegisterEffect(std::uint32_t uiId) override;
    bool EnableEffect(std::uint32_t uiId, const void* pRecord) override;
    void ClearEffects() override;
    bool DisableEffect(std::uint32_t uiId) override;
    bool BeginFrame(const float* clearColor) override;
    bool EndFrame() override;
    void SetNearFarPlanes(const float* nearFar) override;
    ID3D11Texture2D* GetDepthStencilTexture() override;
    ID3D11ShaderResourceView* GetDepthStencilSRV() override;
    ID3D11DepthStencilView* GetDepthStencilView() override;

    // For tests and tools: the chain of this frame, and whether the chain can run.
    const KB_GrowingArray<std::uint32_t>& GetChain() const { return m_gChain; }
    bool IsRunning() const { return m_bRegistered && m_pEffect != nullptr && m_bTargetsReady; }

protected:
    // Runs the effect at that position of the chain over the current image; EndFrame calls it for
    // each entry in order, bLast for the one that writes the back buffer.
    virtual void RunEffect(std::uint32_t uiIndex, bool bLast);

    // The scaling passes, each one full-screen pass over the current image; false when the
    // target could not be made and the pass was skipped. Sizes are in whole pixels of the source.
    // Quarter size ("store": the image read stays aside as the stored stage); no scene depth.
    bool DownsampleQuarter(bool bStore);
    bool UpsampleQuarter(); // four times the size
    bool DownsampleHalf();  // half the size
    bool UpsampleHalf();    // twice the size
    // The current image at twice its size over the scene image: into the back buffer when bLast,
    // else into a pooled target that becomes the scene image too.
    bool ComposeHalf(bool bLast);

private:
    // An image the chain reads: a view and, for a pooled texture, its handle (NO_TEXTURE for the
    // engine's own colour target or none).
    struct ImageSlot
    {
        ID3D11ShaderResourceView* m_pView = nullptr; // not owned
        std::uint32_t m_uiHandle = NO_TEXTURE;
    };

    // One full-screen pass: technique and pass, what it reads and sets.
    struct PassSetup
    {
        std::uint32_t m_uiTechnique = 0;
        std::uint32_t m_uiPass = 0;
        ID3D11ShaderResourceView* m_pSource1 = nullptr;
        ID3D11ShaderResourceView* m_pSource2 = nullptr;
        bool m_bSetSource3 = false; // else "g_tSourceTexture3" keeps its value
        ID3D11ShaderResourceView* m_pSource3 = nullptr;
        bool m_bClearCubes = true;
        bool m_bDepth = true;
        bool m_bBorderless = false;
        std::uint32_t m_uiClearSlots = 3;
    };

    // The camera values volume lighting reads, copied when the effect is enabled so that a
    // camera destroyed before EndFrame is never read.
    struct CameraValues
    {
        bool m_bValid = false;
        float m_vPosition[4] = {};
        float m_vLook[4] = {};
        float m_vUp[4] = {};
        float m_vRight[4] = {};
        float m_fFOV = 0.0f;
        float m_fAspectRatio = 1.0f;
        float m_mViewProjection[16] = {};
        float m_mProjection[16] = {};
        float m_mInverseProjection[16] = {};
    };

    KR_GraphicsDevice* GetGraphicsDevice() const;
    KR_GraphicsResourceManager* GetResourceManager() const;
    ID3D11Device* GetDevice() const;
    ID3D11DeviceContext* GetContext() const;

    // True when the effect's techniques are TECHNIQUE_NAMES, no more and in that order.
    static bool HasTechniqueRoles(ID3DX11Effect* pEffect);
    void TakeVariables();
    // CreateSizeDependentResources' stages. The colour and depth targets at the frame's size and
    // sample count with their views; false when one fails (the caller releases what was made).
    bool CreateFrameTargets(ID3D11Device* pDevice, UINT uiQuality);
    // The border-less quad, the volume depth and the light targets: the chain runs without them.
    void CreateOptionalTargets(ID3D11Device* pDevice);
    void ReleaseSizeDependentObjects();
    void ReleaseSavedViews();
    // Gives back every pooled image the slots hold and empties them.
    void ReleaseImages();
    bool CanRun(std::uint32_t uiId) const;

    // Shared pass operations. BindIntermediateTarget answers NO_TEXTURE (nothing bound) when the
    // pool cannot make the target.
    std::uint32_t BindIntermediateTarget(std::uint32_t uiWidth, std::uint32_t uiHeight);
    void BindFinalTarget();
    void BindDepthTexture();
    void SetTextureSize(std::uint32_t uiTargetWidth, std::uint32_t uiTargetHeight);
    void UnbindTarget();
    void ClearPixelSlots(std::uint32_t uiCount);
    void Drop(ImageSlot* pSlot);
    void DrawPass(const PassSetup& pass);

    // The pass kinds: an intermediate pass moves the current image on; a final-capable pass ends
    // an effect (into the back buffer when bLast). False when the target could not be made and
    // the pass was skipped.
    bool RunIntermediate(const PassSetup& pass, std::uint32_t uiWidth, std::uint32_t uiHeight);
    bool RunFinalCapable(const PassSetup& pass, std::uint32_t uiWidth, std::uint32_t uiHeight, bool bLast);

    // The effects (KR_PostFXEngineDX11Passes.cpp).
    bool BrightPass();
    bool BloomBlur(std::uint32_t uiTechnique, float fStrength);
    bool Blur(std::uint32_t uiTechnique);
    void RunBloom(bool bLast);
    void RunDepthOfField(bool bLast);
    void RunColorOffsets(bool bLast);
    void RunDepthFilter(bool bLast);
    void RunColorCubes(bool bLast);
    void RunRGBUVScale(bool bLast);
    void RunDirtyLens(bool bLast);
    void SaveScreenshot();
    // The plain copy (T_COPY) of the current image into the back buffer; drops both images.
    void CopyToFinalTarget();
    // A screenshot when the chain cannot run: the back buffer bound now, as the scene drew it.
    void SaveBackBufferScreenshot();

    // Volume lighting (KR_PostFXEngineDX11VolumeLighting.cpp): the light volumes' depth, the march
    // at full size into the first light target, filtering at half size, the composite.
    struct LightTargets
    {
        ID3D11RenderTargetView* apTargets[3];
        ID3D11ShaderResourceView* apImages[3];
    };
    void RenderLightVolumes(bool bLast);
    void RenderVolumeDepth(ID3D11DeviceContext* pContext, double fTime, const D3D11_VIEWPORT& full);
    void MarchLightVolumes(ID3D11DeviceContext* pContext, double fTime, const LightTargets& targets);
    // The march's camera, step and random-factor variables.
    void SetMarchVariables();
    // Down-filters the march into the second target, then filters it twice through the third.
    void FilterLightImages(ID3D11DeviceContext* pContext, const LightTargets& targets, float fW, float fH);
    void CreateLightPyramids(double fTime);
    void CreateLightBricks(double fTime);
    void ResetSpotLightBatch();
    void AddSpotLight(double fTime, KR_SpotLight* pLight);
    void ApplySpotLightBatch();
    void ResetOmniLightBatch();
    void AddOmniLight(double fTime, KR_OmniLight* pLight);
    void ApplyOmniLightBatch();

    // Registry.
    bool m_bRegistered = false;
    bool m_bTargetsReady = false;
    bool m_bTakenOver = false; // BeginFrame bound the off-screen targets this frame
    KB_GrowingArray<std::uint32_t> m_gRegistered;
    KB_GrowingArray<std::uint32_t> m_gChain{16};

    // Sizes.
    std::uint32_t m_uiSourceWidth = 0;
    std::uint32_t m_uiSourceHeight = 0;
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiSampleCount = 1;

    // Size-dependent targets, owned.
    bool m_bMultisampled = false;
    ID3D11Texture2D* m_pRenderTargetTexture = nullptr;
    ID3D11Texture2D* m_pDepthStencilTexture = nullptr;
    ID3D11RenderTargetView* m_pRenderTargetView = nullptr;
    ID3D11DepthStencilView* m_pDepthStencilView = nullptr;
    ID3D11Texture2D* m_pResolvedRenderTargetTexture = nullptr;
    ID3D11ShaderResourceView* m_pRenderTargetSRV = nullptr;
    ID3D11ShaderResourceView* m_pDepthStencilSRV = nullptr;
    ID3D11Buffer* m_pFullScreenQuadUVsWithoutBorderVB = nullptr;
    ID3D11Texture2D* m_pVolumeLightDepthStencilTexture = nullptr;
    ID3D11DepthStencilView* m_pVolumeLightDepthStencilView = nullptr;
    std::uint32_t m_auiLightTargets[3] = {NO_TEXTURE, NO_TEXTURE, NO_TEXTURE}; // pooled

    // Image slots and the views BeginFrame took over (one reference each while held).
    ImageSlot m_oSceneImage;
    ImageSlot m_oCurrentImage;
    ImageSlot m_oStoredStage;
    ID3D11RenderTargetView* m_pSavedRenderTargetView = nullptr;
    ID3D11DepthStencilView* m_pSavedDepthStencilView = nullptr;

    // The effect (the resource manager's) and what is taken from it.
    ID3DX11Effect* m_pEffect = nullptr;
    ID3DX11EffectTechnique* m_apTechniques[TECHNIQUE_COUNT] = {};
    ID3D11InputLayout* m_pInputLayoutPosUV1Vertex = nullptr;   // owned
    ID3D11InputLayout* m_pInputLayoutPosVertex = nullptr;      // owned
    ID3D11Buffer* m_pFullScreenQuadUVsVB = nullptr;            // owned
    ID3D11RasterizerState* m_pVolumeRasterizerState = nullptr; // the resource manager's
    ID3D11Buffer* m_pLightPyramidsVB = nullptr;                // owned
    std::uint32_t m_uiLightPyramidsVertexCount = 0;
    ID3D11Buffer* m_pLightBricksVB = nullptr; // owned
    std::uint32_t m_uiLightBricksVertexCount = 0;
    KR_VolumeLightGeometry::SpotLightBatch m_oSpotLightBatch;
    KR_VolumeLightGeometry::OmniLightBatch m_oOmniLightBatch;
    // Scratch of the light volumes and of the omni batch's combined arrays: emptied, never shrunk,
    // so once grown a frame fills them without allocating.
    KB_GrowingArray<DirectX::XMFLOAT3> m_gLightVolumeVertices;
    KB_GrowingArray<DirectX::XMFLOAT4> m_gCombinedOmniColors;
    KB_GrowingArray<DirectX::XMFLOAT4> m_gCombinedOmniAttenuations;
    KB_GrowingArray<DirectX::XMFLOAT4> m_gCombinedOmniPositions;

    ID3DX11EffectShaderResourceVariable* m_pSourceTexture1 = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pSourceTexture2 = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pSourceTexture3 = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pColorCubeTexture1 = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pColorCubeTexture2 = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pDepthTexture = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pDepthTextureMS = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pShadowMap = nullptr;
    ID3DX11EffectScalarVariable* m_pColorBlend = nullptr;
    ID3DX11EffectScalarVariable* m_pBloomStrength = nullptr;
    ID3DX11EffectScalarVariable* m_pNear = nullptr;
    ID3DX11EffectScalarVariable* m_pFar = nullptr;
    ID3DX11EffectScalarVariable* m_pOneOverFar = nullptr;
    ID3DX11EffectScalarVariable* m_pLuminance = nullptr;
    ID3DX11EffectScalarVariable* m_pNumberOfSamples = nullptr;
    ID3DX11EffectScalarVariable* m_pNumberOfSpotLights = nullptr;
    ID3DX11EffectScalarVariable* m_pNumberOfOmniLights = nullptr;
    ID3DX11EffectScalarVariable* m_pNumberOfTubeLights = nullptr;
    ID3DX11EffectScalarVariable* m_pViewRayOffsets = nullptr; // four floats (SetFloatArray)
    ID3DX11EffectScalarVariable* m_pTraceSteps = nullptr;
    ID3DX11EffectScalarVariable* m_pTraceStepFactor = nullptr;
    ID3DX11EffectVectorVariable* m_pFocalPlane1 = nullptr;
    ID3DX11EffectVectorVariable* m_pFocalPlane2 = nullptr;
    ID3DX11EffectVectorVariable* m_pFXPreColorOffset = nullptr;
    ID3DX11EffectVectorVariable* m_pFXMultColorOffset = nullptr;
    ID3DX11EffectVectorVariable* m_pFXPostColorOffset = nullptr;
    ID3DX11EffectVectorVariable* m_pTextureSize = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightPosition = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightDirection = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightColor = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightFOVCosAngle = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightAttenuation = nullptr;
    ID3DX11EffectVectorVariable* m_pSpotLightShadowBias = nullptr;
    ID3DX11EffectVectorVariable* m_pOmniLightColor = nullptr;
    ID3DX11EffectVectorVariable* m_pOmniLightAttenuation = nullptr;
    ID3DX11EffectVectorVariable* m_pOmniLightPosition = nullptr;
    ID3DX11EffectVectorVariable* m_pOmniLightPosition2 = nullptr;
    ID3DX11EffectVectorVariable* m_pFrustrumCorners = nullptr;
    ID3DX11EffectVectorVariable* m_pCameraPosition = nullptr;
    ID3DX11EffectVectorVariable* m_pRandomFactor = nullptr;
    ID3DX11EffectVectorVariable* m_pRGBScale = nullptr;
    ID3DX11EffectVectorVariable* m_pUVScale = nullptr;
    ID3DX11EffectMatrixVariable* m_pSpotLightProjection = nullptr;
    ID3DX11EffectMatrixVariable* m_pInvProjection = nullptr;
    ID3DX11EffectMatrixVariable* m_pWorldViewProjection = nullptr;

    // Parameters.
    float m_fNear = 1.0f;
    float m_fFar = 2500.0f;
    float m_fOneOverFar = 0.0004f;
    float m_fBloomStrength = 1.0f;
    float m_afFocal[5] = {0.3f, 0.35f, 0.35f, 0.35f, 0.35f};
    float m_avColorOffsets[3][4] = {
        {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f}};
    float m_fColorBlend = 0.0f;
    ID3D11ShaderResourceView* m_pColorCube1 = nullptr; // not owned
    ID3D11ShaderResourceView* m_pColorCube2 = nullptr; // not owned
    CameraValues m_oVolumeCamera;
    KB_GrowingArray<KR_SpotLight*> m_gVolumeSpotLights{KR_VolumeLightParameters::LIST_CAPACITY};
    KB_GrowingArray<KR_OmniLight*> m_gVolumeOmniLights{KR_VolumeLightParameters::LIST_CAPACITY};
    std::uint32_t m_uiTraceSteps = 64;
    float m_fTraceStepScale = 1.0f;
    float m_fTraceDistance = 100.0f;
    float m_afRandomFactor[2] = {0.25f, 0.875f}; // (f, 1 - f/2)
    float m_afRGBUVScale[7] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    float m_fDirtyLensStrength = 1.0f;
    ID3D11ShaderResourceView* m_pDirtyLensTexture = nullptr; // not owned

    // Screenshot.
    bool m_bScreenshotPending = false;
    KB_String m_sScreenshotName;
};
