#include "timing/KU_VertexInterpolation.h"

#include "framework/app/KE_EngineMembers.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationFile.h"
#include "timing/KU_InterpolationManager.h"

using namespace DirectX;

namespace
{

// The kinds a curve can be created as, made with sFilePath; null for any other name.
KU_VertexInterpolation* NewCreatableKind(const KB_String& sTypeName, const KB_String& sFilePath)
{
    if (sTypeName == KB_String("LinearInterpolation"))
        return new KB_LinearInterpolation(sFilePath);
    if (sTypeName == KB_String("TrigonometryInterpolation"))
        return new KB_TrigonometryInterpolation(sFilePath);
    if (sTypeName == KB_String("CubicBSplineInterpolation"))
        return new KB_CubicBSplineInterpolation(sFilePath);
    if (sTypeName == KB_String("AnimationTriggerInterpolation"))
        return new KB_AnimationTriggerInterpolation(sFilePath);
    return nullptr;
}

} // namespace

KU_VertexInterpolation::KU_VertexInterpolation(const KB_String& sFilePath) : KU_Interpolation(sFilePath)
{
    if (KU_InterpolationManager* pRegistry = KE_GetInterpolationManager())
        pRegistry->RegisterInterpolation(sFilePath, this);
}

KU_VertexInterpolation::KU_VertexInterpolation() : m_bDerivedDataValid(true)
{
}

KU_VertexInterpolation::~KU_VertexInterpolation()
{
    if (KU_InterpolationManager* pRegistry = KE_GetInterpolationManager())
        pRegistry->UnregisterInterpolation(this);
}

void KU_VertexInterpolation::SetFilePath(const KB_String& sFilePath)
{
    if (KU_InterpolationManager* pRegistry = KE_GetInterpolationManager())
        pRegistry->RenameInterpolation(this, sFilePath);
    m_sFilePath = sFilePath;
}

bool KU_VertexInterpolation::Save()
{
    KU_InterpolationFile::Contents contents;
    StoreFileHeader(&contents);
    if (const KB_TrigonometryInterpolation* pEased = dynamic_cast<const KB_TrigonometryInterpolation*>(this))
        contents.uiMode = pEased->GetMode();
    contents.gVectors = m_gVertices;
    return KU_InterpolationFile::Write(m_sFilePath, KU_InterpolationFile::ValueKind::Vertex, contents);
}

bool KU_VertexInterpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                       std::uint64_t* pWritten) const
{
    return SerializeKeys(m_gVertices, ppCursor, uiCapacity, pWritten);
}

bool KU_VertexInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (!DeserializeKeys(m_gVertices, ppCursor, pEnd))
        return false;
    m_bDerivedDataValid = true;
    if (KU_InterpolationManager* pRegistry = KE_GetInterpolationManager())
    {
        pRegistry->RenameInterpolation(this, m_sFilePath);
        pRegistry->RegisterInterpolation(m_sFilePath, this);
    }
    return true;
}

std::uint32_t KU_VertexInterpolation::InsertVertex(const XMVECTOR& vValue, double fLocalTime)
{
    return InsertKey(m_gVertices, vValue, fLocalTime);
}

std::uint32_t KU_VertexInterpolation::SetVertexTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    return MoveKey(m_gVertices, uiIndex, fLocalTime);
}

void KU_VertexInterpolation::SetVertex(std::uint32_t uiIndex, const XMVECTOR& vValue)
{
    ReplaceKeyValue(m_gVertices, uiIndex, vValue);
}

void KU_VertexInterpolation::RemoveVertex(std::uint32_t uiIndex)
{
    RemoveKey(m_gVertices, uiIndex);
}

void KU_VertexInterpolation::SetChanged()
{
    MarkKeysChanged();
}

void KU_VertexInterpolation::InsertVertexInterpolationTemplate(const KU_VertexInterpolation* pTemplate,
                                                               double fTimeOffset)
{
    if (!pTemplate)
        return;
    const KB_GrowingArray<XMVECTOR> gValues(pTemplate->m_gVertices);
    const KB_GrowingArray<double> gStamps(pTemplate->m_gTimeStamps);
    const std::uint32_t uiCount = pTemplate->GetNumKeys();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        InsertVertex(gValues[i], gStamps[i] + fTimeOffset);
}

