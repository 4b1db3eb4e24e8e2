#include "tools/KG_EditorCalculations.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/forms/FormsWidgets.h"
#include "render/camera/KR_Camera.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/light/KR_LightBase.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KU_VertexInterpolation.h"

#include <algorithm>
#include <cmath>

using namespace DirectX;

namespace
{

// Pixels and labels are clamped here before truncation: a float beyond the int range has no
// defined conversion.
constexpr float PIXEL_LIMIT = 1073741824.0f; // 2^30

std::int32_t Truncate(float fValue)
{
    if (!(fValue > -PIXEL_LIMIT)) // NaN lands here too, off screen
        return -static_cast<std::int32_t>(PIXEL_LIMIT);
    if (fValue > PIXEL_LIMIT)
        return static_cast<std::int32_t>(PIXEL_LIMIT);
    return static_cast<std::int32_t>(fValue);
}

float Clamp(float fValue, float fMin, float fMax)
{
    return fValue < fMin ? fMin : (fValue > fMax ? fMax : fValue);
}

void AddPair(KB_GrowingArray<KG_Point>& gList, std::int32_t x1, std::int32_t y1, std::int32_t x2,
             std::int32_t y2)
{
    gList.Add({x1, y1});
    gList.Add({x2, y2});
}

// The largest of 10000, 1000, 100, 10, 1 at or below floor(0.5 / scale), and never below 1.
double GridStep(float fScale)
{
    const double s = std::floor(0.5 / static_cast<double>(fScale));
    if (!(s >= 1.0))
        return 1.0;
    for (double step : {10000.0, 1000.0, 100.0, 10.0})
        if (step <= s)
            return step;
    return 1.0;
}

// The largest multiple of step at or below fEdge.
double FirstGridValue(double fEdge, double fStep)
{
    double fRemainder = std::fmod(fEdge, fStep);
    if (fRemainder < 0.0)
        fRemainder += fStep;
    return fEdge - fRemainder;
}

float Component(const XMVECTOR& v, std::uint32_t c)
{
    return v.f[c];
}

} // namespace

KG_EditorCalculations::KG_EditorCalculations(ModifierQuery modifiers)
    : m_oModifiers(std::move(modifiers)), m_mModel(XMMatrixIdentity()), m_mViewport(XMMatrixIdentity()),
      m_mModelViewport(XMMatrixIdentity()), m_mInverseModel(XMMatrixIdentity()),
      m_mInverseModelViewport(XMMatrixIdentity())
{
}

void KG_EditorCalculations::SetDimensions(std::uint32_t uiWidth, std::uint32_t uiHeight)
{
    m_vDimensions[0] = uiWidth;
    m_vDimensions[1] = uiHeight;
    m_vInvDimensions[0] = uiWidth != 0 ? 1.0f / static_cast<float>(uiWidth) : 0.0f;
    m_vInvDimensions[1] = uiHeight != 0 ? 1.0f / static_cast<float>(uiHeight) : 0.0f;
    m_bViewDirty = true;
}

void KG_EditorCalculations::SetInterpolation(KU_VertexInterpolation* pCurve)
{
    m_pVertexInterpolation = pCurve;
    m_bVertexInterpolationChanged = false;
    // Key indices of the previous curve mean nothing for this one.
    m_iHoveredKey = -1;
    m_iDraggedKey = -1;
    m_bViewDirty = true;
}

void KG_EditorCalculations::SetView(const XMFLOAT2& vOffset, const XMFLOAT2& vScale)
{
    m_vOffset = vOffset;
    m_vScale = vScale;
    m_bViewDirty = true;
}

KG_ModifierKeys KG_EditorCalculations::GetModifiers() const
{
    if (m_oModifiers)
        return m_oModifiers();
    const forms::Keys keys = forms::Control::ModifierKeys();
    KG_ModifierKeys result;
    result.bShift = forms::HasFlag(keys, forms::Keys::Shift);
    result.bControl = forms::HasFlag(keys, forms::Keys::Control);
    result.bAlt = forms::HasFlag(keys, forms::Keys::Alt);
    return result;
}

