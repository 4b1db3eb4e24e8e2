#include "timing/KU_MatrixInterpolation.h"

#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KU_InterpolationFile.h"

using namespace DirectX;

KU_MatrixInterpolation::KU_MatrixInterpolation(const KB_String& sFilePath) : KU_Interpolation(sFilePath)
{
}

KU_MatrixInterpolation::KU_MatrixInterpolation() = default;

void KU_MatrixInterpolation::SetFilePath(const KB_String& sFilePath)
{
    m_sFilePath = sFilePath;
}

bool KU_MatrixInterpolation::Save()
{
    KU_InterpolationFile::Contents contents;
    StoreFileHeader(&contents);
    contents.gMatrices = m_gMatrices;
    return KU_InterpolationFile::Write(m_sFilePath, KU_InterpolationFile::ValueKind::Matrix, contents);
}

bool KU_MatrixInterpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                       std::uint64_t* pWritten) const
{
    return SerializeKeys(m_gMatrices, ppCursor, uiCapacity, pWritten);
}

bool KU_MatrixInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (!DeserializeKeys(m_gMatrices, ppCursor, pEnd))
        return false;
    m_bDerivedDataValid = true;
    return true;
}

std::uint32_t KU_MatrixInterpolation::InsertMatrix(const XMMATRIX& mValue, double fLocalTime)
{
    return InsertKey(m_gMatrices, mValue, fLocalTime);
}

std::uint32_t KU_MatrixInterpolation::SetMatrixTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    return MoveKey(m_gMatrices, uiIndex, fLocalTime);
}

void KU_MatrixInterpolation::SetMatrix(std::uint32_t uiIndex, const XMMATRIX& mValue)
{
    ReplaceKeyValue(m_gMatrices, uiIndex, mValue);
}

void KU_MatrixInterpolation::RemoveMatrix(std::uint32_t uiIndex)
{
    RemoveKey(m_gMatrices, uiIndex);
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

KU_MatrixInterpolation* KU_MatrixInterpolation::LoadMatrixInterpolation(const KB_String& sFilePath)
{
    KU_InterpolationFile::Contents contents;
    if (!KU_InterpolationFile::Read(sFilePath, KU_InterpolationFile::ValueKind::Matrix, &contents))
        return nullptr;
    if (!(contents.sTypeName == KB_String("LinearMatrixInterpolation")))
        return nullptr;
    KU_MatrixInterpolation* pCurve = new KB_LinearMatrixInterpolation(sFilePath);
    pCurve->m_gMatrices = contents.gMatrices;
    pCurve->ApplyFileHeader(contents);
    pCurve->MarkKeysChanged();
    return pCurve;
}

std::uint32_t KU_MatrixInterpolation::GetNumKeys() const
{
    return CountKeys(m_gMatrices);
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
