#pragma once
// What the production's five scenes share: each is a KR_Scene plus a table of props placed on
// its curves (spinning in place, standing still or riding a rail), its colour cubes, its spin
// vectors and the curve pairs it hands to the shaders. The scene classes only name themselves
// and hand over their table; loading, the post-processing chain of each frame, the shader core's
// frame values and the drawing of the props are done here the same way for all five.
//
// Curves are addressed by their place in the scene's vertex (V) and user-defined (U) lists. The
// lists come from the scene's entity files, so they may be shorter than the table expects: a
// missing curve reads as (0, 0, 0, 0), a prop or rail whose curve is missing is not drawn, and a
// shader vector whose curve is missing is handed over as (0, 0, 0, 0), so the vectors after it
// keep their slots. Load checks the lists against the table's minimum counts once and notes a
// short list (HasShortCurveLists); the scene plays all the same.
//
// Threads: Load runs on the load job's worker thread; every other operation on the main thread.
// Update, Render and RenderModels allocate nothing: records, matrices and vectors live on the
// stack and the receivers copy them.
//
// Models and views belong to the resource manager, which keeps them for the whole run.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_Vector.h"
#include "render/scene/KR_Scene.h"

#include <cstdint>
#include <span>

class KR_ManagedShaderResourceView;

class KV27_SceneCommon : public KR_Scene
{
public:
    // How a table entry draws its model on vertex curve V[curve].
    enum class DrawKind : std::uint8_t
    {
        Spinning, // turns about its own axes by spin vector [spin], placed at V[curve]
        Fixed,    // placed at V[curve], not turned
        Rail,     // placed at V[curve], facing V[curve + 1]
    };
    struct DrawEntry
    {
        DrawKind eKind;
        std::uint32_t uiModel; // index into the model names
        std::uint32_t uiCurve; // vertex curve index
        std::uint32_t uiSpin;  // spin vector index (spinning props only)
    };
    // One shader vector: (V[p].x, V[p].y, V[p].z, U[q].x).
    struct VectorPair
    {
        std::uint32_t uiVertexCurve;
        std::uint32_t uiUserCurve;
    };
    struct Table
    {
        std::span<const char* const> models; // file names under "Assets/Models/Props/", no ".DAE"
        const char* pCubeA = nullptr;        // under "Assets/Textures/ColorGrading/", no ".png"
        const char* pCubeB = nullptr;        // null: one cube, blended with 0 (no U[7] read)
        std::uint32_t uiSpinCount = 0;
        float fSpinExtent = 0.0f;            // x of each spin vector lies in [-extent, extent]
        std::span<const VectorPair> vectors; // empty: the shader vector list is left alone
        std::span<const DrawEntry> draws;    // in drawing order
        std::uint32_t uiMinVertexCurves = 0;
        std::uint32_t uiMinUserCurves = 0;
    };

    // User-defined curves with a fixed meaning in every scene (the asset generator writes them
    // in these places). U[5] is the scene base's volume lighting curve.
    static constexpr std::uint32_t FRAME_COLOR_CURVE = 0;      // the shader core's frame colour
    static constexpr std::uint32_t FRAME_RANGE_CURVE = 1;      // its frame range (x, y)
    static constexpr std::uint32_t BLOOM_CURVE = 2;            // bloom and dirty-lens strength (x)
    static constexpr std::uint32_t FOCUS_CURVE_1 = 3;          // depth of field f0, f1, f2
    static constexpr std::uint32_t FOCUS_CURVE_2 = 4;          // depth of field f3, f4
    static constexpr std::uint32_t COLOR_MULTIPLIER_CURVE = 6; // colour multiplier (x, y, z) while it runs
    static constexpr std::uint32_t CUBE_BLEND_CURVE = 7;       // blend of the two colour cubes (x)
    // Near and far of a frame drawn without a camera.
    static constexpr float NO_CAMERA_NEAR = 1.0f;
    static constexpr float NO_CAMERA_FAR = 2000.0f;

    // The table's arrays must outlive the scene (the scene classes pass static arrays).
    KV27_SceneCommon(const char* pSceneName, const Table& table);
    ~KV27_SceneCommon() override;

    bool PreLoad() override { return true; }
    // The base's entities, then the props, the cubes, the dirty lens, the effect registrations
    // and the spin vectors (drawn from wincrt::rand, not seeded here); true.
    bool Load() override;
    void OnResize() override {}
    // The base's update, the clear colour, this frame's post-processing chain while the timeline
    // runs, and the shader vectors of the table (every frame); true.
    bool Update(double fTime) override;
    // The shader core's frame values, the chunks, the props, then the base's render.
    void Render(KR_Camera* pCamera, double fTime, bool bNoDebugVisuals) override;
    // The chunks and the props Render draws, in the shadow pass with the light's matrix.
    void RenderModels(double fTime, const DirectX::XMMATRIX* pLightViewProjection) override;
    bool Shutdown() override { return true; }
    // Empties the shader vector list; true.
    bool PostLoad() override;

    const Table& GetTable() const { return m_oTable; }
    const KB_GrowingArray<KB_Vector4<float>>& GetSpinVectors() const { return m_gSpinVectors; }
    // True when the last Load found fewer curves than the table reads.
    bool HasShortCurveLists() const { return m_bShortCurveLists; }

    // V[i] or U[i] at fTime (evaluated at fTime minus the curve's start); false with
    // (0, 0, 0, 0) when the list has no curve i.
    bool GetVertexCurveValue(std::uint32_t uiCurve, double fTime, DirectX::XMVECTOR* pValue);
    bool GetUserCurveValue(std::uint32_t uiCurve, double fTime, DirectX::XMVECTOR* pValue);
    // The world matrix of a spinning prop at p with spin vector s at fTime: the roll-pitch-yaw
    // rotation of angles (a s.y, a s.x, a s.z) with a = fTime + s.w, then the translation to p.
    static DirectX::XMMATRIX SpinTransform(const KB_Vector4<float>& spin, double fTime,
                                           DirectX::FXMVECTOR vPosition);

private:
    // The chunks, then every table entry, in order, in the given pass with the given matrix.
    void DrawProps(double fTime, const DirectX::XMMATRIX* pViewProjection, bool bShadowPass);
    void EnableFrameEffects(double fTime);
    void RefreshShaderVectors(double fTime);

    Table m_oTable;                               // views of the scene class's static arrays
    KB_GrowingArray<KR_ModelResource*> m_gModels; // the resource manager's, in table order
    KR_ManagedShaderResourceView* m_pCubeA = nullptr;
    KR_ManagedShaderResourceView* m_pCubeB = nullptr;
    KR_ManagedShaderResourceView* m_pDirtyLens = nullptr;
    KB_GrowingArray<KB_Vector4<float>> m_gSpinVectors;
    bool m_bShortCurveLists = false;
};