XMVECTOR KU_VertexInterpolation::GetVertex(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gVertices.GetNumMembers())
        return XMVectorZero();
    return m_gVertices[uiIndex];
}

std::uint32_t KU_VertexInterpolation::GetNumVertices() const
{
    return m_gVertices.GetNumMembers();
}

bool KU_VertexInterpolation::IsDerivedDataValid() const
{
    return m_bDerivedDataValid;
}

XMVECTOR* KU_VertexInterpolation::GetValueAtAbsoluteTime(XMVECTOR* pOut, double fTime)
{
    GetValueAt(pOut, fTime - GetStartTime());
    return pOut;
}

XMVECTOR* KU_VertexInterpolation::GetDirection(XMVECTOR* pOut, double fLocalTime)
{
    *pOut = XMVector3Normalize(GetCentralDifference(fLocalTime));
    return pOut;
}

XMVECTOR* KU_VertexInterpolation::GetDirectionAtAbsoluteTime(XMVECTOR* pOut, double fTime)
{
    return GetDirection(pOut, fTime - GetStartTime());
}

XMVECTOR* KU_VertexInterpolation::GetVelocity(XMVECTOR* pOut, double fLocalTime)
{
    *pOut = XMVectorScale(GetCentralDifference(fLocalTime), 100.0f);
    return pOut;
}

XMVECTOR* KU_VertexInterpolation::GetVelocityAtAbsoluteTime(XMVECTOR* pOut, double fTime)
{
    return GetVelocity(pOut, fTime - GetStartTime());
}

KU_VertexInterpolation* KU_VertexInterpolation::CreateVertexInterpolation(const KB_String& sTypeName,
                                                                          const KB_String& sFilePath)
{
    KU_VertexInterpolation* pCurve = NewCreatableKind(sTypeName, sFilePath);
    if (!pCurve)
        return nullptr;
    pCurve->m_sTypeName = sTypeName;
    pCurve->MarkKeysChanged();
    return pCurve;
}

KU_VertexInterpolation* KU_VertexInterpolation::LoadVertexInterpolation(const KB_String& sFilePath)
{
    KU_InterpolationFile::Contents contents;
    if (!KU_InterpolationFile::Read(sFilePath, KU_InterpolationFile::ValueKind::Vertex, &contents))
        return nullptr;
    const KB_String& sTypeName = contents.sTypeName;
    KU_VertexInterpolation* pCurve = NewCreatableKind(sTypeName, sFilePath);
    if (!pCurve && sTypeName == KB_String("ConstantValueInterpolation"))
        pCurve = new KU_ConstantValueInterpolation(sFilePath);
    if (!pCurve)
        return nullptr;
    if (KB_TrigonometryInterpolation* pEased = dynamic_cast<KB_TrigonometryInterpolation*>(pCurve))
        pEased->SetMode(contents.uiMode);
    pCurve->m_gVertices = contents.gVectors;
    pCurve->ApplyFileHeader(contents);
    pCurve->MarkKeysChanged();
    // A spline's tangents are built while loading, not by the first frame that reads the curve.
    if (KB_CubicBSplineInterpolation* pSpline = dynamic_cast<KB_CubicBSplineInterpolation*>(pCurve))
        pSpline->BuildDerivates();
    return pCurve;
}

std::uint32_t KU_VertexInterpolation::GetNumKeys() const
{
    return CountKeys(m_gVertices);
}

XMVECTOR KU_VertexInterpolation::GetCentralDifference(double fLocalTime)
{
    XMVECTOR vAhead;
    XMVECTOR vBehind;
    GetValueAt(&vAhead, fLocalTime + DIFFERENCE_STEP);
    GetValueAt(&vBehind, fLocalTime - DIFFERENCE_STEP);
    return XMVectorSubtract(vAhead, vBehind);
}

void KU_VertexInterpolation::MarkKeysChanged()
{
    m_bChanged = true;
    m_bDerivedDataValid = false;
}

XMVECTOR KU_VertexInterpolation::LinearBlend(const XMVECTOR& vFrom, const XMVECTOR& vTo, double fU)
{
    const float fWeightFrom = static_cast<float>(1.0 - fU);
    const float fWeightTo = static_cast<float>(fU);
    return XMVectorAdd(XMVectorScale(vFrom, fWeightFrom), XMVectorScale(vTo, fWeightTo));
}