void KG_EditorCalculations::RebuildTransforms()
{
    const float w = static_cast<float>(m_vDimensions[0]);
    const float h = static_cast<float>(m_vDimensions[1]);
    m_mModel = XMMatrixMultiply(XMMatrixTranslation(m_vOffset.x, m_vOffset.y, 0.0f),
                                XMMatrixScaling(m_vScale.x, m_vScale.y * (w / h), 1.0f));
    m_mViewport = XMMatrixMultiply(XMMatrixScaling(w * 0.5f, -h * 0.5f, 1.0f),
                                   XMMatrixTranslation(w * 0.5f, h * 0.5f, 0.0f));
    m_mModelViewport = XMMatrixMultiply(m_mModel, m_mViewport);
    m_mInverseModel = XMMatrixInverse(nullptr, m_mModel);
    m_mInverseModelViewport = XMMatrixInverse(nullptr, m_mModelViewport);
}

KG_Point KG_EditorCalculations::DataToPixel(double fTime, double fValue) const
{
    const XMVECTOR v = XMVector4Transform(
        XMVectorSet(static_cast<float>(fTime), static_cast<float>(fValue), 0.0f, 1.0f), m_mModelViewport);
    return {Truncate(v.f[0]), Truncate(v.f[1])};
}

void KG_EditorCalculations::PixelToData(float fX, float fY, double* pTime, double* pValue) const
{
    const XMVECTOR v = XMVector4Transform(XMVectorSet(fX, fY, 0.0f, 1.0f), m_mInverseModelViewport);
    if (pTime != nullptr)
        *pTime = v.f[0];
    if (pValue != nullptr)
        *pValue = v.f[1];
}

bool KG_EditorCalculations::Update(bool bForce)
{
    const std::int32_t w = static_cast<std::int32_t>(std::min<std::uint32_t>(m_vDimensions[0], 0x7FFFFFFF));
    const std::int32_t h = static_cast<std::int32_t>(std::min<std::uint32_t>(m_vDimensions[1], 0x7FFFFFFF));
    // A collapsed panel has no finite view: nothing to draw.
    if (w == 0 || h == 0)
        return false;

    const bool bDirty = m_bViewDirty;
    if (bDirty)
        RebuildTransforms();

    bool bLineChanged = false;
    if (HasCurve())
    {
        KR_SceneManager* pScenes = KE_GetSceneManager();
        const double fNow = pScenes != nullptr ? pScenes->GetSynchonizationTime() : 0.0;
        if (bDirty || fNow != m_dLastCurrentTime)
        {
            m_dLastCurrentTime = fNow;
            m_gCurrentTimeLine.RemoveAll(false);
            const KG_Point p = DataToPixel(fNow, 0.0);
            if (p.x >= 0 && p.x < w)
                AddPair(m_gCurrentTimeLine, p.x, 0, p.x, h - 1);
            bLineChanged = true;
        }
    }

    if (!bDirty && !bForce)
        return bLineChanged;
    RebuildGeometry();
    m_bViewDirty = false;
    return true;
}

void KG_EditorCalculations::RebuildGeometry()
{
    m_gAxisLines.RemoveAll(false);
    m_gGridLines.RemoveAll(false);
    m_gStartLine.RemoveAll(false);
    m_gEndLine.RemoveAll(false);
    m_gXAxisLabels.RemoveAll(false);
    m_gYAxisLabels.RemoveAll(false);
    for (std::uint32_t c = 0; c < 3; ++c)
    {
        m_gControlPoints[c].RemoveAll(false);
        m_gHighlighted[c].RemoveAll(false);
        m_gSplineLines[c].RemoveAll(false);
    }
    BuildAxesAndGrid();
    if (HasCurve())
        BuildCurve();
}

