#include "timing/KU_ConstantValueInterpolation.h"

#include <cmath>

using namespace DirectX;

KU_ConstantValueInterpolation::KU_ConstantValueInterpolation(const KB_String& sFilePath)
    : KU_VertexInterpolation(sFilePath)
{
    m_sTypeName = KB_String("ConstantValueInterpolation");
}

KU_ConstantValueInterpolation::KU_ConstantValueInterpolation()
{
    m_sTypeName = KB_String("ConstantValueInterpolation");
}

void* KU_ConstantValueInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    const std::uint32_t uiNumKeys = GetNumKeys();
    if (uiNumKeys == 0 || fLocalTime < 0.0 || std::isnan(fLocalTime))
    {
        *pValue = XMVectorZero();
        return pOut;
    }
    const std::uint32_t uiLeading = CountLeadingStamps(fLocalTime, uiNumKeys);
    *pValue = m_gVertices[uiLeading == 0 ? 0 : uiLeading - 1];
    return pOut;
}
