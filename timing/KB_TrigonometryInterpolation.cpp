#include "timing/KB_TrigonometryInterpolation.h"

#include <cmath>

using namespace DirectX;

namespace
{

constexpr double PI = 3.141592653589793;

} // namespace

KB_TrigonometryInterpolation::KB_TrigonometryInterpolation(const KB_String& sFilePath)
    : KU_VertexInterpolation(sFilePath)
{
    m_sTypeName = KB_String("TrigonometryInterpolation");
}

void KB_TrigonometryInterpolation::SetMode(std::uint32_t uiMode)
{
    m_uiMode = uiMode;
}

std::uint32_t KB_TrigonometryInterpolation::GetMode() const
{
    return m_uiMode;
}

void* KB_TrigonometryInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    KeySpan span;
    if (!FindBlendKeys(m_gVertices, XMVectorZero(), fLocalTime, pValue, &span))
        return pOut;

    // Eased weight: 0 at u = 0, 1 at u = 1, zero slope at both ends.
    const float fEased = static_cast<float>(std::cos((span.fU + 1.0) * PI) + 1.0) * 0.5f;
    const float fLinear = static_cast<float>(span.fU);
    float afTo[3] = {fLinear, fLinear, fLinear};
    if (m_uiMode <= 2)
        afTo[m_uiMode] = fEased;
    else
        afTo[0] = afTo[1] = afTo[2] = fEased;
    const XMVECTOR vWeightFrom = XMVectorSet(1.0f - afTo[0], 1.0f - afTo[1], 1.0f - afTo[2], 0.0f);
    const XMVECTOR vWeightTo = XMVectorSet(afTo[0], afTo[1], afTo[2], 0.0f);
    *pValue = XMVectorAdd(XMVectorMultiply(vWeightFrom, m_gVertices[span.uiFrom]),
                          XMVectorMultiply(vWeightTo, m_gVertices[span.uiTo]));
    *pValue = XMVectorSetW(*pValue, 0.0f); // zero weights, but an infinite w in a key gives NaN
    return pOut;
}
