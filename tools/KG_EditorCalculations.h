#pragma once
// The native half of the editor window's curve graph: the view of one vertex curve as a
// time/value graph in a panel, pan and zoom, the geometry to draw in panel pixels (axes, grid,
// tick labels, start/end/current-time lines, one polyline and the key marks per component),
// hovering and dragging keys with the mouse, and small accessors the window's pages use. The
// window owns one; main thread only.
//
// Mapping: nx = (t + ox) * sx, ny = (v + oy) * sy * w / h; px = nx * w/2 + w/2,
// py = -ny * h/2 + h/2. Time is absolute production time (curve start + stamp). Pixels are
// truncated toward zero after clamping to +-2^30, so data far off screen never overflows an int.
//
// A panel with a zero width or height draws nothing (Update answers false); the grid loops run
// only over finite ranges and stop after MAX_GRID_LINES lines per axis.
//
// Does NOT own the curve, draw anything itself or lock anything.

#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>
#include <functional>

class KU_VertexInterpolation;
class KR_Camera;
class KR_CubeMapPlacer;
class KR_LightBase;
class KR_Scene;
class KR_SpotLight;

struct KG_Point
{
    std::int32_t x;
    std::int32_t y;
};

// A pixel position with either a key index (control-point marks) or a label's integer value.
struct KG_Mark
{
    std::int32_t x;
    std::int32_t y;
    std::int32_t index;
};

// Modifier keys held while the mouse acts.
struct KG_ModifierKeys
{
    bool bShift = false;
    bool bControl = false;
    bool bAlt = false;
};

class KG_EditorCalculations
{
public:
    using ModifierQuery = std::function<KG_ModifierKeys()>;

    // Mouse button bits as the window passes them.
    static constexpr std::uint32_t BUTTON_LEFT = 1;
    static constexpr std::uint32_t BUTTON_RIGHT = 2;
    static constexpr std::uint32_t BUTTON_MIDDLE = 4;
    static constexpr std::uint32_t BUTTON_X1 = 8;
    static constexpr std::uint32_t BUTTON_X2 = 16;

    static constexpr float MIN_SCALE = 1e-5f;
    static constexpr float MAX_SCALE = 1.0f;
    static constexpr float DRAG_ZOOM_SPEED = 2.0f;
    static constexpr float WHEEL_ZOOM_SPEED = 0.001f;
    static constexpr std::int32_t PICK_DISTANCE = 9; // Manhattan pixels; a pick must be nearer
    static constexpr int MAX_GRID_LINES = 10000;
    static constexpr float MIN_VALUE_RANGE = 0.05f;

    // Without a query the modifier keys come from the forms layer (the keyboard's state).
    explicit KG_EditorCalculations(ModifierQuery modifiers = nullptr);
    ~KG_EditorCalculations() = default;

    KG_EditorCalculations(const KG_EditorCalculations&) = delete;
    KG_EditorCalculations& operator=(const KG_EditorCalculations&) = delete;

    // Includes the world model sChunkFile (a file name in "Assets/Models/World/", as found on
    // disk) in the scene: a new visibility curve "<chunk curves folder>/<name>.int" with one key
    // (1, 0, 0) at 0 spanning the scene, saved, appended to the scene's chunk curves; the model
    // requested from the resource manager and appended to the chunk models. False (nothing
    // changed) without a scene or a name.
    static bool AddChunkToScene(KR_Scene* pScene, const char* pChunkFile);
    // Deletes the file of chunk curve uiIndex, then takes entry uiIndex out of the chunk curves
    // and models, keeping the order of the rest. The curve is handed back, not deleted: editor
    // windows may still show it, so the caller deletes it once every window dropped it. Null
    // (nothing changed) for an index past the arrays.
    static KU_VertexInterpolation* RemoveChunkFromScene(KR_Scene* pScene, std::uint32_t uiIndex);

    void SetDimensions(std::uint32_t uiWidth, std::uint32_t uiHeight);
    // Null allowed; clears the changed flag and the hovered and dragged keys.
    void SetInterpolation(KU_VertexInterpolation* pCurve);
    KU_VertexInterpolation* GetInterpolation() const { return m_pVertexInterpolation; }
    // Rebuilds what changed; true when anything to draw changed.
    bool Update(bool bForce);
    // Fits the view to the keys of the chosen components over the curve's interval. A curve whose
    // interval is empty or reversed keeps the current time scale and is centred.
    void ZoomExtends(bool bX, bool bY, bool bZ);