void KG_EditorCalculations::BuildAxesAndGrid()
{
    const std::int32_t w = static_cast<std::int32_t>(m_vDimensions[0]);
    const std::int32_t h = static_cast<std::int32_t>(m_vDimensions[1]);

    const XMVECTOR vOrigin = XMVector4Transform(XMVectorSet(0.0f, 0.0f, 0.0f, 1.0f), m_mModel);
    const KG_Point origin = DataToPixel(0.0, 0.0);
    const bool bHorizontalAxis = vOrigin.f[1] >= -1.0f && vOrigin.f[1] <= 1.1f;
    const bool bVerticalAxis = vOrigin.f[0] >= -1.0f && vOrigin.f[0] <= 1.1f;
    if (bHorizontalAxis)
        AddPair(m_gAxisLines, 0, origin.y, w - 1, origin.y);
    if (bVerticalAxis)
        AddPair(m_gAxisLines, origin.x, 0, origin.x, h - 1);

    // The visible data range: the inverse model image of normalised -1..1.
    const XMVECTOR vLow = XMVector4Transform(XMVectorSet(-1.0f, -1.0f, 0.0f, 1.0f), m_mInverseModel);
    const XMVECTOR vHigh = XMVector4Transform(XMVectorSet(1.0f, 1.0f, 0.0f, 1.0f), m_mInverseModel);

    const double fTimeStep = GridStep(m_vScale.x);
    const double fLeft = vLow.f[0];
    const double fRight = vHigh.f[0];
    if (std::isfinite(fLeft) && std::isfinite(fRight))
    {
        double t = FirstGridValue(fLeft, fTimeStep);
        for (int i = 0; i < MAX_GRID_LINES; ++i, t += fTimeStep)
        {
            const std::int32_t px = DataToPixel(t, 0.0).x;
            AddPair(m_gGridLines, px, 0, px, h - 1);
            if (bHorizontalAxis)
            {
                AddPair(m_gAxisLines, px, origin.y, px, origin.y + 4);
                const std::int32_t lx = std::fabs(t) < 0.1 ? px - 9 : px + 1;
                m_gXAxisLabels.Add({lx, origin.y + 6, Truncate(static_cast<float>(t))});
            }
            if (t >= fRight)
                break;
        }
    }

    const double fValueStep = GridStep(m_vScale.y);
    const double fBottom = vLow.f[1];
    const double fTop = vHigh.f[1];
    if (std::isfinite(fBottom) && std::isfinite(fTop))
    {
        double v = FirstGridValue(fBottom, fValueStep);
        for (int i = 0; i < MAX_GRID_LINES; ++i, v += fValueStep)
        {
            const std::int32_t py = DataToPixel(0.0, v).y;
            AddPair(m_gGridLines, 0, py, w - 1, py);
            if (bVerticalAxis && !(v >= -0.1 && v <= 0.1))
            {
                AddPair(m_gAxisLines, origin.x, py, origin.x - 4, py);
                m_gYAxisLabels.Add({origin.x - 6, py - 1, Truncate(static_cast<float>(v))});
            }
            if (v >= fTop)
                break;
        }
    }
}

