#include "timing/KB_LinearMatrixInterpolation.h"

using namespace DirectX;

KB_LinearMatrixInterpolation::KB_LinearMatrixInterpolation(const KB_String& sFilePath)
    : KU_MatrixInterpolation(sFilePath)
{
    m_sTypeName = KB_String("LinearMatrixInterpolation");
}

KB_LinearMatrixInterpolation::KB_LinearMatrixInterpolation()
{
    m_sTypeName = KB_String("LinearMatrixInterpolation");
}

void* KB_LinearMatrixInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMMATRIX* pValue = static_cast<XMMATRIX*>(pOut);
    KeySpan span;
    if (!FindBlendKeys(m_gMatrices, XMMatrixIdentity(), fLocalTime, pValue, &span))
        return pOut;
    const float fWeightFrom = static_cast<float>(1.0 - span.fU);
    const float fWeightTo = static_cast<float>(span.fU);
    const XMMATRIX& mFrom = m_gMatrices[span.uiFrom];
    const XMMATRIX& mTo = m_gMatrices[span.uiTo];
    XMMATRIX mResult;
    for (int r = 0; r < 4; ++r)
        mResult.r[r] =
            XMVectorAdd(XMVectorScale(mFrom.r[r], fWeightFrom), XMVectorScale(mTo.r[r], fWeightTo));
    *pValue = mResult;
    return pOut;
}
