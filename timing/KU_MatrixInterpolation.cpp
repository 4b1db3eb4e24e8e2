#include "timing/KU_MatrixInterpolation.h"

#include "timing/KB_LinearMatrixInterpolation.h"

using namespace DirectX;

KU_MatrixInterpolation::KU_MatrixInterpolation(const KB_String& sFilePath) : KU_Interpolation(sFilePath)
{
}

KU_MatrixInterpolation::KU_MatrixInterpolation() = default;

std::uint32_t KU_MatrixInterpolation::GetNearestKeyIndex(double fTime) const
{
    return FindNearestStamp(fTime - GetStartTime(), m_gTimeStamps.GetNumMembers());
}

void KU_MatrixInterpolation::SetFilePath(const KB_String& sFilePath)
{
    m_sFilePath = sFilePath;
}

bool KU_MatrixInterpolation::Save()
{
    // No text writer for curves exists in this library yet.
    return false;
}

std::uint32_t KU_MatrixInterpolation::InsertMatrix(const XMMATRIX& mValue, double fLocalTime)
{
    const XMMATRIX mCopy = mValue; // mValue may live in this curve's own array
    const std::uint32_t uiIndex = CountLeadingStamps(fLocalTime, GetNumKeys());
    m_gMatrices.Insert(uiIndex, mCopy);
    m_gTimeStamps.Insert(uiIndex, fLocalTime);
    MarkKeysChanged();
    return uiIndex;
}

std::uint32_t KU_MatrixInterpolation::SetMatrixTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    const std::uint32_t uiNumKeys = GetNumKeys();
    if (uiIndex >= uiNumKeys)
        return uiIndex;
    const std::uint32_t uiNewIndex = CountLeadingStamps(fLocalTime, uiNumKeys, uiIndex);
    MarkKeysChanged();
    if (uiNewIndex == uiIndex)
    {
        m_gTimeStamps[uiIndex] = fLocalTime;
        return uiIndex;
    }
    const XMMATRIX mValue = m_gMatrices[uiIndex];
    m_gMatrices.Remove(uiIndex, false);
    m_gTimeStamps.Remove(uiIndex, false);
    m_gMatrices.Insert(uiNewIndex, mValue);
    m_gTimeStamps.Insert(uiNewIndex, fLocalTime);
    return uiNewIndex;
}

void KU_MatrixInterpolation::SetMatrix(std::uint32_t uiIndex, const XMMATRIX& mValue)
{
    if (uiIndex >= m_gMatrices.GetNumMembers())
        return;
    m_gMatrices[uiIndex] = mValue;
    MarkKeysChanged();
}

void KU_MatrixInterpolation::RemoveMatrix(std::uint32_t uiIndex)
{
    if (uiIndex >= GetNumKeys())
        return;
    m_gMatrices.Remove(uiIndex);
    m_gTimeStamps.Remove(uiIndex);
    MarkKeysChanged();
}

XMMATRIX KU_MatrixInterpolation::GetMatrix(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gMatrices.GetNumMembers())
        return XMMatrixIdentity();
    return m_gMatrices[uiIndex];
}

std::uint32_t KU_MatrixInterpolation::GetNumMatrices() const
{
    return m_gMatrices.GetNumMembers();
}

bool KU_MatrixInterpolation::IsDerivedDataValid() const
{
    return m_bDerivedDataValid;
}

XMMATRIX* KU_MatrixInterpolation::GetValueAtAbsoluteTime(XMMATRIX* pOut, double fTime)
{
    GetValueAt(pOut, fTime - GetStartTime());
    return pOut;
}

KU_MatrixInterpolation* KU_MatrixInterpolation::CreateMatrixInterpolation(const KB_String& sTypeName,
                                                                          const KB_String& sFilePath)
{
    if (!(sTypeName == KB_String("LinearMatrixInterpolation")))
        return nullptr;
    KU_MatrixInterpolation* pCurve = new KB_LinearMatrixInterpolation(sFilePath);
    pCurve->m_sTypeName = sTypeName;
    pCurve->MarkKeysChanged();
    return pCurve;
}

std::uint32_t KU_MatrixInterpolation::GetNumKeys() const
{
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    const std::uint32_t uiNumValues = m_gMatrices.GetNumMembers();
    return uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
}

void KU_MatrixInterpolation::MarkKeysChanged()
{
    m_bChanged = true;
    m_bDerivedDataValid = false;
}

namespace
{

XMMATRIX MakeFrame(const XMVECTOR& vRow0, const XMVECTOR& vRow1, const XMVECTOR& vRow2,
                   const XMVECTOR& vPosition)
{
    XMMATRIX mFrame;
    mFrame.r[0] = XMVectorSetW(vRow0, 0.0f);
    mFrame.r[1] = XMVectorSetW(vRow1, 0.0f);
    mFrame.r[2] = XMVectorSetW(vRow2, 0.0f);
    mFrame.r[3] = XMVectorSetW(vPosition, 1.0f);
    return mFrame;
}

} // namespace

XMMATRIX KU_CreateLookAtFrame(const XMVECTOR& vPosition, const XMVECTOR& vTarget, const XMVECTOR& vUp)
{
    const XMVECTOR vForward = XMVector3Normalize(XMVectorSubtract(vTarget, vPosition));
    const XMVECTOR vRight = XMVector3Normalize(XMVector3Cross(vUp, vForward));
    const XMVECTOR vFrameUp = XMVector3Cross(vForward, vRight);
    return MakeFrame(vRight, vFrameUp, vForward, vPosition);
}

XMMATRIX KU_CreateUpLockedFrame(const XMVECTOR& vPosition, const XMVECTOR& vTarget, const XMVECTOR& vUp)
{
    const XMVECTOR vForward = XMVector3Normalize(XMVectorSubtract(vTarget, vPosition));
    const XMVECTOR vRight = XMVector3Normalize(XMVector3Cross(vUp, vForward));
    const XMVECTOR vZ = XMVector3Normalize(XMVector3Cross(vRight, vUp));
    return MakeFrame(vRight, vUp, vZ, vPosition);
}