void KG_EditorCalculations::BuildCurve()
{
    const std::int32_t w = static_cast<std::int32_t>(m_vDimensions[0]);
    const std::int32_t h = static_cast<std::int32_t>(m_vDimensions[1]);
    KU_VertexInterpolation* pCurve = m_pVertexInterpolation;
    const double fStart = pCurve->GetStartTime();

    const KG_Point start = DataToPixel(fStart, 0.0);
    if (start.x >= 0 && start.x < w)
        AddPair(m_gStartLine, start.x, 0, start.x, h - 1);
    const KG_Point end = DataToPixel(pCurve->GetEndTime(), 0.0);
    if (end.x >= 0 && end.x < w)
        AddPair(m_gEndLine, end.x, 0, end.x, h - 1);

    const std::uint32_t uiKeys = std::min(pCurve->GetNumTimeStamps(), pCurve->GetNumVertices());
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        const double fTime = fStart + pCurve->GetTimeStamp(i);
        const XMVECTOR vValue = pCurve->GetVertex(i);
        for (std::uint32_t c = 0; c < 3; ++c)
        {
            const KG_Point p = DataToPixel(fTime, Component(vValue, c));
            if (p.x < 0 || p.x >= w || p.y < 0 || p.y >= h)
                continue;
            const KG_Mark mark{p.x, p.y, static_cast<std::int32_t>(i)};
            if (static_cast<std::int32_t>(i) == m_iHoveredKey)
                m_gHighlighted[c].Add(mark);
            else
                m_gControlPoints[c].Add(mark);
        }
    }

    for (std::int32_t x = 0; x < w; x += 2)
    {
        double fTime = 0.0;
        PixelToData(static_cast<float>(x), 0.0f, &fTime, nullptr);
        XMVECTOR vValue = XMVectorZero();
        pCurve->GetValueAt(&vValue, fTime - fStart);
        for (std::uint32_t c = 0; c < 3; ++c)
            m_gSplineLines[c].Add({x, DataToPixel(fTime, Component(vValue, c)).y});
    }
}

const KB_GrowingArray<KG_Mark>& KG_EditorCalculations::GetControlPoints(std::uint32_t uiComponent) const
{
    return m_gControlPoints[std::min<std::uint32_t>(uiComponent, 2)];
}

const KB_GrowingArray<KG_Mark>&
KG_EditorCalculations::GetHighlightedControlPoints(std::uint32_t uiComponent) const
{
    return m_gHighlighted[std::min<std::uint32_t>(uiComponent, 2)];
}

const KB_GrowingArray<KG_Point>& KG_EditorCalculations::GetSplineLines(std::uint32_t uiComponent) const
{
    return m_gSplineLines[std::min<std::uint32_t>(uiComponent, 2)];
}

void KG_EditorCalculations::ZoomExtends(bool bX, bool bY, bool bZ)
{
    KU_VertexInterpolation* pCurve = m_pVertexInterpolation;
    if (pCurve == nullptr || !(bX || bY || bZ))
        return;
    const std::uint32_t uiKeys = std::min(pCurve->GetNumTimeStamps(), pCurve->GetNumVertices());
    if (uiKeys == 0)
        return;
    const bool bShown[3] = {bX, bY, bZ};
    float fLow = 0.0f;
    float fHigh = 0.0f;
    bool bFirst = true;
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        const XMVECTOR v = pCurve->GetVertex(i);
        for (std::uint32_t c = 0; c < 3; ++c)
        {
            if (!bShown[c])
                continue;
            const float f = Component(v, c);
            fLow = bFirst ? f : std::min(fLow, f);
            fHigh = bFirst ? f : std::max(fHigh, f);
            bFirst = false;
        }
    }
    if (fHigh - fLow < MIN_VALUE_RANGE)
        fHigh = fLow + MIN_VALUE_RANGE;
    const double t0 = pCurve->GetStartTime();
    const double t1 = pCurve->GetEndTime();

    m_vOffset.x = static_cast<float>(-(t0 + t1) * 0.5);
    m_vOffset.y = -(fHigh + fLow) * 0.5f;
    // An empty or reversed interval has no time scale to fit: the current one stays.
    const float fTimeScale = static_cast<float>(1.8 / (t1 - t0));
    if (t1 > t0 && std::isfinite(fTimeScale) && fTimeScale > 0.0f)
        m_vScale.x = fTimeScale;
    const float w = static_cast<float>(m_vDimensions[0]);
    const float h = static_cast<float>(m_vDimensions[1]);
    const float fValueScale = (1.8f / (fHigh - fLow)) * (h / w);
    if (std::isfinite(fValueScale) && fValueScale > 0.0f)
        m_vScale.y = fValueScale;
    m_bViewDirty = true;
}

