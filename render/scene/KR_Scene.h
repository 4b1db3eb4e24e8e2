#pragma once
// The abstract base of the production's scenes. A scene is alive in [start, end) of the production
// clock, and owns what it loads from its entity folder ("Assets/Entities/" + scene name + "/"):
// animated cameras, omni and spot lights, cube-map placers, its curves with their editor
// visualisations, the camera selection curve (its x at a time is the index of the animated
// camera to use), and the chunk models with their visibility curves. It answers which camera is
// active, saves its entities under renumbered names and deletes cameras and lights with their
// files. The derived scene names itself in its constructor and supplies the pure operations.
//
// Entity folders are listed through the file manager; a file that several repositories hold (the
// archive and the working directory in developer mode) is loaded once, from the first of them, so
// list indices follow the listing order without duplicates: the production addresses curves by
// that index. Saving writes through the file manager (a failed write leaves the old file whole);
// deleting never removes the folder an empty curve path would name, and never removes an omni
// light's target rail file, which no save would write back.
//
// While current, each frame: UpdateLightSelection renders the spot lights' shadow maps into
// textures of the resource manager's pool (warmed by Load, held between AcquireShadowMaps and
// ReleaseShadowMaps, taken again when the number of spot lights changed), Update hands the cube
// maps to the shaders, and Render hands this frame's volume lights to the post-processing chain
// and draws the editor's visuals. The cube-map pass's Render sets up no volume lighting.
//
// Threads: PreLoad and Load run on the load job's worker thread while the main thread only draws
// the loading screen; everything else runs on the main thread. No locks.
//
// The chunk models are the resource manager's; the scene only drops its pointers. The destructor
// empties every list itself, so a scene destroyed without Unload leaks nothing.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_TextureResourceDescription.h"
#include "render/effects/KR_PostFXEngine.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KR_AnimatedCamera;
class KR_Camera;
class KR_CubeMapPlacer;
class KR_LightBase;
class KR_ModelResource;
class KR_OmniLight;
class KR_SpotLight;
class KR_VertexInterpolationVisualisation;
class KU_MatrixInterpolation;
class KU_QuaternionInterpolation;
class KU_VertexInterpolation;
struct KR_Ray;

class KR_Scene : public KU_TimeLimitedEntity
{
public:
    // Default (near, far) pairs of the scene's cameras and of the editor camera while the
    // timeline is stopped.
    static constexpr float DEFAULT_NEAR_PLANE = 0.1f;
    static constexpr float DEFAULT_FAR_PLANE = 200.0f;
    static constexpr float DEFAULT_EDITOR_NEAR_PLANE = 0.5f;
    static constexpr float DEFAULT_EDITOR_FAR_PLANE = 500.0f;
    // Room the per-frame light lists (shadow-map handles, lit volume lights) keep from the start,
    // so that a frame with up to this many lights fills them without allocating.
    static constexpr std::uint32_t LIGHT_LIST_CAPACITY = 16;
    // The same for the cube-map lists handed to the shaders.
    static constexpr std::uint32_t CUBE_MAP_LIST_CAPACITY = 16;

    // Paths set, lists empty, the pairs at their defaults; the derived constructor sets the name.
    KR_Scene();
    ~KR_Scene() override;

    KR_Scene(const KR_Scene&) = delete;
    KR_Scene& operator=(const KR_Scene&) = delete;

