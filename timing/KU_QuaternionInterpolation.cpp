#include "timing/KU_QuaternionInterpolation.h"

using namespace DirectX;

KU_QuaternionInterpolation::KU_QuaternionInterpolation(const KB_String& sFilePath)
    : KU_Interpolation(sFilePath)
{
}

KU_QuaternionInterpolation::KU_QuaternionInterpolation() = default;

std::uint32_t KU_QuaternionInterpolation::GetNearestKeyIndex(double fTime) const
{
    return FindNearestStamp(fTime - GetStartTime(), m_gTimeStamps.GetNumMembers());
}

void KU_QuaternionInterpolation::SetFilePath(const KB_String& sFilePath)
{
    m_sFilePath = sFilePath;
}

bool KU_QuaternionInterpolation::Save()
{
    // No text writer for curves exists in this library yet.
    return false;
}

std::uint32_t KU_QuaternionInterpolation::InsertQuaternion(const XMVECTOR& qValue, double fLocalTime)
{
    const XMVECTOR qUnit = XMVector4Normalize(qValue);
    const std::uint32_t uiIndex = CountLeadingStamps(fLocalTime, GetNumKeys());
    m_gQuaternions.Insert(uiIndex, qUnit);
    m_gTimeStamps.Insert(uiIndex, fLocalTime);
    m_bChanged = true;
    return uiIndex;
}

std::uint32_t KU_QuaternionInterpolation::SetQuaternionTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    const std::uint32_t uiNumKeys = GetNumKeys();
    if (uiIndex >= uiNumKeys)
        return uiIndex;
    const std::uint32_t uiNewIndex = CountLeadingStamps(fLocalTime, uiNumKeys, uiIndex);
    m_bChanged = true;
    if (uiNewIndex == uiIndex)
    {
        m_gTimeStamps[uiIndex] = fLocalTime;
        return uiIndex;
    }
    const XMVECTOR qValue = m_gQuaternions[uiIndex];
    m_gQuaternions.Remove(uiIndex, false);
    m_gTimeStamps.Remove(uiIndex, false);
    m_gQuaternions.Insert(uiNewIndex, qValue);
    m_gTimeStamps.Insert(uiNewIndex, fLocalTime);
    return uiNewIndex;
}

void KU_QuaternionInterpolation::SetQuaternion(std::uint32_t uiIndex, const XMVECTOR& qValue)
{
    if (uiIndex >= m_gQuaternions.GetNumMembers())
        return;
    m_gQuaternions[uiIndex] = XMVector4Normalize(qValue);
    m_bChanged = true;
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

std::uint32_t KU_QuaternionInterpolation::GetNumKeys() const
{
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    const std::uint32_t uiNumValues = m_gQuaternions.GetNumMembers();
    return uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
}