void KG_EditorCalculations::WheelZoom(std::int32_t iWheel)
{
    if (iWheel == 0)
        return;
    const float z = std::min(m_vScale.x, m_vScale.y) * WHEEL_ZOOM_SPEED * static_cast<float>(iWheel);
    m_vScale.x = Clamp(m_vScale.x + z, MIN_SCALE, MAX_SCALE);
    m_vScale.y = Clamp(m_vScale.y + z, MIN_SCALE, MAX_SCALE);
    m_bViewDirty = true;
}

void KG_EditorCalculations::Seek()
{
    KR_SceneManager* pScenes = KE_GetSceneManager();
    if (pScenes == nullptr)
        return;
    double fTime = 0.0;
    PixelToData(m_vLastMousePosition.x, m_vLastMousePosition.y, &fTime, nullptr);
    pScenes->SetSynchronizationTime(fTime);
}

void KG_EditorCalculations::MouseDown(std::int32_t iX, std::int32_t iY, std::int32_t iWheel,
                                      std::uint32_t uiButtons)
{
    m_uMouseButtons |= uiButtons;
    m_vLastMousePosition = {static_cast<float>(iX), static_cast<float>(iY), 0.0f, 1.0f};
    const KG_ModifierKeys keys = GetModifiers();
    const bool bLeft = (m_uMouseButtons & BUTTON_LEFT) != 0;
    if (bLeft && keys.bShift)
    {
        if (m_iHoveredKey >= 0 && HasCurve())
        {
            m_pVertexInterpolation->RemoveVertex(static_cast<std::uint32_t>(m_iHoveredKey));
            m_iHoveredKey = -1;
            m_iDraggedKey = -1;
            m_bVertexInterpolationChanged = true;
            m_bViewDirty = true;
        }
    }
    else if (bLeft && !keys.bControl)
    {
        m_iDraggedKey = m_iHoveredKey; // -1: the drag pans
    }
    else if (bLeft)
    {
        if (HasCurve())
        {
            double fTime = 0.0;
            PixelToData(m_vLastMousePosition.x, m_vLastMousePosition.y, &fTime, nullptr);
            const double fLocal = fTime - m_pVertexInterpolation->GetStartTime();
            XMVECTOR vValue = XMVectorZero();
            m_pVertexInterpolation->GetValueAt(&vValue, fLocal);
            // The new key carries the curve's own value there, so the drawn shape stays.
            m_pVertexInterpolation->InsertVertex(vValue, fLocal);
            m_iHoveredKey = -1;
            m_iDraggedKey = -1;
            m_bVertexInterpolationChanged = true;
            m_bViewDirty = true;
        }
    }
    else if ((m_uMouseButtons & BUTTON_RIGHT) != 0 && keys.bControl)
    {
        Seek();
    }
    WheelZoom(iWheel);
}

void KG_EditorCalculations::PickHovered(bool bShowX, bool bShowY, bool bShowZ)
{
    const bool bShown[3] = {bShowX, bShowY, bShowZ};
    std::int32_t iBest[3] = {PICK_DISTANCE, PICK_DISTANCE, PICK_DISTANCE};
    std::int32_t iKey[3] = {-1, -1, -1};
    const std::int32_t x = static_cast<std::int32_t>(m_vLastMousePosition.x);
    const std::int32_t y = static_cast<std::int32_t>(m_vLastMousePosition.y);
    for (const KB_GrowingArray<KG_Mark>* pLists : {m_gHighlighted, m_gControlPoints})
    {
        for (std::uint32_t c = 0; c < 3; ++c)
        {
            if (!bShown[c])
                continue;
            const KB_GrowingArray<KG_Mark>& gMarks = pLists[c];
            for (std::uint32_t i = 0; i < gMarks.GetNumMembers(); ++i)
            {
                const std::int64_t d =
                    std::llabs(std::int64_t(gMarks[i].x) - x) + std::llabs(std::int64_t(gMarks[i].y) - y);
                if (d < iBest[c])
                {
                    iBest[c] = static_cast<std::int32_t>(d);
                    iKey[c] = gMarks[i].index;
                }
            }
        }
    }
    std::uint32_t uiComponent;
    if (iBest[0] < iBest[1])
        uiComponent = iBest[0] < iBest[2] ? 0 : 2;
    else
        uiComponent = iBest[1] < iBest[2] ? 1 : 2;
    const std::int32_t iHovered = iKey[uiComponent];
    m_uHoveredComponent = uiComponent;
    if (iHovered != m_iHoveredKey)
    {
        m_iHoveredKey = iHovered;
        m_bViewDirty = true;
    }
}