    // Once per scene, by the load job, before the renderers are set up.
    virtual bool PreLoad() = 0;
    // Releases every entity of an earlier load, loads every entity, starts loading the placers'
    // cube-map files, sets the chunk world matrix to identity and fills the shadow texture
    // descriptions; true.
    virtual bool Load();
    virtual void OnResize() = 0;
    // Per frame while current, after UpdateLightSelection: the active cameras, and the cube maps
    // handed to the shaders (at most one global one, range below 0, first; then the local ones
    // with w = range squared); true.
    virtual bool Update(double fTime);
    // The scene's geometry for the shadow pass of one spot light (its view-projection).
    virtual void RenderModels(double fTime, const DirectX::XMMATRIX* pLightViewProjection) = 0;
    // While the timeline runs and unless bNoDebugVisuals (the cube-map pass): the volume-lighting
    // effect (5) from this frame's volume lights, or off without any or with fewer than six
    // user-defined curves. Unless bNoDebugVisuals: the editor's visuals under their toggles in
    // Edit mode. pCamera may be null (identity view, viewer at the origin).
    virtual void Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals);
    // Releases every entity; true.
    virtual bool Unload();
    virtual bool Shutdown() = 0;
    // Every dynamic placer once at its start time, all six faces at once; true.
    virtual bool RenderCubeMapsAtLoad();
    // After loading, after ReloadAllEntities and after the timeline jumps.
    virtual bool PostLoad() = 0;
    // One colour and one depth shadow texture per spot light, in spot light order, from the
    // resource manager's pool; when the scene becomes current.
    virtual void AcquireShadowMaps();
    // Gives them back; when another scene becomes current, and on destruction.
    virtual void ReleaseShadowMaps();
    // Editor: a new camera (numbered after the last) on two straight cubic rails, a fixed
    // orientation and field of view, saved at once and appended.
    virtual KR_AnimatedCamera*
    CreateNewCameraFromView(double fStart, double fEnd, double fStep, const DirectX::XMVECTOR* pCameraFrom,
                            const DirectX::XMVECTOR* pCameraTo, const DirectX::XMVECTOR* pTargetFrom,
                            const DirectX::XMVECTOR* pTargetTo, float fFieldOfView);

    // Empties gOut and appends the cameras active at fTime, in array order; returns gOut.
    virtual KB_GrowingArray<KR_AnimatedCamera*>&
    GetAnimatedCamerasAt(KB_GrowingArray<KR_AnimatedCamera*>& gOut, double fTime);
    virtual KB_GrowingArray<KR_AnimatedCamera*>& GetAnimatedCameras() { return m_gAnimatedCameras; }
    // Editor: a new straight cubic vertex curve with a visualisation, written by the next
    // SaveInterpolations.
    virtual KU_VertexInterpolation* CreateNewVertexInterpolation(double fStart, double fEnd, double fStep,
                                                                 const DirectX::XMVECTOR* pFrom,
                                                                 const DirectX::XMVECTOR* pTo);
    // Editor operations on the entity kinds shown (cameras always, curves, lights and placers
    // under their toggles in Edit mode); nothing (distance FLT_MAX) while the scene is inactive.
    virtual void MoveSelectedKeyTo(double fTime, const DirectX::XMVECTOR* pPosition);
    virtual float GetPickDistance(double fTime, const KR_Ray& ray);
    // Selects in the nearest kind (on equal distances the later of cameras, curves, omni lights,
    // spot lights, placers); nothing when nothing is hit.
    virtual void SelectPicked(double fTime, const KR_Ray& ray);
    virtual void PickGizmoOfSelection(double fTime, const KR_Ray& ray, bool bDragging);
    // With synchronised time in the Demo and Rail modes the animated camera at fTime (null
    // without cameras); otherwise the scene manager's controller camera with the scene's pair
    // while the timeline runs and the editor pair while it is held.
    virtual KR_Camera* GetActiveCamera(double fTime);
    // The camera the selection curve chooses at fTime (evaluated at fTime minus the scene's
    // start; x truncated toward zero, out of range or not a number: the last camera); without
    // selection keys the first camera active at fTime. The chosen camera gets the scene's pair.
    virtual KR_AnimatedCamera* GetAnimatedCameraAt(double fTime);
    // Cameras, omni lights, spot lights, curves and placers; true.
    virtual bool SaveAllEntities();
    // Releases and loads every entity, then PostLoad; its result.
    virtual bool ReloadAllEntities();
    // Every placer, in order, at its render time.
    virtual void RenderAllCubeMaps();
    virtual DirectX::XMFLOAT2 GetNearFarPlanes() const
    {
        return DirectX::XMFLOAT2(m_fNearPlane, m_fFarPlane);
    }

    virtual bool LoadAnimatedCameras();
    virtual bool SaveAnimatedCameras();
    virtual bool LoadOmniLights();
    virtual bool SaveOmniLights();
    virtual bool LoadSpotLights();
    virtual bool SaveSpotLights();
    // Vertex (with a visualisation each), rotation, user-defined and animation trigger curves,
    // and the camera selection curve: the first loadable "*.int" of the cameras folder, else a
    // new empty one over the scene's interval that SaveInterpolations writes later. Each of these
    // lists is emptied first.
    virtual bool LoadInterpolations();
    // Vertex and rotation curves under renumbered names, and the camera selection curve.
    virtual bool SaveInterpolations();
    virtual bool LoadMatrixInterpolations();
    // Cameras, omni lights, spot lights, curves, matrix curves, placers, chunks; true.
    virtual bool LoadAllEntities();
    // Empties every list (owned entities deleted, chunk models dropped) and deletes the camera
    // selection curve. May be called any number of times.
    virtual void ReleaseAllEntities();
    virtual bool LoadCubeMapPlacers();
    virtual bool SaveCubeMapPlacers();
    // The chunk list's models and one visibility curve per chunk: the curve file named after the
    // model's file name with the extension "int" (matched without regard to case), else a new
    // curve visible over the whole scene, written only when no file of that name exists.
    virtual bool LoadChunks();
    // Draws chunk i while its curve's x at fTime is above 0, with the chunk world matrix and
    // pObjectMatrix, in the shadow-map pass when bShadowPass.
    virtual void RenderChunks(double fTime, const DirectX::XMMATRIX* pObjectMatrix, bool bShadowPass);

    // The shadow pass: Update, then per lit active spot light its shadow map rendered through
    // RenderModels and the light handed to the shaders; the lit active omni lights to the shaders;
    // the frame's volume lights collected. The device's targets and viewports are restored.
    void UpdateLightSelection(double fTime);
    // Every active dynamic placer renders its cube map; true.
    bool RenderDynamicCubeMaps(double fTime);
    // Draws pModel at vertex curve uiCurve's value at fTime, its +Z along the direction to curve
    // uiCurve + 1's value (the rail's target). Nothing when either curve or the model is missing;
    // no turn when both values are equal.
    void ComputeRailTransform(double fTime, const DirectX::XMMATRIX* pObjectMatrix, bool bShadowPass,
                              std::uint32_t uiCurve, KR_ModelResource* pModel);
    // Keys of a straight rail from vFrom to vTo over [fStart, fEnd] every fStep, plus the two
    // tangent handles a cubic B-spline needs at 0.1 step inside each end; the curve takes the
    // interval.
    static void FillStraightRail(KU_VertexInterpolation* pCurve, double fStart, double fEnd, double fStep,
                                 const DirectX::XMVECTOR& vFrom, const DirectX::XMVECTOR& vTo);

    // Removes the camera: the files of the last camera's number, the camera, its selection keys
    // (keys of later cameras move down one), then rewrites the cameras and the selection curve.
    // False, changing nothing, for a camera the scene does not hold.
    bool DeleteCamera(KR_AnimatedCamera* pCamera);
    // Removes an omni or spot light: the files of the last light's number of that kind, the
    // light, then rewrites the lights of that kind. False for a light the scene does not hold.
    bool DeleteLight(KR_LightBase* pLight);

    // Reads the chunk list through the repositories into gNames (appended); nothing when no
    // repository has it.
    void ParseChunkList(const KB_String& sPath, KB_GrowingArray<KB_String>& gNames);
    // Writes the chunk list; false when no writable repository took it.
    bool WriteChunkList(const KB_String& sPath, const KB_GrowingArray<KB_String>& gNames);

    const KB_String& GetSceneName() const { return m_sSceneName; }
    void SetNearFarPlanes(float fNear, float fFar);
    void SetEditorNearFarPlanes(float fNear, float fFar);
    DirectX::XMFLOAT2 GetEditorNearFarPlanes() const
    {
        return DirectX::XMFLOAT2(m_fEditorNearPlane, m_fEditorFarPlane);
    }

    // Path pieces that the editor joins: asset path + scene name + folder pieces.
    const KB_String& GetAssetPath() const { return m_sAssetPath; }
    const KB_String& GetLightsPath() const { return m_sLightsPath; }
    const KB_String& GetOmniLightsPath() const { return m_sOmniLightsPath; }
    const KB_String& GetOmniLightsInterpolationsPath() const { return m_sOmniLightCurvesPath; }
    const KB_String& GetSpotLightsPath() const { return m_sSpotLightsPath; }
    const KB_String& GetSpotLightsInterpolationsPath() const { return m_sSpotLightCurvesPath; }
    const KB_String& GetInterpolationsPath() const { return m_sInterpolationsPath; }
    const KB_String& GetCubeMapPlacerPath() const { return m_sCubeMapPlacersPath; }
    const KB_String& GetCubeMapInterpolationsPath() const { return m_sPlacerCurvesPath; }
    const KB_String& GetChunkListFileName() const { return m_sChunkListFileName; }
    const KB_String& GetChunkInterpolationsPath() const { return m_sChunkCurvesPath; }

    // Full folders of the scene, each ending in '/'.
    KB_String GetAnimatedCamerasFolder() const;
    KB_String GetOmniLightsFolder() const;
    KB_String GetSpotLightsFolder() const;
    KB_String GetVertexInterpolationsFolder() const;
    KB_String GetUserDefinedInterpolationsFolder() const;
    KB_String GetMatrixInterpolationsFolder() const;
    KB_String GetAnimationTriggerInterpolationsFolder() const;
    KB_String GetRotationInterpolationsFolder() const;
    KB_String GetChunkInterpolationsFolder() const;
    KB_String GetCubeMapPlacersFolder() const;

    KB_GrowingArray<KR_OmniLight*>& GetOmniLights() { return m_gOmniLights; }
    KB_GrowingArray<KR_SpotLight*>& GetSpotLights() { return m_gSpotLights; }
    KB_GrowingArray<KR_CubeMapPlacer*>& GetCubeMapPlacers() { return m_gCubeMapPlacers; }
    KB_GrowingArray<KU_VertexInterpolation*>& GetChunkInterpolations() { return m_gChunkInterpolations; }
    KB_GrowingArray<KR_ModelResource*>& GetChunkModels() { return m_gChunkModels; }
    KB_GrowingArray<KU_VertexInterpolation*>& GetVertexInterpolations() { return m_gVertexInterpolations; }
    KB_GrowingArray<KU_VertexInterpolation*>& GetUserDefinedInterpolations()
    {
        return m_gUserDefinedInterpolations;
    }
    KB_GrowingArray<KU_VertexInterpolation*>& GetAnimationTriggerInterpolations()
    {
        return m_gAnimationTriggerInterpolations;
    }
    KB_GrowingArray<KU_MatrixInterpolation*>& GetMatrixInterpolations() { return m_gMatrixInterpolations; }
    KB_GrowingArray<KU_QuaternionInterpolation*>& GetRotationInterpolations()
    {
        return m_gRotationInterpolations;
    }
    KB_GrowingArray<KR_VertexInterpolationVisualisation*>& GetVertexInterpolationVisualisations()
    {
        return m_gVertexVisualisations;
    }
    KU_VertexInterpolation* GetCameraSelectionInterpolation() const { return m_pCameraSelection; }
    const DirectX::XMMATRIX& GetChunkWorldMatrix() const { return m_mChunkWorld; }
    const KR_TextureResourceDescription& GetShadowDepthDescription() const
    {
        return m_oShadowDepthDescription;
    }
    const KR_TextureResourceDescription& GetShadowColorDescription() const
    {
        return m_oShadowColorDescription;
    }
    const KB_GrowingArray<std::uint32_t>& GetShadowColorHandles() const { return m_gShadowColorHandles; }
    const KB_GrowingArray<std::uint32_t>& GetShadowDepthHandles() const { return m_gShadowDepthHandles; }
    const KB_GrowingArray<KR_SpotLight*>& GetVolumeSpotLights() const { return m_gVolumeSpotLights; }
    const KB_GrowingArray<KR_OmniLight*>& GetVolumeOmniLights() const { return m_gVolumeOmniLights; }

