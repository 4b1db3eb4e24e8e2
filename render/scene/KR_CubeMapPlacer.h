#pragma once
// Places an environment cube map in a scene: a point, fixed or on a rail (a vertex curve), with an
// influence range within which the map applies. A static placer is rendered on request at its
// render time and saved as a DDS file that later runs load; a dynamic one renders into pooled cube
// textures of the resource manager while it is active, spreading the six faces over 1, 2, 3 or 6
// frames (fewer frames at a higher rendering quality). The scene hands the placers' views,
// positions and ranges to the shaders and draws their editor markers.
//
// ".cmp" layout: the common text-file header titled "# Simple Cube Map Placer file" with the
// plain comment legend, then the keys d (debug name), s, e, rt (render time), pv (x y z, always
// written), rv (width height), i (influence range), dy (true or false), cp (cube-map path) and
// pp (position rail path, relative to the placer file's folder). d, cp and pp take the rest of
// their line, so paths may hold blanks; one CR before the line end is dropped. Numbers have six
// significant digits; a malformed number ends the reading (what was read before stays).
//
// Robust where the files are not: the resolution is kept as read, but where textures are made
// each side is clamped to 1..16384 with at least one mip level (a cube's faces must be square: a
// resolution of unequal sides makes no textures, and such a placer renders nothing); replacing the
// rail rebuilds its visualisation, which would otherwise point at the deleted curve.
//
// Rendering: a temporary camera (90 degrees, square, the scene's near and far planes) looks from
// the placer's position along the six cube directions in the standard face order (+x, -x, +y, -y,
// +z, -z) while the scene renders its cube-map pass into pooled textures. A static placer draws
// all six faces into one cube, copies each face into a second one through the copy effect and
// saves that as a DDS file at its cube-map path, relative to the working directory (later runs
// load it through the repositories); without the copy effect, which only developer builds make,
// a static placer is not rendered. A dynamic placer draws 6 / F faces per frame into its back
// texture (F the frames per update), last faces first; once all six are drawn it generates the
// mip chain and the back texture becomes the front one. With F = 1 all six go straight into the
// front texture. The device's render targets, depth view, viewports and rasterizer state are the
// same afterwards, and no cube map is bound for reading while one is drawn. Each face ends the
// transparency of its pass: what transparent materials gathered there is dropped, never blended
// over the frame's image.
//
// Editor (developer builds): a marker sized by its distance to the viewer (x 0.01), the rail's
// visualisation or, without a rail, a translate gizmo at the selected marker; selection follows
// the protocol of dispatcher channel 5 (registered in the constructor) and announces a newly
// selected placer with (7, 19, this placer).
//
// Threads: constructed and loaded by the load job (registration from that thread), used on the
// main thread afterwards.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_Color.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KR_Camera;
class KR_DebugPolyhedron;
class KR_Scene;
class KR_TranslateGizmo;
class KR_VertexInterpolationVisualisation;
class KR_GraphicsResourceManager;
class KU_VertexInterpolation;
struct D3D11_VIEWPORT;
struct ID3D11Buffer;
struct ID3D11Device;
struct ID3D11DeviceContext;
struct ID3D11InputLayout;
struct ID3D11RenderTargetView;
struct ID3D11ShaderResourceView;
struct ID3DX11Effect;
struct ID3DX11EffectScalarVariable;
struct ID3DX11EffectShaderResourceVariable;
struct ID3DX11EffectTechnique;
struct KR_Ray;

class KR_CubeMapPlacer : public KU_TimeLimitedEntity, public KE_MessageReceiver
{
public:
    static constexpr const char* TITLE = "# Simple Cube Map Placer file";
    static constexpr const char* DEBUG_CUBE_MAP_PATH = "Assets/Textures/Dev/Dev_CubeMap_Debug.dds";
    static constexpr const char* COPY_EFFECT_PATH = "Assets/Shader/KR_CubeMapPlacerShader.fx";
    static constexpr std::uint32_t FACE_COUNT = 6;
    // Bytes of one vertex of the copy quad: position (3 floats) and texture coordinate (2 floats).
    static constexpr std::uint32_t QUAD_VERTEX_STRIDE = 20;
    // Longest debug name and path a file gives.
    static constexpr std::uint32_t MAX_LINE_VALUE_LENGTH = 511;
    // Texture sides are clamped to this range where textures are made.
    static constexpr std::uint32_t MIN_TEXTURE_SIDE = 1;
    static constexpr std::uint32_t MAX_TEXTURE_SIDE = 16384;
    // The texture handle meaning none (the resource manager's).
    static constexpr std::uint32_t NO_TEXTURE = 0xFFFFFFFFu;

