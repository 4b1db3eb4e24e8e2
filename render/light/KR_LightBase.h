#pragma once
// The common base of a scene's omni and spot lights. A light lives in a time interval of the
// production clock and holds each animatable property either as a fixed value or as a vertex
// curve (position rail, target rail, strength with the specular strength in y, colour); the
// getters answer what each property is at production time t for the shader core manager, the
// light-volume pass and the scene's light selection. A curve is evaluated at t minus its start.
//
// Light text files (".omn", ".spt"): the common header with the plain comment legend, then one
// line per key. The keys shared by both kinds are read here; each kind adds its own, says which
// fields a load resets and writes its file. Paths are single words relative to the light file's
// folder; one CR before a line end is dropped from the debug name; a path or word value never
// reaches into the next line (an empty value would otherwise swallow the next key).
//
// Editor (developer builds): a position marker, for spot and tube lights a target marker, each
// sized by its distance to the viewer / 100; a rail visualisation for each rail, else a translate
// gizmo at the selected marker. Selection follows the protocol of dispatcher channel 5 (the
// subclasses register there) and announces a new selection with (6, 18, this light).
//
// Threads: constructed and loaded by the scene's load job (registration from that thread), used
// on the main thread afterwards.

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_Color.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>
#include <string>

class KR_DebugPolyhedron;
class KR_TranslateGizmo;
class KR_VertexInterpolationVisualisation;
class KU_TextFileReader;
class KU_VertexInterpolation;
struct KR_Ray;

class KR_LightBase : public KU_TimeLimitedEntity, public KE_MessageReceiver
{
public:
    // Bits of the flag byte.
    static constexpr std::uint8_t FLAG_POSITION_SELECTED = 1u << 0;
    static constexpr std::uint8_t FLAG_TARGET_SELECTED = 1u << 1;
    // While set, the target rail is not used (the stored target is).
    static constexpr std::uint8_t FLAG_TARGET_RAIL_OFF = 1u << 2;
    static constexpr std::uint8_t FLAG_VOLUME_LIGHT = 1u << 4;

    static constexpr std::uint32_t MAX_DEBUG_NAME_LENGTH = 511;
    static constexpr std::uint32_t MAX_PATH_LENGTH = 259;
    static constexpr std::uint32_t MAX_COLOR_LENGTH = 31;
    // Markers are scaled by their distance to the viewer divided by this.
    static constexpr float MARKER_SIZE_DIVISOR = 100.0f;

    // Makes the position marker in developer builds.
    KR_LightBase();
    ~KR_LightBase() override;

    KR_LightBase(const KR_LightBase&) = delete;
    KR_LightBase& operator=(const KR_LightBase&) = delete;

    virtual bool LoadFromFile(const KB_String& sPath) = 0;
    virtual bool SaveToFile(const KB_String& sPath) = 0;

    // Values at production time t.
    virtual float GetLightStrength(double fTime);
    virtual float GetLightSpecularStrength(double fTime);
    // The colour at that time into *pOut, which is returned.
    virtual KB_Color* GetLightColor(KB_Color* pOut, double fTime);
    // Constant, linear and quadratic attenuation into *pOut, which is returned.
    virtual DirectX::XMFLOAT3* GetLightAttenuation(DirectX::XMFLOAT3* pOut);
    // The stored range when >= 0; else the largest float with a constant term; else the distance
    // at which the linear or quadratic falloff brings the strength down to 0.05 (0 below that).
    float GetMaxLightDistance(double fTime);
    DirectX::XMVECTOR GetLightPosition(double fTime) const;
    // The target rail's value while there is one and it is not switched off, else the stored one.
    DirectX::XMVECTOR GetLightTarget(double fTime) const;
    DirectX::XMFLOAT3 GetPositionAt(double fTime) const;
    DirectX::XMFLOAT3 GetTargetAt(double fTime) const;

    bool HasPositionRail() const { return m_pPositionRail != nullptr; }
    bool HasTargetRail() const { return m_pTargetRail != nullptr; }
    // The curves are owned by the light. The setters store the pointer (the editor calls them after
    // making or clearing a curve); an old curve is the caller's to delete. A new rail also gets a
    // new visualisation (a handle without a rail), which would otherwise point at the old curve.
    KU_VertexInterpolation* GetPostitionRailInterpolation() const { return m_pPositionRail; }
    KU_VertexInterpolation* GetTargetRailInterpolation() const { return m_pTargetRail; }
    KU_VertexInterpolation* GetStrengthInterpolation() const { return m_pStrengthInterpolation; }
    KU_VertexInterpolation* GetColorInterpolation() const { return m_pColorInterpolation; }
    void SetPostitionRailInterpolation(KU_VertexInterpolation* p);
    void SetTargetRailInterpolation(KU_VertexInterpolation* p);
    void SetStrengthInterpolation(KU_VertexInterpolation* p) { m_pStrengthInterpolation = p; }
    void SetColorInterpolation(KU_VertexInterpolation* p) { m_pColorInterpolation = p; }

