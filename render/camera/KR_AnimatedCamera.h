#pragma once
// The camera of the timeline: a KR_Camera on the production clock, driven by up to four curves,
// a camera rail (eye positions), a target rail (look-at points), a field-of-view curve (lane x in
// degrees) and an orientation curve, and stored in a ".cam" text file that names their curve
// files relative to its own folder. In developer mode it shows its rails (and, with camera rail,
// target rail and orientation, its orientation keys) and lets the editor pick, drag and move
// their keys.
//
// ".cam" layout: the common text-file header titled "# Simple Animated camera file", then the keys
// d (debug name, rest of line), fov (only without an FOV curve), nz, fz, s, e, and cp, tp, fp, op
// (the curve paths, only when set). Numbers have six significant digits.
//
// Robust where the timeline and the files are not: Update skips the position without a camera
// rail and the orientation without an orientation curve; retiming a camera whose span is 0 moves
// its curves' interval but never scales their keys (the factor would be infinite or NaN); a
// malformed value ends the reading of the file (what was read before stays), as for every entity
// file. Loaded by the load job, used on the main thread.

#include "framework/core/KB_String.h"
#include "render/camera/KR_Camera.h"
#include "timing/KU_TimeLimitedEntity.h"

class KR_QuaternionInterpolationVisualisation;
class KR_VertexInterpolationVisualisation;
class KU_QuaternionInterpolation;
class KU_VertexInterpolation;
struct KR_Ray;

class KR_AnimatedCamera : public KR_Camera, public KU_TimeLimitedEntity
{
public:
    static constexpr const char* TITLE = "# Simple Animated camera file";
    // Longest debug name and curve path a file gives.
    static constexpr std::uint32_t MAX_DEBUG_NAME_LENGTH = 511;
    static constexpr std::uint32_t MAX_PATH_LENGTH = 259;

    // An empty camera at 0 to 0 for the loader (LoadCameraFromFile follows).
    explicit KR_AnimatedCamera(const KB_String& sCameraFilePath);
    // Takes the four curves (any may be null); in developer mode makes the visualisations.
    KR_AnimatedCamera(const KB_String& sCameraFilePath, KU_VertexInterpolation* pCameraRail,
                      KU_VertexInterpolation* pCameraTargetRail, KU_VertexInterpolation* pFOVInterpolation,
                      KU_QuaternionInterpolation* pOrientationInterpolation);
    ~KR_AnimatedCamera() override;

    // Reads the file through the repositories and then ReloadCamera; false (nothing changed) when
    // no repository has it.
    bool LoadCameraFromFile(const KB_String& sPath);
    // Saves the present curves beside the file (their paths relative to its folder), then writes
    // the file; the result is the file's write.
    bool SaveCameraToFile(const KB_String& sPath);
    // Replaces curves and visualisations by those the stored paths name; a curve file that cannot
    // be read leaves that curve out.
    bool ReloadCamera();
    // The ".cam" text of the current state.
    KB_String CreateCameraText() const;

    // Evaluates the curves at production time fTime.
    void Update(double fTime) override;
    // Developer drawing: the rails (markers sized by the distance to the viewer), then the frustum
    // unless the camera rail is hidden; the orientation keys by their own call.
    void RenderDebug(double fTime, const DirectX::XMMATRIX* pViewProjection,
                     const DirectX::XMVECTOR* pViewerPosition);
    void RenderOrientationDebug(double fTime, const DirectX::XMMATRIX* pViewProjection,
                                const DirectX::XMVECTOR* pViewerPosition);

    // Editor picking, only while the camera is active at fTime: the nearest of the three
    // visualisations (FLT_MAX for a miss or when inactive).
    float GetPickDistance(double fTime, const KR_Ray& ray);
    // Picks on the nearest visualisation; ties go to the orientation keys, then the target rail.
    // A miss runs the orientation keys' pick, which deselects.
    bool Select(double fTime, const KR_Ray& ray);
    void DragSelectedKey(double fTime, const KR_Ray& ray, bool bDragging);
    // The selected rail keys move to vPosition.
    void MoveSelectedKeyTo(double fTime, const DirectX::XMVECTOR& vPosition);