    struct Resolution
    {
        std::uint32_t uiWidth;
        std::uint32_t uiHeight;
    };

    // Registers on channel 5; takes the frames per update from the rendering quality (1 without a
    // device); in developer builds makes the marker and the copy effect's objects (input layout,
    // full-screen quad).
    KR_CubeMapPlacer();
    ~KR_CubeMapPlacer() override;

    KR_CubeMapPlacer(const KR_CubeMapPlacer&) = delete;
    KR_CubeMapPlacer& operator=(const KR_CubeMapPlacer&) = delete;

    // Resets the file's fields (not the debug name), reads the ".cmp" file through the
    // repositories, then ReloadCubeMapPlacer. False, after the reset, when no repository has it.
    bool LoadFromFile(const KB_String& sPath);
    // Saves the rail beside the file (its path relative to the file's folder), then writes the
    // file; the result is the file's write.
    bool SaveCubeMapPlacerToFile(const KB_String& sPath);
    // The ".cmp" text of the current state.
    KB_String CreateCubeMapPlacerText() const;
    // Replaces the rail by the one the stored path names (none when unreadable), the editor
    // objects by new ones, and the dynamic textures by new ones of the present resolution.
    void ReloadCubeMapPlacer();

    // Renders the faces due at production time fTime (see the rendering notes above). Nothing
    // without a scene, a device or the resource manager, for a static placer without the copy
    // effect, and when a texture or view it needs cannot be made.
    void RenderCubeMap(KR_Scene* pScene, double fTime);
    // The copy effect and everything drawing through it were made.
    bool HasCopyEffect() const;
    // Dynamic placers only: RenderCubeMap at the start time with all six faces in one frame; the
    // frames per update are kept.
    void RenderOnceAtStartTime(KR_Scene* pScene);
    // The view to bind: the debug cube map when that is on, else the cube-map file's for a static
    // placer, else the front texture's. Null when none is known yet.
    ID3D11ShaderResourceView* GetCubeMapView();

    // The rail's value at fTime when there is a rail, else the stored position.
    DirectX::XMVECTOR GetPosition(double fTime) const;
    void SetPosition(const DirectX::XMVECTOR& vPosition) { m_vPosition = vPosition; }
    const DirectX::XMVECTOR& GetStoredPosition() const { return m_vPosition; }
    Resolution GetCubeMapResolution() const { return m_oResolution; }
    void SetCubeMapResolution(std::uint32_t uiWidth, std::uint32_t uiHeight)
    {
        m_oResolution = {uiWidth, uiHeight};
    }
    // The texture size for a stored resolution: each side clamped to 1..16384.
    static Resolution GetTextureResolution(const Resolution& resolution);
    // Mip levels of a dynamic texture of that width: floor(log2(clamped width)), at least 1.
    static std::uint32_t GetDynamicMipLevels(std::uint32_t uiWidth);
    KB_String GetCubeMapPath() const { return m_sCubeMapPath; }
    void SetCubeMapPath(const KB_String& sPath) { m_sCubeMapPath = sPath; }
    float GetCubeMapInfluenceRange() const { return m_fInfluenceRange; }
    void SetCubeMapInfluenceRange(float fRange) { m_fInfluenceRange = fRange; }
    double GetRenderSynchronizationTime() const { return m_fRenderTime; }
    void SetRenderSynchronizationTime(double fTime) { m_fRenderTime = fTime; }
    KB_String GetDebugName() const { return m_sDebugName; }
    void SetDebugName(const KB_String& sName) { m_sDebugName = sName; }
    KB_String GetCubeMapPlacerPath() const { return m_sPlacerPath; }
    KB_String GetPositionRailPath() const { return m_sPositionRailPath; }
    bool IsDynamic() const { return (m_uiFlags & FLAG_DYNAMIC) != 0; }
    void SetDynamic(bool bDynamic) { SetFlag(FLAG_DYNAMIC, bDynamic); }
    bool IsUsingDebugTexture() const { return (m_uiFlags & FLAG_DEBUG_TEXTURE) != 0; }
    void SetUseDebugTexture(bool bUse) { SetFlag(FLAG_DEBUG_TEXTURE, bUse); }
    void ToggleUseDebugTexture() { m_uiFlags ^= FLAG_DEBUG_TEXTURE; }
    bool IsSelected() const { return (m_uiFlags & FLAG_SELECTED) != 0; }
    // Path (relative to the placer file's folder) and curve (owned from now on; may be null)
    // replace the old rail, which is deleted; the rail's visualisation, or the gizmo without a
    // rail, is made anew in developer builds.
    void SetPositionRail(const KB_String& sPath, KU_VertexInterpolation* pRail);
    KU_VertexInterpolation* GetPositionRail() const { return m_pPositionRail; }