void KG_EditorCalculations::MouseMove(std::int32_t iX, std::int32_t iY, std::int32_t iWheel,
                                      std::uint32_t /*uiButtons*/, bool bSnapToIntegers, bool bShowX,
                                      bool bShowY, bool bShowZ)
{
    const XMFLOAT4 vPosition = {static_cast<float>(iX), static_cast<float>(iY), 0.0f, 1.0f};
    if (m_uMouseButtons == 0 && m_iDraggedKey < 0)
    {
        m_vLastMousePosition = vPosition;
        PickHovered(bShowX, bShowY, bShowZ);
    }
    const KG_ModifierKeys keys = GetModifiers();
    const float dx = (m_vLastMousePosition.x - vPosition.x) * m_vInvDimensions[0];
    const float dy = (m_vLastMousePosition.y - vPosition.y) * m_vInvDimensions[1];

    if ((m_uMouseButtons & BUTTON_LEFT) != 0)
    {
        if (m_iDraggedKey < 0)
        {
            m_vOffset.x += dx * (-1.0f / m_vScale.x);
            m_vOffset.y += dy * (1.0f / m_vScale.y);
            m_bViewDirty = true;
        }
        else if (HasCurve())
        {
            double fTime = 0.0;
            double fValue = 0.0;
            PixelToData(vPosition.x, vPosition.y, &fTime, &fValue);
            if (bSnapToIntegers)
            {
                fTime = std::floor(fTime + 0.5);
                fValue = std::floor(fValue + 0.5);
            }
            const std::uint32_t uiKey = static_cast<std::uint32_t>(m_iDraggedKey);
            XMVECTOR vKey = m_pVertexInterpolation->GetVertex(uiKey);
            vKey.f[std::min<std::uint32_t>(m_uHoveredComponent, 2)] = static_cast<float>(fValue);
            m_pVertexInterpolation->SetVertex(uiKey, vKey);
            if (keys.bAlt)
            {
                const std::uint32_t uiNew = m_pVertexInterpolation->SetVertexTimeStamp(
                    uiKey, fTime - m_pVertexInterpolation->GetStartTime());
                m_iDraggedKey = static_cast<std::int32_t>(uiNew);
                m_iHoveredKey = m_iDraggedKey;
            }
            m_bVertexInterpolationChanged = true;
            m_bViewDirty = true;
        }
    }
    if ((m_uMouseButtons & BUTTON_RIGHT) != 0)
    {
        if (keys.bControl)
        {
            m_vLastMousePosition = vPosition;
            Seek();
        }
        else
        {
            m_vScale.x = Clamp(m_vScale.x + dx * m_vScale.x * DRAG_ZOOM_SPEED, MIN_SCALE, MAX_SCALE);
            m_vScale.y = Clamp(m_vScale.y + dy * m_vScale.y * DRAG_ZOOM_SPEED, MIN_SCALE, MAX_SCALE);
            m_bViewDirty = true;
        }
    }
    m_vLastMousePosition = vPosition;
    WheelZoom(iWheel);
}

void KG_EditorCalculations::MouseUp(std::int32_t iX, std::int32_t iY, std::int32_t iWheel,
                                    std::uint32_t uiButtons)
{
    m_uMouseButtons &= ~uiButtons;
    m_vLastMousePosition = {static_cast<float>(iX), static_cast<float>(iY), 0.0f, 1.0f};
    if ((uiButtons & BUTTON_LEFT) != 0)
        m_iDraggedKey = -1;
    WheelZoom(iWheel);
}

