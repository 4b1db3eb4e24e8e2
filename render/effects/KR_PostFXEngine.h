#pragma once
// Abstract interface of the post-processing chain. The selected graphics context makes the one
// instance; the engine singleton owns it and deletes it through the virtual destructor. Device
// resources are made by the life-cycle operations, which the load job calls; the rest runs on the
// main thread.
//
// Scenes register the effect ids they use once, then every frame enable them with a parameter
// record (the order of enabling is the order of running); the scene manager brackets the scene's
// drawing with BeginFrame and EndFrame. Records are copied when enabled, so the caller may reuse
// their memory at once; views, lights and cameras they point to stay the caller's.

#include "framework/core/KB_GrowingArray.h"

#include <cstdint>

struct ID3D11DepthStencilView;
struct ID3D11ShaderResourceView;
struct ID3D11Texture2D;
class KR_Camera;
class KR_OmniLight;
class KR_SpotLight;

// Effect ids; ids from KR_POSTFX_TYPE_COUNT up are accepted and run as nothing.
enum KR_PostFXType : std::uint32_t
{
    KR_POSTFX_BLOOM = 0,
    KR_POSTFX_DEPTH_OF_FIELD = 1,
    KR_POSTFX_COLOR_OFFSETS = 2,
    KR_POSTFX_DEPTH_FILTER = 3, // takes no record
    KR_POSTFX_COLOR_CUBES = 4,
    KR_POSTFX_VOLUME_LIGHTING = 5,
    KR_POSTFX_RGB_UV_SCALE = 6,
    KR_POSTFX_SCREENSHOT = 7, // the record is a NUL-terminated file name
    KR_POSTFX_DIRTY_LENS = 8,
    KR_POSTFX_TYPE_COUNT = KR_POSTFX_DIRTY_LENS + 1
};

struct KR_BloomParameters
{
    float m_fStrength = 1.0f;
};

// The focal parameters f0..f4 of the depth-of-field composite.
struct KR_DepthOfFieldParameters
{
    float m_fFocal[5] = {0.3f, 0.35f, 0.35f, 0.35f, 0.35f};
};

// Colour := (colour + pre) * mult + post, each an RGBA vector.
struct KR_ColorOffsetParameters
{
    float m_vPre[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float m_vMult[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float m_vPost[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

// Blend 0 shows cube 1 alone, 1 cube 2 alone, anything between mixes them. The 3-D views are
// not owned.
struct KR_ColorCubeParameters
{
    float m_fBlend = 0.0f;
    ID3D11ShaderResourceView* m_pCube1 = nullptr;
    ID3D11ShaderResourceView* m_pCube2 = nullptr;
};

// A null camera draws nothing. The light lists are copied (the lights are not owned).
struct KR_VolumeLightParameters
{
    // Room the light lists keep from the start: filling them each frame allocates nothing.
    static constexpr std::uint32_t LIST_CAPACITY = 16;

    KR_Camera* m_pCamera = nullptr;
    KB_GrowingArray<KR_SpotLight*> m_gSpotLights{LIST_CAPACITY};
    KB_GrowingArray<KR_OmniLight*> m_gOmniLights{LIST_CAPACITY}; // omni and tube lights
    std::uint32_t m_uiTraceSteps = 64;
    float m_fStepScale = 1.0f;
    float m_fTraceDistance = 100.0f;
    float m_fRandomFactor = 0.25f;
};

struct KR_RGBUVScaleParameters
{
    float m_fRed = 1.0f;
    float m_fGreen = 1.0f;
    float m_fBlue = 1.0f;
    float m_fU0 = 1.0f;
    float m_fU1 = 1.0f;
    float m_fU2 = 1.0f;
};

struct KR_DirtyLensParameters
{
    float m_fStrength = 1.0f;
    ID3D11ShaderResourceView* m_pLensTexture = nullptr; // not owned
};

class KR_PostFXEngine
{
public:
    KR_PostFXEngine() = default;
    virtual ~KR_PostFXEngine() = default;

    KR_PostFXEngine(const KR_PostFXEngine&) = delete;
    KR_PostFXEngine& operator=(const KR_PostFXEngine&) = delete;

    // Prepares the renderer before its resources exist; true on success.
    virtual bool Initialize() = 0;
    // Makes the device objects that do not depend on the window size; true on success, and true
    // with nothing made while no effect is registered.
    virtual bool CreateResources() = 0;
    // Makes the objects sized after the back buffer; true on success. A failure leaves the chain
    // off until a later call succeeds.
    virtual bool CreateSizeDependentResources() = 0;
    // Releases what CreateResources made; true on success.
    virtual bool ReleaseResources() = 0;
    // Releases what CreateSizeDependentResources made; true on success.
    virtual bool ReleaseSizeDependentResources() = 0;

    // Notes an id a scene uses; the first call switches the chain on. Always true.
    virtual bool RegisterEffect(std::uint32_t uiId) = 0;
    // Copies the record (null: the id's reset rule) and appends the id to this frame's chain
    // unless it is there already; the screenshot id only marks a screenshot as pending.
    // Always true.
    virtual bool EnableEffect(std::uint32_t uiId, const void* pRecord) = 0;
    // Empties this frame's chain.
    virtual void ClearEffects() = 0;
    // Removes the id from this frame's chain, keeping the order of the rest; false when absent.
    virtual bool DisableEffect(std::uint32_t uiId) = 0;
    // Redirects the scene's drawing into the off-screen targets when the chain will run.
    // clearColor points to four floats. Always true.
    virtual bool BeginFrame(const float* clearColor) = 0;
    // Runs the chain and leaves its image in the back buffer. Always true.
    virtual bool EndFrame() = 0;
    // nearFar points to (near, far) of the active camera.
    virtual void SetNearFarPlanes(const float* nearFar) = 0;
    // The depth the scene renders into this frame: the engine's while the chain runs, else the
    // graphics device's. Not AddRef'd.
    virtual ID3D11Texture2D* GetDepthStencilTexture() = 0;
    // The engine's depth view whenever its targets exist (chain empty or not), else the device's.
    virtual ID3D11ShaderResourceView* GetDepthStencilSRV() = 0;
    virtual ID3D11DepthStencilView* GetDepthStencilView() = 0;
};