    std::int32_t GetFramesPerUpdate() const { return m_iFramesPerUpdate; }
    std::int32_t GetFramesLeft() const { return m_iFramesLeft; }
    std::uint32_t GetFrontTexture() const { return m_uiFrontTexture; }
    std::uint32_t GetBackTexture() const { return m_uiBackTexture; }

    // Editor operations. The stored position becomes vPosition while the placer is selected.
    void MoveSelectedKeyTo(const DirectX::XMVECTOR& vPosition);
    // The marker's highlight colour when on, its normal colour when off (also while selected).
    void SetHighlighted(bool bHighlighted);
    // The marker (scaled by 0.01 x its distance to the viewer), the rail, and while selected the
    // gizmo at the marker.
    void RenderDebug(double fTime, const DirectX::XMMATRIX* pViewProjection,
                     const DirectX::XMVECTOR& vCameraPosition);
    // FLT_MAX when inactive at fTime; else the nearer of the rail's and the marker's hits.
    float GetPickDistance(double fTime, const KR_Ray& ray);
    // A rail hit nearer than the marker (or without a marker hit) picks the rail's key only.
    // Otherwise everything is deselected, and a marker hit on a placer that was not selected
    // selects it and sends (7, 19, this). Clicking a selected placer therefore deselects it.
    void Select(double fTime, const KR_Ray& ray);
    // Moves the rail's selected key, or while selected the stored position with the gizmo.
    void DragSelection(double fTime, const KR_Ray& ray, bool bDragging);
    // Sends (5, 11, null) to every receiver of channel 5.
    static void DeselectAll();

    // (5, 11) from anyone, this placer's rail included: deselected, marker colour restored; true.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    KR_DebugPolyhedron* GetMarker() const { return m_pMarker; }
    KR_TranslateGizmo* GetPositionHandle() const { return m_pPositionHandle; }
    KR_VertexInterpolationVisualisation* GetRailVisualisation() const { return m_pRailVisualisation; }

private:
    static constexpr std::uint8_t FLAG_SELECTED = 1u << 0;
    static constexpr std::uint8_t FLAG_DEBUG_TEXTURE = 1u << 1;
    static constexpr std::uint8_t FLAG_DYNAMIC = 1u << 2;

    void SetFlag(std::uint8_t uiFlag, bool bOn)
    {
        m_uiFlags = static_cast<std::uint8_t>(bOn ? (m_uiFlags | uiFlag) : (m_uiFlags & ~uiFlag));
    }
    void ResetFileFields();
    void ParseText(const char* pText, std::uint64_t uiSize);
    // The placer file's folder with a trailing "/", empty without one.
    KB_String GetRailDirectory() const;
    // The rail's visualisation with a rail, else the gizmo (developer builds); the old ones go.
    void RebuildEditorObjects();
    void ReleaseTextures();
    // The copy effect's technique, variables, input layout and quad (developer builds).
    void CreateCopyResources();

