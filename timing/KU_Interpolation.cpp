#include "timing/KU_Interpolation.h"

#include <cmath>

KU_Interpolation::KU_Interpolation(const KB_String& sFilePath) : m_sFilePath(sFilePath)
{
}

KB_String KU_Interpolation::GetTypeName() const
{
    return m_sTypeName;
}

bool KU_Interpolation::HasChanged(bool bReset)
{
    const bool bChanged = m_bChanged;
    if (bReset)
        m_bChanged = false;
    return bChanged;
}

void KU_Interpolation::NormalizeTimeStamps()
{
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    if (uiCount == 0)
    {
        SetStartTime(0.0);
        SetEndTime(0.0);
        return;
    }
    const double fFirst = m_gTimeStamps[0];
    const double fLast = m_gTimeStamps[uiCount - 1];
    SetStartTime(fFirst);
    SetEndTime(fLast);
    const double fStart = GetStartTime();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_gTimeStamps[i] -= fStart;
}

std::uint32_t KU_Interpolation::GetNumTimeStamps() const
{
    return m_gTimeStamps.GetNumMembers();
}

double KU_Interpolation::GetTimeStamp(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gTimeStamps.GetNumMembers())
        return 0.0;
    return m_gTimeStamps[uiIndex];
}

double KU_Interpolation::GetAbsoluteTimeStamp(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gTimeStamps.GetNumMembers())
        return GetStartTime();
    return GetStartTime() + m_gTimeStamps[uiIndex];
}

KB_String KU_Interpolation::GetDebugName() const
{
    return m_sDebugName;
}

void KU_Interpolation::SetDebugName(const KB_String& sDebugName)
{
    m_sDebugName = sDebugName;
}

const KB_String& KU_Interpolation::GetFilePath() const
{
    return m_sFilePath;
}

void KU_Interpolation::ScaleTimeStamps(double fFactor)
{
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_gTimeStamps[i] *= fFactor;
}

std::uint32_t KU_Interpolation::FindNearestStamp(double fLocalTime, std::uint32_t uiCount) const
{
    std::uint32_t uiBest = 0;
    if (uiCount == 0)
        return uiBest;
    double fBestDistance = std::fabs(m_gTimeStamps[0] - fLocalTime);
    for (std::uint32_t i = 1; i < uiCount; ++i)
    {
        const double fDistance = std::fabs(m_gTimeStamps[i] - fLocalTime);
        if (fDistance < fBestDistance)
        {
            fBestDistance = fDistance;
            uiBest = i;
        }
    }
    return uiBest;
}

std::uint32_t KU_Interpolation::CountLeadingStamps(double fLocalTime, std::uint32_t uiCount,
                                                   std::uint32_t uiSkip) const
{
    std::uint32_t uiLeading = 0;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        if (i == uiSkip)
            continue;
        if (!(m_gTimeStamps[i] <= fLocalTime))
            break;
        ++uiLeading;
    }
    return uiLeading;
}

KU_Interpolation::KeySpan KU_Interpolation::LocateKeys(double fLocalTime, std::uint32_t uiNumValues) const
{
    const KeySpan first = {0, 0, 0.0, false};
    const KeySpan last = {uiNumValues - 1, uiNumValues - 1, 0.0, false};
    if (fLocalTime < 0.0 || std::isnan(fLocalTime))
        return first;
    if (fLocalTime >= GetDuration())
        return last;
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    if (uiNumStamps == 0)
        return last;
    const std::uint32_t uiCount = uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
    const std::uint32_t uiTo = CountLeadingStamps(fLocalTime, uiCount);
    if (uiTo == uiCount)
        return last;
    if (uiTo == 0)
        return first;
    const std::uint32_t uiFrom = uiTo - 1;
    return {uiFrom, uiTo, SegmentFraction(fLocalTime, m_gTimeStamps[uiFrom], m_gTimeStamps[uiTo]), true};
}

double KU_Interpolation::SegmentFraction(double fLocalTime, double fStamp0, double fStamp1)
{
    const double fSpan = fStamp1 - fStamp0;
    double fU = 1.0;
    if (!(fSpan == 0.0 || std::isnan(fSpan)))
        fU = (fLocalTime - fStamp0) / fSpan;
    if (std::isnan(fU) || fU < 0.0)
        return 0.0;
    if (fU > 1.0)
        return 1.0;
    return fU;
}