    void MouseDown(std::int32_t iX, std::int32_t iY, std::int32_t iWheel, std::uint32_t uiButtons);
    // Hover picking looks only at the components shown (bShowX/Y/Z).
    void MouseMove(std::int32_t iX, std::int32_t iY, std::int32_t iWheel, std::uint32_t uiButtons,
                   bool bSnapToIntegers, bool bShowX = true, bool bShowY = true, bool bShowZ = true);
    void MouseUp(std::int32_t iX, std::int32_t iY, std::int32_t iWheel, std::uint32_t uiButtons);

    // x, y, z of the hovered key and its absolute time; false without one.
    bool GetSelectedControlPointValues(float* pX, float* pY, float* pZ, float* pTime) const;
    // The last mouse position in data: (time, value).
    void GetCursorValues(float* pTime, float* pValue) const;
    bool HasVertexInterpolationChanged() const { return m_bVertexInterpolationChanged; }
    void ResetVertexInterpolationChanged() { m_bVertexInterpolationChanged = false; }

    // Pixel of a data point, and the data point under a pixel (through the inverse transform).
    KG_Point DataToPixel(double fTime, double fValue) const;
    void PixelToData(float fX, float fY, double* pTime, double* pValue) const;

    const KB_GrowingArray<KG_Point>& GetAxisLines() const { return m_gAxisLines; }
    const KB_GrowingArray<KG_Point>& GetGridLines() const { return m_gGridLines; }
    const KB_GrowingArray<KG_Point>& GetStartLine() const { return m_gStartLine; }
    const KB_GrowingArray<KG_Point>& GetEndLine() const { return m_gEndLine; }
    const KB_GrowingArray<KG_Point>& GetCurrentTimeLine() const { return m_gCurrentTimeLine; }
    const KB_GrowingArray<KG_Mark>& GetControlPoints(std::uint32_t uiComponent) const;
    const KB_GrowingArray<KG_Mark>& GetHighlightedControlPoints(std::uint32_t uiComponent) const;
    const KB_GrowingArray<KG_Mark>& GetControlPointsX() const { return m_gControlPoints[0]; }
    const KB_GrowingArray<KG_Mark>& GetControlPointsY() const { return m_gControlPoints[1]; }
    const KB_GrowingArray<KG_Mark>& GetControlPointsZ() const { return m_gControlPoints[2]; }
    const KB_GrowingArray<KG_Mark>& GetHighlightedControlPointsX() const { return m_gHighlighted[0]; }
    const KB_GrowingArray<KG_Mark>& GetHighlightedControlPointsY() const { return m_gHighlighted[1]; }
    const KB_GrowingArray<KG_Mark>& GetHighlightedControlPointsZ() const { return m_gHighlighted[2]; }
    const KB_GrowingArray<KG_Mark>& GetXAxisLabels() const { return m_gXAxisLabels; }
    const KB_GrowingArray<KG_Mark>& GetYAxisLabels() const { return m_gYAxisLabels; }
    const KB_GrowingArray<KG_Point>& GetSplineLines(std::uint32_t uiComponent) const;
    const KB_GrowingArray<KG_Point>& GetXSplineLines() const { return m_gSplineLines[0]; }
    const KB_GrowingArray<KG_Point>& GetYSplineLines() const { return m_gSplineLines[1]; }
    const KB_GrowingArray<KG_Point>& GetZSplineLines() const { return m_gSplineLines[2]; }

    std::int32_t GetHoveredKey() const { return m_iHoveredKey; }
    std::int32_t GetDraggedKey() const { return m_iDraggedKey; }
    std::uint32_t GetHoveredComponent() const { return m_uHoveredComponent; }
    DirectX::XMFLOAT2 GetOffset() const { return m_vOffset; }
    DirectX::XMFLOAT2 GetScale() const { return m_vScale; }
    void SetView(const DirectX::XMFLOAT2& vOffset, const DirectX::XMFLOAT2& vScale);
    bool IsViewDirty() const { return m_bViewDirty; }