bool KG_EditorCalculations::GetSelectedControlPointValues(float* pX, float* pY, float* pZ, float* pTime) const
{
    const KU_VertexInterpolation* pCurve = m_pVertexInterpolation;
    if (pCurve == nullptr || m_iHoveredKey < 0 ||
        static_cast<std::uint32_t>(m_iHoveredKey) >=
            std::min(pCurve->GetNumTimeStamps(), pCurve->GetNumVertices()))
        return false;
    const std::uint32_t i = static_cast<std::uint32_t>(m_iHoveredKey);
    const XMVECTOR v = pCurve->GetVertex(i);
    if (pX != nullptr)
        *pX = v.f[0];
    if (pY != nullptr)
        *pY = v.f[1];
    if (pZ != nullptr)
        *pZ = v.f[2];
    if (pTime != nullptr)
        *pTime = static_cast<float>(pCurve->GetStartTime() + pCurve->GetTimeStamp(i));
    return true;
}

void KG_EditorCalculations::GetCursorValues(float* pTime, float* pValue) const
{
    double fTime = 0.0;
    double fValue = 0.0;
    PixelToData(m_vLastMousePosition.x, m_vLastMousePosition.y, &fTime, &fValue);
    if (pTime != nullptr)
        *pTime = static_cast<float>(fTime);
    if (pValue != nullptr)
        *pValue = static_cast<float>(fValue);
}

namespace
{

void StoreThree(const XMVECTOR& v, float* pX, float* pY, float* pZ)
{
    if (pX != nullptr)
        *pX = v.f[0];
    if (pY != nullptr)
        *pY = v.f[1];
    if (pZ != nullptr)
        *pZ = v.f[2];
}

} // namespace

void KG_EditorCalculations::GetControllerCameraPos(float* pX, float* pY, float* pZ)
{
    KR_SceneManager* pScenes = KE_GetSceneManager();
    KR_ControllerCamera* pCamera = pScenes != nullptr ? pScenes->GetControllerCamera() : nullptr;
    StoreThree(pCamera != nullptr ? pCamera->GetPosition() : XMVectorZero(), pX, pY, pZ);
}

void KG_EditorCalculations::GetCameraPosition(float* pX, float* pY, float* pZ, KR_Camera* pCamera)
{
    if (pCamera != nullptr)
        StoreThree(pCamera->GetPosition(), pX, pY, pZ);
}

void KG_EditorCalculations::GetCameraUpVector(float* pX, float* pY, float* pZ, KR_Camera* pCamera)
{
    if (pCamera != nullptr)
        StoreThree(pCamera->GetUpVector(), pX, pY, pZ);
}

void KG_EditorCalculations::GetCameraForwardVector(float* pX, float* pY, float* pZ, KR_Camera* pCamera)
{
    if (pCamera != nullptr)
        StoreThree(pCamera->GetLookVector(), pX, pY, pZ);
}

std::uint32_t KG_EditorCalculations::InsertVertexIntoInterpolation(KU_VertexInterpolation* pCurve, float fX,
                                                                   float fY, float fZ, double fLocalTime)
{
    if (pCurve == nullptr)
        return 0;
    return pCurve->InsertVertex(XMVectorSet(fX, fY, fZ, 0.0f), fLocalTime);
}

void KG_EditorCalculations::UpdateInterpolationVertex(KU_VertexInterpolation* pCurve, std::uint32_t uiIndex,
                                                      float fX, float fY, float fZ)
{
    if (pCurve == nullptr)
        return;
    pCurve->SetVertex(uiIndex, XMVectorSet(fX, fY, fZ, 0.0f));
    pCurve->SetChanged();
}