    KB_String GetLightPath() const { return m_sLightPath; }
    KB_String GetPositionRailPath() const { return m_sPositionRailPath; }
    KB_String GetTargetRailPath() const { return m_sTargetRailPath; }
    KB_String GetStrengthInterpolationPath() const { return m_sStrengthPath; }
    KB_String GetColorInterpolationPath() const { return m_sColorPath; }
    void SetPositionRailPath(const KB_String& s) { m_sPositionRailPath = s; }
    void SetTargetRailPath(const KB_String& s) { m_sTargetRailPath = s; }
    void SetStrengthInterpolationPath(const KB_String& s) { m_sStrengthPath = s; }
    void SetColorInterpolationPath(const KB_String& s) { m_sColorPath = s; }
    KB_String GetDebugName() const { return m_sDebugName; }
    void SetDebugName(const KB_String& s) { m_sDebugName = s; }

    void SetLightStrength(float fStrength) { m_fStrength = fStrength; }
    void SetLightSpecularStrength(float fStrength) { m_fSpecularStrength = fStrength; }
    void SetLightColor(const KB_Color& color) { m_oColor = color; }
    void SetLightAttenuation(const DirectX::XMFLOAT3& attenuation) { m_vAttenuation = attenuation; }
    void SetMaxLightDistance(float fDistance) { m_fMaxDistance = fDistance; }
    void SetLightPosition(const DirectX::XMVECTOR& v) { DirectX::XMStoreFloat4(&m_vPosition, v); }
    void SetLightTarget(const DirectX::XMVECTOR& v) { DirectX::XMStoreFloat4(&m_vTarget, v); }
    // x, y, z with w 1, as a file gives them.
    void SetPosition(const DirectX::XMFLOAT3& p) { m_vPosition = DirectX::XMFLOAT4(p.x, p.y, p.z, 1.0f); }
    void SetTarget(const DirectX::XMFLOAT3& p) { m_vTarget = DirectX::XMFLOAT4(p.x, p.y, p.z, 1.0f); }
    const DirectX::XMFLOAT4& GetStoredPosition() const { return m_vPosition; }
    const DirectX::XMFLOAT4& GetStoredTarget() const { return m_vTarget; }

    bool IsUsedAsVolumeLight() const { return (m_uiFlags & FLAG_VOLUME_LIGHT) != 0; }
    void SetUseAsVolumeLight(bool bOn) { SetFlag(FLAG_VOLUME_LIGHT, bOn); }
    void SetUseStaticTarget(bool bOn) { SetFlag(FLAG_TARGET_RAIL_OFF, bOn); }
    void SetFlags(std::uint8_t uiFlags) { m_uiFlags = uiFlags; }
    std::uint8_t GetFlags() const { return m_uiFlags; }

    // Replaces the curves by those the paths name (none when unreadable) and, in developer builds,
    // the rail visualisations and handles by new ones.
    void ReloadLight();

    // Editor operations.
    // Unselected markers take the highlight colours when on, the marker colour when off.
    void SetHighlighted(bool bOn);
    void RenderDebug(double fTime, const DirectX::XMMATRIX* pViewProjection,
                     const DirectX::XMVECTOR& vCameraPosition);
    // FLT_MAX when inactive at fTime; else the nearest of the markers and, while their end is
    // selected, the rails.
    float GetPickDistance(double fTime, const KR_Ray& ray);
    // Toggles the nearest hit marker (everything else deselected first) or picks a rail's key;
    // sends (6, 18, this) when the light becomes selected.
    void Select(double fTime, const KR_Ray& ray);
    void DragSelection(double fTime, const KR_Ray& ray, bool bDragging);
    // The selected rail keys, or the selected stored ends without a rail, become vPosition.
    void MoveSelectedKeyTo(const DirectX::XMVECTOR& vPosition);
    // Sends (5, 11, null) to every receiver of channel 5.
    static void DeselectAll();

