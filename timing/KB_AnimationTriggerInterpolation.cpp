#include "timing/KB_AnimationTriggerInterpolation.h"

#include <algorithm>
#include <cmath>

using namespace DirectX;

KB_AnimationTriggerInterpolation::KB_AnimationTriggerInterpolation(const KB_String& sFilePath)
    : KU_VertexInterpolation(sFilePath)
{
    m_sTypeName = KB_String("AnimationTriggerInterpolation");
}

void* KB_AnimationTriggerInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    *pValue = XMVectorZero();
    if (uiNumStamps == 0)
        return pOut;

    // The last stamp before the time (0 when none is).
    std::uint32_t uiPassed = 0;
    if (AreTimeStampsSorted())
    {
        // The stamps before the time are a prefix (none for NaN time).
        const double* pStamps = &m_gTimeStamps[0];
        const auto uiBefore = static_cast<std::uint32_t>(
            std::lower_bound(pStamps, pStamps + uiNumStamps, fLocalTime) - pStamps);
        if (uiBefore != 0 && !std::isnan(fLocalTime))
            uiPassed = uiBefore - 1;
    }
    else
    {
        for (std::uint32_t i = 0; i < uiNumStamps; ++i)
            if (m_gTimeStamps[i] < fLocalTime)
                uiPassed = i;
    }
    const double fPassedStamp = m_gTimeStamps[uiPassed];
    if (!(fPassedStamp < fLocalTime)) // no stamp lies before the time (also for NaN)
        return pOut;

    const double fSince = fLocalTime - fPassedStamp;
    float fFraction = 0.0f;
    if (uiPassed + 1 < uiNumStamps)
    {
        const double fGap = m_gTimeStamps[uiPassed + 1] - fPassedStamp;
        if (fGap > 0.0)
            fFraction = static_cast<float>(fSince / fGap);
    }
    *pValue = XMVectorSet(static_cast<float>(fSince), static_cast<float>(uiPassed), fFraction, 0.0f);
    return pOut;
}