void KG_EditorCalculations::GetLightBaseLightPosition(float* pX, float* pY, float* pZ, KR_LightBase* pLight,
                                                      double fTime)
{
    if (pLight != nullptr)
        StoreThree(pLight->GetLightPosition(fTime), pX, pY, pZ);
}

void KG_EditorCalculations::SetLightBaseLightPosition(KR_LightBase* pLight, float fX, float fY, float fZ)
{
    if (pLight != nullptr)
        pLight->SetPosition(XMFLOAT3(fX, fY, fZ));
}

void KG_EditorCalculations::SetSpotlightUpVector(KR_SpotLight* pLight, float fX, float fY, float fZ)
{
    if (pLight != nullptr)
        pLight->SetUpVector(XMFLOAT4(fX, fY, fZ, 0.0f));
}

void KG_EditorCalculations::GetLightTargetPosition(float* pX, float* pY, float* pZ, KR_LightBase* pLight,
                                                   double fTime)
{
    if (pLight != nullptr)
        StoreThree(pLight->GetLightTarget(fTime), pX, pY, pZ);
}

void KG_EditorCalculations::SetLightTargetPosition(KR_LightBase* pLight, float fX, float fY, float fZ)
{
    if (pLight != nullptr)
        pLight->SetTarget(XMFLOAT3(fX, fY, fZ));
}

void KG_EditorCalculations::GetCubeMapPlacerPosition(float* pX, float* pY, float* pZ,
                                                     KR_CubeMapPlacer* pPlacer, double fTime)
{
    if (pPlacer != nullptr)
        StoreThree(pPlacer->GetPosition(fTime), pX, pY, pZ);
}

void KG_EditorCalculations::SetCubeMapPlacerPosition(KR_CubeMapPlacer* pPlacer, float fX, float fY, float fZ)
{
    if (pPlacer != nullptr)
        pPlacer->SetPosition(XMVectorSet(fX, fY, fZ, 1.0f));
}

bool KG_EditorCalculations::AddChunkToScene(KR_Scene* pScene, const char* pChunkFile)
{
    if (pScene == nullptr || pChunkFile == nullptr || *pChunkFile == '\0')
        return false;
    const KB_String sCurvePath = KU_FileUtilities::ReplaceExtension(
        KB_String::Formatted("%s%s%s%s%s", "Assets/Entities/", pScene->GetSceneName().GetBuffer(),
                             "/Interpolations/", pScene->GetChunkInterpolationsPath().GetBuffer(),
                             pChunkFile),
        "int");
    KB_LinearInterpolation* pCurve = new KB_LinearInterpolation(sCurvePath);
    pCurve->InsertVertex(XMVectorSet(1.0f, 0.0f, 0.0f, 0.0f), 0.0);
    pCurve->SetStartTime(pScene->GetStartTime());
    pCurve->SetEndTime(pScene->GetEndTime());
    pScene->GetChunkInterpolations().Add(pCurve);
    pCurve->Save();

    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    // The model arrays stay parallel to the curves: no resource manager gives a null model.
    KR_ModelResource* pModel = nullptr;
    if (pResources != nullptr)
        pModel =
            pResources->GetModelResource(KB_String::Formatted("Assets/Models/World/%s", pChunkFile), 1, 1, 0);
    pScene->GetChunkModels().Add(pModel);
    return true;
}

KU_VertexInterpolation* KG_EditorCalculations::RemoveChunkFromScene(KR_Scene* pScene, std::uint32_t uiIndex)
{
    if (pScene == nullptr || uiIndex >= pScene->GetChunkInterpolations().GetNumMembers())
        return nullptr;
    KU_VertexInterpolation* pCurve = pScene->GetChunkInterpolations()[uiIndex];
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles != nullptr && pCurve != nullptr)
        pFiles->RemoveFile(pCurve->GetFilePath());
    pScene->GetChunkInterpolations().Remove(uiIndex);
    if (uiIndex < pScene->GetChunkModels().GetNumMembers())
        pScene->GetChunkModels().Remove(uiIndex);
    return pCurve;
}
