#include "timing/KU_MatrixInterpolation.h"

#include "framework/core/KB_ByteCursor.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KU_InterpolationFile.h"

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
    KU_InterpolationFile::Contents contents;
    contents.sTypeName = m_sTypeName;
    contents.sDebugName = m_sDebugName;
    contents.fStartTime = GetStartTime();
    contents.fEndTime = GetEndTime();
    contents.gTimeStamps = m_gTimeStamps;
    contents.gMatrices = m_gMatrices;
    return KU_InterpolationFile::Write(m_sFilePath, KU_InterpolationFile::ValueKind::Matrix, contents);
}

bool KU_MatrixInterpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                       std::uint64_t* pWritten) const
{
    KB_ByteWriter writer(*ppCursor, GetRemainingCapacity(uiCapacity, *pWritten));
    WriteBaseRecord(writer);
    const std::uint32_t uiNumValues = m_gMatrices.GetNumMembers();
    writer.WriteU32(uiNumValues);
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
    {
        XMFLOAT4X4 m;
        XMStoreFloat4x4(&m, m_gMatrices[i]);
        for (int r = 0; r < 4; ++r)
        {
            for (int c = 0; c < 4; ++c)
                writer.WriteF32(m.m[r][c]);
        }
    }
    return CommitWrite(writer, ppCursor, pWritten);
}

bool KU_MatrixInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    BaseRecord record;
    if (!ReadBaseRecord(reader, &record))
        return false;
    std::uint32_t uiNumValues = 0;
    reader.ReadU32(&uiNumValues);
    if (!reader.CheckCount(uiNumValues, 16 * sizeof(float)))
        return false;

    // The values are the last field and the bytes for them are there: nothing can fail now.
    ApplyBaseRecord(record);
    m_gMatrices.RemoveAll();
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
    {
        XMFLOAT4X4 m;
        for (int r = 0; r < 4; ++r)
        {
            for (int c = 0; c < 4; ++c)
                reader.ReadF32(&m.m[r][c]);
        }
        m_gMatrices.Add(XMLoadFloat4x4(&m));
    }
    const std::uint32_t uiNumKeys = GetNumKeys();
    CutTimeStamps(uiNumKeys);
    while (m_gMatrices.GetNumMembers() > uiNumKeys)
        m_gMatrices.Remove(m_gMatrices.GetNumMembers() - 1, false);
    m_bDerivedDataValid = true;
    *ppCursor = reader.GetCursor();
    return true;
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

KU_MatrixInterpolation* KU_MatrixInterpolation::LoadMatrixInterpolation(const KB_String& sFilePath)
{
    KU_InterpolationFile::Contents contents;
    if (!KU_InterpolationFile::Read(sFilePath, KU_InterpolationFile::ValueKind::Matrix, &contents))
        return nullptr;
    if (!(contents.sTypeName == KB_String("LinearMatrixInterpolation")))
        return nullptr;
    KU_MatrixInterpolation* pCurve = new KB_LinearMatrixInterpolation(sFilePath);
    pCurve->m_gMatrices = contents.gMatrices;
    pCurve->m_gTimeStamps = contents.gTimeStamps;
    pCurve->m_sTypeName = contents.sTypeName;
    pCurve->m_fStartTime = contents.fStartTime;
    pCurve->m_fEndTime = contents.fEndTime;
    pCurve->SetDebugName(contents.sDebugName);
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
