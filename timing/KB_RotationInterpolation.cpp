#include "timing/KB_RotationInterpolation.h"

using namespace DirectX;

KB_RotationInterpolation::KB_RotationInterpolation(const KB_String& sFilePath)
    : KU_QuaternionInterpolation(sFilePath)
{
    m_sTypeName = KB_String("RotationInterpolation");
}

KB_RotationInterpolation::KB_RotationInterpolation()
{
    m_sTypeName = KB_String("RotationInterpolation");
}

void* KB_RotationInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    KeySpan span;
    if (!FindBlendKeys(m_gQuaternions, XMQuaternionIdentity(), fLocalTime, pValue, &span))
        return pOut;

    const std::uint32_t uiNumValues = m_gQuaternions.GetNumMembers();
    const std::uint32_t i = span.uiFrom;
    const std::uint32_t j = span.uiTo;
    const XMVECTOR q0 = m_gQuaternions[i == 0 ? 0 : i - 1];
    const XMVECTOR q1 = m_gQuaternions[i];
    const XMVECTOR q2 = m_gQuaternions[j];
    const XMVECTOR q3 = m_gQuaternions[j < uiNumValues - 1 ? j + 1 : j];
    XMVECTOR qA;
    XMVECTOR qB;
    XMVECTOR qC;
    XMQuaternionSquadSetup(&qA, &qB, &qC, q0, q1, q2, q3);
    *pValue = XMQuaternionSquad(q1, qA, qB, qC, static_cast<float>(span.fU));
    return pOut;
}