    // Accessors for the window's pages: positions and vectors as three floats, vectors handed to
    // the engine with w = 0 (positions with w = 1, as files give them). A null camera, light,
    // placer or curve leaves the outputs alone and changes nothing.
    // The scene manager's free camera; (0, 0, 0) without a scene manager or free camera.
    static void GetControllerCameraPos(float* pX, float* pY, float* pZ);
    static void GetCameraPosition(float* pX, float* pY, float* pZ, KR_Camera* pCamera);
    static void GetCameraUpVector(float* pX, float* pY, float* pZ, KR_Camera* pCamera);
    static void GetCameraForwardVector(float* pX, float* pY, float* pZ, KR_Camera* pCamera);
    static std::uint32_t InsertVertexIntoInterpolation(KU_VertexInterpolation* pCurve, float fX, float fY,
                                                       float fZ, double fLocalTime);
    static void UpdateInterpolationVertex(KU_VertexInterpolation* pCurve, std::uint32_t uiIndex, float fX,
                                          float fY, float fZ);
    // At production time fTime: the position rail's value at fTime - the rail's start when the
    // light has a rail, else the stored position.
    static void GetLightBaseLightPosition(float* pX, float* pY, float* pZ, KR_LightBase* pLight,
                                          double fTime);
    static void SetLightBaseLightPosition(KR_LightBase* pLight, float fX, float fY, float fZ);
    static void SetSpotlightUpVector(KR_SpotLight* pLight, float fX, float fY, float fZ);
    // At production time fTime: the target rail's value (at fTime - its start) when the light has
    // one and its static-target flag is clear, else the stored target.
    static void GetLightTargetPosition(float* pX, float* pY, float* pZ, KR_LightBase* pLight, double fTime);
    static void SetLightTargetPosition(KR_LightBase* pLight, float fX, float fY, float fZ);
    // At production time fTime: the position rail's value at fTime - its start when set, else the
    // stored position.
    static void GetCubeMapPlacerPosition(float* pX, float* pY, float* pZ, KR_CubeMapPlacer* pPlacer,
                                         double fTime);
    static void SetCubeMapPlacerPosition(KR_CubeMapPlacer* pPlacer, float fX, float fY, float fZ);

private:
    void RebuildTransforms();
    void RebuildGeometry();
    void BuildAxesAndGrid();
    void BuildCurve();
    void PickHovered(bool bShowX, bool bShowY, bool bShowZ);
    void WheelZoom(std::int32_t iWheel);
    void Seek();
    KG_ModifierKeys GetModifiers() const;
    bool HasCurve() const { return m_pVertexInterpolation != nullptr; }

    ModifierQuery m_oModifiers;

    KB_GrowingArray<KG_Point> m_gAxisLines;
    KB_GrowingArray<KG_Point> m_gGridLines;
    KB_GrowingArray<KG_Point> m_gStartLine;
    KB_GrowingArray<KG_Point> m_gEndLine;
    KB_GrowingArray<KG_Point> m_gCurrentTimeLine;
    KB_GrowingArray<KG_Mark> m_gControlPoints[3];
    KB_GrowingArray<KG_Mark> m_gHighlighted[3];
    KB_GrowingArray<KG_Mark> m_gXAxisLabels;
    KB_GrowingArray<KG_Mark> m_gYAxisLabels;
    KB_GrowingArray<KG_Point> m_gSplineLines[3];

    bool m_bVertexInterpolationChanged = false;
    bool m_bViewDirty = true;
    std::uint32_t m_vDimensions[2] = {0, 0};
    float m_vInvDimensions[2] = {0.0f, 0.0f};
    DirectX::XMMATRIX m_mModel;
    DirectX::XMMATRIX m_mViewport;
    DirectX::XMMATRIX m_mModelViewport;
    DirectX::XMMATRIX m_mInverseModel;
    DirectX::XMMATRIX m_mInverseModelViewport;
    DirectX::XMFLOAT2 m_vOffset = {-7.5f, -3.0f};
    DirectX::XMFLOAT2 m_vScale = {0.1f, 0.1f};
    std::uint32_t m_uMouseButtons = 0;
    DirectX::XMFLOAT4 m_vLastMousePosition = {0.0f, 0.0f, 0.0f, 1.0f};
    std::int32_t m_iHoveredKey = -1;
    std::int32_t m_iDraggedKey = -1;
    std::uint32_t m_uHoveredComponent = 0;
    KU_VertexInterpolation* m_pVertexInterpolation = nullptr; // not owned
    double m_dLastCurrentTime = 0.0;
};