protected:
    // The derived scene's name, set in its constructor.
    void SetSceneName(const KB_String& sName) { m_sSceneName = sName; }

    DirectX::XMMATRIX m_mChunkWorld = DirectX::XMMatrixIdentity();
    KU_VertexInterpolation* m_pCameraSelection = nullptr;                       // owned
    KB_GrowingArray<KR_AnimatedCamera*> m_gAnimatedCameras;                     // owned
    KB_GrowingArray<KR_OmniLight*> m_gOmniLights;                               // owned
    KB_GrowingArray<KR_SpotLight*> m_gSpotLights;                               // owned
    KB_GrowingArray<KU_VertexInterpolation*> m_gVertexInterpolations;           // owned
    KB_GrowingArray<KU_VertexInterpolation*> m_gUserDefinedInterpolations;      // owned
    KB_GrowingArray<KU_VertexInterpolation*> m_gAnimationTriggerInterpolations; // owned
    KB_GrowingArray<KU_MatrixInterpolation*> m_gMatrixInterpolations;           // owned
    KB_GrowingArray<KU_QuaternionInterpolation*> m_gRotationInterpolations;     // owned
    // One per vertex curve, same index.
    KB_GrowingArray<KR_VertexInterpolationVisualisation*> m_gVertexVisualisations; // owned
    KB_GrowingArray<KR_CubeMapPlacer*> m_gCubeMapPlacers;                          // owned
    KB_GrowingArray<KR_ModelResource*> m_gChunkModels; // not owned (the resource manager's)
    // One per chunk model, same index.
    KB_GrowingArray<KU_VertexInterpolation*> m_gChunkInterpolations; // owned
    // One per spot light, same index, while the scene holds its shadow maps; empty otherwise.
    KB_GrowingArray<std::uint32_t> m_gShadowDepthHandles{LIGHT_LIST_CAPACITY};
    KB_GrowingArray<std::uint32_t> m_gShadowColorHandles{LIGHT_LIST_CAPACITY};
    KR_TextureResourceDescription m_oShadowDepthDescription;
    KR_TextureResourceDescription m_oShadowColorDescription;
    // This frame's lit volume lights (not owned).
    KB_GrowingArray<KR_SpotLight*> m_gVolumeSpotLights{LIGHT_LIST_CAPACITY};
    KB_GrowingArray<KR_OmniLight*> m_gVolumeOmniLights{LIGHT_LIST_CAPACITY};
    // The device's targets and viewports, saved around the shadow pass.
    D3D11_VIEWPORT m_aSavedViewports[2] = {};
    ID3D11RenderTargetView* m_apSavedRenderTargets[2] = {}; // referenced while saved
    ID3D11DepthStencilView* m_pSavedDepthStencil = nullptr; // referenced while saved
    // The cube maps handed to the shaders, refilled every frame without giving up their storage.
    KB_GrowingArray<ID3D11ShaderResourceView*> m_gCubeMapViews{CUBE_MAP_LIST_CAPACITY};
    KB_GrowingArray<DirectX::XMFLOAT4> m_gCubeMapVectors{CUBE_MAP_LIST_CAPACITY};
    KB_GrowingArray<float> m_gCubeMapMipCounts{CUBE_MAP_LIST_CAPACITY};
    KB_GrowingArray<bool> m_gCubeMapFlags{CUBE_MAP_LIST_CAPACITY};
    // The volume-lighting record, refilled every frame without giving up its storage.
    KR_VolumeLightParameters m_oVolumeLightRecord;

    KB_String m_sAssetPath = "Assets/Entities/";
    KB_String m_sAnimatedCamerasPath = "/AnimatedCameras/";
    KB_String m_sCameraCurvesPath = "Interpolations/";
    KB_String m_sLightsPath = "/Lights/";
    KB_String m_sOmniLightsPath = "OmniLights/";
    KB_String m_sOmniLightCurvesPath = "Interpolations/";
    KB_String m_sSpotLightsPath = "SpotLights/";
    KB_String m_sSpotLightCurvesPath = "Interpolations/";
    KB_String m_sInterpolationsPath = "/Interpolations/";
    KB_String m_sVertexCurvesPath = "Vertex/";
    KB_String m_sUserDefinedCurvesPath = "UserDefined/";
    KB_String m_sMatrixCurvesPath = "Matrix/";
    KB_String m_sAnimationTriggerCurvesPath = "AnimationTrigger/";
    KB_String m_sRotationCurvesPath = "Rotation/";
    KB_String m_sCubeMapPlacersPath = "/CubeMapPlacers/";
    KB_String m_sPlacerCurvesPath = "Interpolations/";
    KB_String m_sSceneName;
    KB_String m_sChunkListFileName;
    KB_String m_sChunkCurvesPath = "Chunks/";

    float m_fNearPlane = DEFAULT_NEAR_PLANE;
    float m_fFarPlane = DEFAULT_FAR_PLANE;
    float m_fEditorNearPlane = DEFAULT_EDITOR_NEAR_PLANE;
    float m_fEditorFarPlane = DEFAULT_EDITOR_FAR_PLANE;

private:
    // The names FindFiles lists for sFolder + sPattern, each once (first repository wins).
    static KB_GrowingArray<KB_String> ListFolder(const KB_String& sFolder, const char* pPattern);
    // The shadow textures for the spot lights appended to the handle arrays.
    void AcquireShadowTextures();
    // A light's strength at fTime: its strength curve's x when it has one.
    static float GetStrengthAt(KR_LightBase* pLight, double fTime);
    // A new rail visualisation in random colours for a vertex curve, appended; false when it cannot
    // be made. The visualisations are index-aligned with the vertex curves: append the curve only
    // after this succeeded.
    bool AddVisualisation(KU_VertexInterpolation* pCurve);
    // Whether the editor shows the entity kind: Edit mode and the toggle on.
    static bool IsShownInEditor(std::uint32_t uiToggle);
    // Removes sFolder + sPath through the file manager; nothing for an empty path, which would
    // name the folder itself.
    static void RemoveEntityFile(const KB_String& sFolder, const KB_String& sPath);
};
