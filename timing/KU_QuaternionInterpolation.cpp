#include "timing/KU_QuaternionInterpolation.h"

#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_InterpolationFile.h"

using namespace DirectX;

KU_QuaternionInterpolation::KU_QuaternionInterpolation(const KB_String& sFilePath)
    : KU_Interpolation(sFilePath)
{
}

KU_QuaternionInterpolation::KU_QuaternionInterpolation() = default;

void KU_QuaternionInterpolation::SetFilePath(const KB_String& sFilePath)
{
    m_sFilePath = sFilePath;
}

bool KU_QuaternionInterpolation::Save()
{
    KU_InterpolationFile::Contents contents;
    StoreFileHeader(&contents);
    contents.gVectors = m_gQuaternions;
    return KU_InterpolationFile::Write(m_sFilePath, KU_InterpolationFile::ValueKind::Quaternion, contents);
}

bool KU_QuaternionInterpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                           std::uint64_t* pWritten) const
{
    return SerializeKeys(m_gQuaternions, ppCursor, uiCapacity, pWritten);
}

bool KU_QuaternionInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (!DeserializeKeys(m_gQuaternions, ppCursor, pEnd))
        return false;
    m_bChanged = false;
    return true;
}

std::uint32_t KU_QuaternionInterpolation::InsertQuaternion(const XMVECTOR& qValue, double fLocalTime)
{
    return InsertKey(m_gQuaternions, XMVector4Normalize(qValue), fLocalTime);
}

std::uint32_t KU_QuaternionInterpolation::SetQuaternionTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    return MoveKey(m_gQuaternions, uiIndex, fLocalTime);
}

void KU_QuaternionInterpolation::SetQuaternion(std::uint32_t uiIndex, const XMVECTOR& qValue)
{
    ReplaceKeyValue(m_gQuaternions, uiIndex, XMVector4Normalize(qValue));
}

std::uint32_t KU_QuaternionInterpolation::GetNumQuaternions() const
{
    return m_gQuaternions.GetNumMembers();
}

XMVECTOR* KU_QuaternionInterpolation::GetValueAtAbsoluteTime(XMVECTOR* pOut, double fTime)
{
    GetValueAt(pOut, fTime - GetStartTime());
    return pOut;
}

KU_QuaternionInterpolation*
KU_QuaternionInterpolation::LoadQuaternionInterpolation(const KB_String& sFilePath)
{
    KU_InterpolationFile::Contents contents;
    if (!KU_InterpolationFile::Read(sFilePath, KU_InterpolationFile::ValueKind::Quaternion, &contents))
        return nullptr;
    if (!(contents.sTypeName == KB_String("RotationInterpolation")))
        return nullptr;
    KU_QuaternionInterpolation* pCurve = new KB_RotationInterpolation(sFilePath);
    pCurve->m_gQuaternions = contents.gVectors;
    pCurve->ApplyFileHeader(contents);
    return pCurve;
}

std::uint32_t KU_QuaternionInterpolation::GetNumKeys() const
{
    return CountKeys(m_gQuaternions);
}