    // Retime the camera and its curves, keeping every key at its fraction of the span.
    void SetStartTime(double fStartTime) override;
    void SetEndTime(double fEndTime) override;

    KB_String GetCameraRailPath() const { return m_sCameraRailPath; }
    KB_String GetCameraTargetRailPath() const { return m_sCameraTargetRailPath; }
    KB_String GetFOVInterpolationPath() const { return m_sFOVInterpolationPath; }
    KB_String GetOrientationInterpolationPath() const { return m_sOrientationInterpolationPath; }
    KB_String GetCameraFilePath() const { return m_sCameraFilePath; }
    KB_String GetDebugName() const { return m_sDebugName; }
    void SetDebugName(const KB_String& sName) { m_sDebugName = sName; }
    // The scene names a new camera's curve files through these.
    void SetCameraRailPath(const KB_String& sPath) { m_sCameraRailPath = sPath; }
    void SetCameraTargetRailPath(const KB_String& sPath) { m_sCameraTargetRailPath = sPath; }
    void SetFOVInterpolationPath(const KB_String& sPath) { m_sFOVInterpolationPath = sPath; }
    void SetOrientationInterpolationPath(const KB_String& sPath) { m_sOrientationInterpolationPath = sPath; }
    KU_VertexInterpolation* GetCameraRailInterpolation() const { return m_pCameraRail; }
    KU_VertexInterpolation* GetCameraTargetRailInterpolation() const { return m_pCameraTargetRail; }
    KU_VertexInterpolation* GetFOVInterpolation() const { return m_pFOVInterpolation; }
    KU_QuaternionInterpolation* GetOrientationInterpolation() const { return m_pOrientationInterpolation; }
    KR_VertexInterpolationVisualisation* GetCameraRailVisualisation() const
    {
        return m_pCameraRailVisualisation;
    }
    KR_VertexInterpolationVisualisation* GetTargetRailVisualisation() const
    {
        return m_pTargetRailVisualisation;
    }
    KR_QuaternionInterpolationVisualisation* GetOrientationVisualisation() const
    {
        return m_pOrientationVisualisation;
    }

private:
    // Visualisations for the present curves in developer mode, in the colours of a new camera
    // (bReloaded false) or of a loaded one.
    void CreateVisualisations(bool bReloaded);
    void DeleteCurvesAndVisualisations();
    void ParseText(const char* pText, std::uint64_t uiSize);
    // The folder of the camera file with a trailing "/", empty without one.
    KB_String GetCurveDirectory() const;
    // Scales the stamps of every present curve when the old span allows it.
    void ScaleCurves(double fFactor, double fOldSpan);

    KB_String m_sCameraFilePath;
    KB_String m_sCameraRailPath;
    KB_String m_sCameraTargetRailPath;
    KB_String m_sFOVInterpolationPath;
    KB_String m_sOrientationInterpolationPath;
    KU_VertexInterpolation* m_pCameraRail = nullptr;                                // owned
    KU_VertexInterpolation* m_pCameraTargetRail = nullptr;                          // owned
    KU_VertexInterpolation* m_pFOVInterpolation = nullptr;                          // owned
    KU_QuaternionInterpolation* m_pOrientationInterpolation = nullptr;              // owned
    KR_VertexInterpolationVisualisation* m_pCameraRailVisualisation = nullptr;      // owned
    KR_VertexInterpolationVisualisation* m_pTargetRailVisualisation = nullptr;      // owned
    KR_QuaternionInterpolationVisualisation* m_pOrientationVisualisation = nullptr; // owned
    KB_String m_sDebugName;
};