    // One RenderCubeMap call: the faces due, their pooled textures and the view to copy from.
    struct FacePass
    {
        bool bStatic = false;
        std::int32_t iFramesPerUpdate = 1;
        std::int32_t iFramesLeft = 0; // the countdown once these faces are drawn
        std::uint32_t uiFirstFace = 0;
        std::uint32_t uiFaceCount = 0;
        Resolution size = {0, 0};
        std::uint32_t uiTarget = NO_TEXTURE;
        std::uint32_t uiCopy = NO_TEXTURE; // static placers: the cube that is saved
        std::uint32_t uiDepth = NO_TEXTURE;
        std::uint32_t uiSource = NO_TEXTURE;             // static placers: uiTarget, handed back
        ID3D11ShaderResourceView* pSourceView = nullptr; // static placers: uiTarget's faces; owned
    };
    // The faces due now, the texture they go into and the texture size.
    FacePass ChooseFaces() const;
    // Acquires the pass's pooled textures and checks every view its faces need, before the device
    // is touched; false, with everything handed back, when one is missing.
    bool AcquireFaceTargets(ID3D11Device* pDevice, KR_GraphicsResourceManager* pResources,
                            FacePass& pass) const;
    // Draws the pass's faces with the face camera, a static placer's each copied after it.
    void DrawFaces(KR_Scene* pScene, double fTime, ID3D11DeviceContext* pContext,
                   KR_GraphicsResourceManager* pResources, const FacePass& pass,
                   const D3D11_VIEWPORT& viewport);
    // The face just drawn, copied into slice uiFace of the cube that is saved.
    void CopyFace(ID3D11DeviceContext* pContext, ID3D11RenderTargetView* pCopyTarget, const FacePass& pass,
                  std::uint32_t uiFace);
    // A static placer saves its cube; a dynamic one that finished an update makes the mips and
    // swaps its textures.
    void FinishFaces(ID3D11DeviceContext* pContext, KR_GraphicsResourceManager* pResources, FacePass& pass);
    // Releases the source view and hands back the pass's pooled textures.
    static void ReleaseFaceTextures(KR_GraphicsResourceManager* pResources, FacePass& pass);

    DirectX::XMVECTOR m_vPosition = {};
    Resolution m_oResolution = {512, 512};
    double m_fRenderTime = 0.0;
    KB_String m_sCubeMapPath;
    KB_String m_sPositionRailPath;
    KR_TranslateGizmo* m_pPositionHandle = nullptr; // owned, developer builds without a rail
    KR_DebugPolyhedron* m_pMarker = nullptr;        // owned, developer builds
    KB_Color m_oSelectionColor = KB_Color(0.0f, 1.0f, 0.0f, 1.0f);
    KB_Color m_oMarkerColor = KB_Color(0.639f, 0.11f, 0.812f, 1.0f);
    float m_fInfluenceRange = 5.0f;
    KB_String m_sDebugName;
    KB_String m_sPlacerPath;
    std::int32_t m_iFramesPerUpdate = 1;
    std::uint32_t m_uiFrontTexture = NO_TEXTURE; // pooled, dynamic placers
    std::uint32_t m_uiBackTexture = NO_TEXTURE;  // pooled, dynamic placers spreading their faces
    std::int32_t m_iFramesLeft = 1;
    std::uint8_t m_uiFlags = 0;
    KU_VertexInterpolation* m_pPositionRail = nullptr;                   // owned
    KR_VertexInterpolationVisualisation* m_pRailVisualisation = nullptr; // owned, developer builds
    // Owned: the camera of the faces, made with the placer rather than by every render.
    KR_Camera* m_pFaceCamera = nullptr;
    KB_Color m_oRailColor = KB_Color(0.733f, 0.231f, 0.898f, 1.0f);
    KB_Color m_oRailSelectionColor = KB_Color(0.0f, 1.0f, 0.0f, 1.0f);
    KB_Color m_oRailMarkerColor = KB_Color(0.769f, 0.388f, 0.894f, 1.0f);
    // The copy of static faces, developer builds only. The effect is the resource manager's.
    ID3DX11Effect* m_pCopyEffect = nullptr;
    ID3DX11EffectTechnique* m_pCopyTechnique = nullptr;
    ID3DX11EffectShaderResourceVariable* m_pSourceTextureVariable = nullptr;
    ID3DX11EffectScalarVariable* m_pSourceTextureSideVariable = nullptr;
    ID3D11InputLayout* m_pInputLayoutPosUVVertex = nullptr; // owned
    ID3D11Buffer* m_pFullScreenQuadUVsVB = nullptr;         // owned
};
