#include "timing/KB_LinearInterpolation.h"

using namespace DirectX;

KB_LinearInterpolation::KB_LinearInterpolation(const KB_String& sFilePath) : KU_VertexInterpolation(sFilePath)
{
    m_sTypeName = KB_String("LinearInterpolation");
}

KB_LinearInterpolation::KB_LinearInterpolation()
{
    m_sTypeName = KB_String("LinearInterpolation");
}

void* KB_LinearInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    KeySpan span;
    if (FindBlendKeys(m_gVertices, XMVectorZero(), fLocalTime, pValue, &span))
        *pValue = LinearBlend(m_gVertices[span.uiFrom], m_gVertices[span.uiTo], span.fU);
    return pOut;
}