    // (5, 11): deselects each end unless the sender is that end's rail visualisation; true.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    KR_DebugPolyhedron* GetPositionMarker() const { return m_pPositionMarker; }
    KR_DebugPolyhedron* GetTargetMarker() const { return m_pTargetMarker; }
    KR_TranslateGizmo* GetPositionHandle() const { return m_pPositionHandle; }
    KR_TranslateGizmo* GetTargetHandle() const { return m_pTargetHandle; }
    KR_VertexInterpolationVisualisation* GetPositionRailVisualisation() const { return m_pPositionRailVis; }
    KR_VertexInterpolationVisualisation* GetTargetRailVisualisation() const { return m_pTargetRailVis; }
    const KB_Color& GetMarkerColor() const { return m_oMarkerColor; }
    const KB_Color& GetRailColor() const { return m_oRailColor; }
    const KB_Color& GetSelectionColor() const { return m_oSelectionColor; }

protected:
    void SetFlag(std::uint8_t uiFlag, bool bOn)
    {
        m_uiFlags = static_cast<std::uint8_t>(bOn ? (m_uiFlags | uiFlag) : (m_uiFlags & ~uiFlag));
    }
    // Registers the receiver part on channel 5 (the subclasses' constructors) and removes it.
    void RegisterAtDispatcher();
    void UnRegisterFromDispatcher();
    // Developer builds: the markers take the marker colour.
    void ApplyMarkerColor();
    // Makes a target marker with the marker colour (gone first when there was one).
    void CreateTargetMarker();
    // Deletes the target rail, its visualisation, handle and marker.
    void DeleteTargetObjects();
    // The rail visualisation of pRail in the light's colours.
    KR_VertexInterpolationVisualisation* CreateRailVisualisation(KU_VertexInterpolation* pRail) const;
    // The light file's folder with a trailing "/", empty without one.
    KB_String GetCurveDirectory() const;

    // Reads the file through the repositories; light path := sPath. False when none has it.
    bool ReadFileText(const KB_String& sPath, std::string* pText);
    // One key of the shared set ("#" and unknown keys are not); the value is read, the line not
    // skipped. False when the key is not one of them.
    bool ReadCommonKey(KU_TextFileReader& reader);
    // A path key's word, bounded, on its line only.
    static void ReadPathWord(KU_TextFileReader& reader, KB_String* pPath);
    // The text both kinds open with: the header with the plain comment legend, then the keys d
    // (with a debug name), s, e, pv (without a position rail path), tv (with bWithTarget and
    // without a target rail path), cv (without a colour path) and lm (when set).
    std::string CreateTextStart(const char* pTitle, const char* const* ppLegend, std::uint32_t uiLegendLines,
                                bool bWithTarget) const;
    // The lines pp, tp (with bWithTarget), cp and sp of the curves that have a path.
    void AppendCurvePaths(std::string& sText, bool bWithTarget) const;
    // Saves the position rail, target rail, colour and strength curves that exist and have a path
    // to the light file's folder + path, then writes sText to sPath (light path := sPath); the
    // result is the write's.
    bool SaveCurvesAndText(const KB_String& sPath, const std::string& sText);

    DirectX::XMFLOAT4 m_vPosition = {0.0f, 0.0f, 0.0f, 0.0f};
    DirectX::XMFLOAT4 m_vTarget = {0.0f, 0.0f, 0.0f, 0.0f};
    KB_Color m_oRailColor = KB_Color(0.0f, 0.0f, 0.0f, 1.0f);
    KB_Color m_oSelectionColor = KB_Color(0.0f, 1.0f, 0.0f, 1.0f);
    KB_Color m_oMarkerColor = KB_Color(0.0f, 0.0f, 0.0f, 1.0f);
    DirectX::XMFLOAT3 m_vAttenuation = {0.0f, 0.0f, 0.00001f};
    KB_Color m_oColor = KB_Color(1.0f, 1.0f, 1.0f, 1.0f);
    KU_VertexInterpolation* m_pPositionRail = nullptr;                 // owned
    KU_VertexInterpolation* m_pStrengthInterpolation = nullptr;        // owned
    KU_VertexInterpolation* m_pColorInterpolation = nullptr;           // owned
    KU_VertexInterpolation* m_pTargetRail = nullptr;                   // owned
    KR_DebugPolyhedron* m_pPositionMarker = nullptr;                   // owned
    KR_DebugPolyhedron* m_pTargetMarker = nullptr;                     // owned
    KR_TranslateGizmo* m_pPositionHandle = nullptr;                    // owned
    KR_TranslateGizmo* m_pTargetHandle = nullptr;                      // owned
    KR_VertexInterpolationVisualisation* m_pPositionRailVis = nullptr; // owned
    KR_VertexInterpolationVisualisation* m_pTargetRailVis = nullptr;   // owned
    KB_String m_sLightPath;
    KB_String m_sPositionRailPath;
    KB_String m_sStrengthPath;
    KB_String m_sColorPath;
    KB_String m_sTargetRailPath;
    KB_String m_sDebugName;
    float m_fMaxDistance = -1.0f;
    float m_fStrength = 1.0f;
    float m_fSpecularStrength = 1.0f;
    float m_fMarkerSizeDivisor = MARKER_SIZE_DIVISOR;
    std::uint8_t m_uiFlags = 0;

private:
    void DeleteCurvesAndEditorObjects();
    void ReplaceRail(KU_VertexInterpolation** ppRail, KR_VertexInterpolationVisualisation** ppVisualisation,
                     KR_TranslateGizmo** ppHandle, KU_VertexInterpolation* pRail);
};
