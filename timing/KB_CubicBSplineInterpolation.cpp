#include "timing/KB_CubicBSplineInterpolation.h"

#include <cmath>
#include <vector>

using namespace DirectX;

namespace
{

constexpr std::uint32_t NONE = 0xFFFFFFFFu;

} // namespace

KB_CubicBSplineInterpolation::KB_CubicBSplineInterpolation(const KB_String& sFilePath)
    : KU_VertexInterpolation(sFilePath)
{
    m_sTypeName = KB_String("CubicBSplineInterpolation");
}

KB_CubicBSplineInterpolation::~KB_CubicBSplineInterpolation()
{
    FreeDerivates();
}

void* KB_CubicBSplineInterpolation::GetValueAt(void* pOut, double fLocalTime)
{
    XMVECTOR* pValue = static_cast<XMVECTOR*>(pOut);
    const std::uint32_t uiNumValues = m_gVertices.GetNumMembers();
    if (uiNumValues == 0)
    {
        *pValue = XMVectorZero();
        return pOut;
    }
    if (fLocalTime <= 0.0 || std::isnan(fLocalTime))
    {
        *pValue = m_gVertices[0];
        return pOut;
    }
    if (fLocalTime >= GetDuration())
    {
        *pValue = m_gVertices[uiNumValues - 1];
        return pOut;
    }

    // The pass-through points are every key but the two handles: find the last one at or before
    // fLocalTime (uiFrom) and the one after it (uiTo).
    const std::uint32_t uiNumKeys = GetNumKeys();
    const bool bHandles = uiNumKeys >= 4;
    const auto IsHandle = [&](std::uint32_t i) { return bHandles && (i == 1 || i == uiNumKeys - 2); };
    std::uint32_t uiFrom = NONE;
    std::uint32_t uiTo = NONE;
    std::uint32_t uiSegmentEnd = 0; // number of pass-through points at or before fLocalTime
    if (AreTimeStampsSorted())
    {
        // The keys at or before fLocalTime are a prefix: the same points as the scan below finds.
        const std::uint32_t uiLeading = CountLeadingStamps(fLocalTime, uiNumKeys);
        uiSegmentEnd = uiLeading;
        if (bHandles)
            uiSegmentEnd -= (1 < uiLeading ? 1 : 0) + (uiNumKeys - 2 < uiLeading ? 1 : 0);
        if (uiSegmentEnd != 0)
        {
            uiFrom = uiLeading - 1;
            while (IsHandle(uiFrom))
                --uiFrom;
        }
        for (std::uint32_t i = uiLeading; i < uiNumKeys && uiTo == NONE; ++i)
            if (!IsHandle(i))
                uiTo = i;
    }
    else
    {
        for (std::uint32_t i = 0; i < uiNumKeys; ++i)
        {
            if (IsHandle(i))
                continue;
            if (!(m_gTimeStamps[i] <= fLocalTime))
            {
                uiTo = i;
                break;
            }
            uiFrom = i;
            ++uiSegmentEnd;
        }
    }
    if (uiTo == NONE)
    {
        *pValue = m_gVertices[uiNumValues - 1];
        return pOut;
    }
    if (uiFrom == NONE)
    {
        *pValue = m_gVertices[0];
        return pOut;
    }

    const double fU = SegmentFraction(fLocalTime, m_gTimeStamps[uiFrom], m_gTimeStamps[uiTo]);
    if (uiNumKeys < 5)
    {
        *pValue = LinearBlend(m_gVertices[uiFrom], m_gVertices[uiTo], fU);
        return pOut;
    }

    if (!m_bDerivedDataValid || !m_pDerivates || m_uiNumDerivates != uiNumKeys - 2)
        BuildDerivates();

    const XMVECTOR vP0 = m_gVertices[uiFrom];
    const XMVECTOR vP3 = m_gVertices[uiTo];
    const XMVECTOR vP1 = XMVectorAdd(vP0, m_pDerivates[uiSegmentEnd - 1]);
    const XMVECTOR vP2 = XMVectorSubtract(vP3, m_pDerivates[uiSegmentEnd]);
    const float fA = static_cast<float>(fU);
    const float fB = 1.0f - fA;
    const float fW0 = fB * fB * fB;
    const float fW1 = 3.0f * fA * fB * fB;
    const float fW2 = 3.0f * fA * fA * fB;
    const float fW3 = fA * fA * fA;
    XMVECTOR vResult = XMVectorScale(vP0, fW0);
    vResult = XMVectorAdd(vResult, XMVectorScale(vP1, fW1));
    vResult = XMVectorAdd(vResult, XMVectorScale(vP2, fW2));
    vResult = XMVectorAdd(vResult, XMVectorScale(vP3, fW3));
    *pValue = vResult;
    return pOut;
}

bool KB_CubicBSplineInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (!KU_VertexInterpolation::Deserialize(ppCursor, pEnd))
        return false;
    FreeDerivates();
    return true;
}

void KB_CubicBSplineInterpolation::BuildDerivates()
{
    FreeDerivates();
    m_bDerivedDataValid = true;
    const std::uint32_t uiNumKeys = GetNumKeys();
    if (uiNumKeys < 5)
        return;

    const std::uint32_t uiLast = uiNumKeys - 3; // index of the last tangent
    m_uiNumDerivates = uiNumKeys - 2;
    m_pDerivates = new XMVECTOR[m_uiNumDerivates];
    const KB_GrowingArray<XMVECTOR>& v = m_gVertices;
    m_pDerivates[0] = XMVectorSubtract(v[1], v[0]);
    m_pDerivates[uiLast] = XMVectorSubtract(v[uiNumKeys - 1], v[uiNumKeys - 2]);

    // Interior tangents: D[j-1] + 4 D[j] + D[j+1] = R[j] for j = 1 .. uiLast - 1, solved by a
    // forward sweep and back substitution in float. The first row's right-hand side is always
    // v[3] - v[0]; with five keys v[3] is the end handle (the curves were authored that way).
    std::vector<float> c(uiLast);
    std::vector<XMVECTOR> e(uiLast);
    for (std::uint32_t j = 1; j < uiLast; ++j)
    {
        XMVECTOR vRight;
        if (j == 1)
            vRight = XMVectorSubtract(v[3], v[0]);
        else if (j == uiNumKeys - 4)
            vRight = XMVectorSubtract(v[uiNumKeys - 1], v[uiNumKeys - 4]);
        else
            vRight = XMVectorSubtract(v[j + 2], v[j]);

        if (j == 1)
        {
            c[1] = -0.25f;
            e[1] = XMVectorScale(XMVectorSubtract(vRight, m_pDerivates[0]), 0.25f);
        }
        else
        {
            c[j] = -1.0f / (c[j - 1] + 4.0f);
            e[j] = XMVectorScale(XMVectorSubtract(vRight, e[j - 1]), -c[j]);
        }
    }
    for (std::uint32_t j = uiLast - 1; j >= 1; --j)
        m_pDerivates[j] = XMVectorAdd(XMVectorScale(m_pDerivates[j + 1], c[j]), e[j]);
}

XMVECTOR KB_CubicBSplineInterpolation::GetDerivate(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_uiNumDerivates)
        return XMVectorZero();
    return m_pDerivates[uiIndex];
}

std::uint32_t KB_CubicBSplineInterpolation::GetNumDerivates() const
{
    return m_uiNumDerivates;
}

void KB_CubicBSplineInterpolation::FreeDerivates()
{
    delete[] m_pDerivates;
    m_pDerivates = nullptr;
    m_uiNumDerivates = 0;
}
