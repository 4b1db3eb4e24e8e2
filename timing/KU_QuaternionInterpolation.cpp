#include "timing/KU_QuaternionInterpolation.h"

#include "framework/core/KB_ByteCursor.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_InterpolationFile.h"

using namespace DirectX;

KU_QuaternionInterpolation::KU_QuaternionInterpolation(const KB_String& sFilePath)
    : KU_Interpolation(sFilePath)
{
}

KU_QuaternionInterpolation::KU_QuaternionInterpolation() = default;

std::uint32_t KU_QuaternionInterpolation::GetNearestKeyIndex(double fTime) const
{
    return FindNearestStamp(fTime - GetStartTime(), m_gTimeStamps.GetNumMembers());
}

void KU_QuaternionInterpolation::SetFilePath(const KB_String& sFilePath)
{
    m_sFilePath = sFilePath;
}

bool KU_QuaternionInterpolation::Save()
{
    KU_InterpolationFile::Contents contents;
    contents.sTypeName = m_sTypeName;
    contents.sDebugName = m_sDebugName;
    contents.fStartTime = GetStartTime();
    contents.fEndTime = GetEndTime();
    contents.gTimeStamps = m_gTimeStamps;
    contents.gVectors = m_gQuaternions;
    return KU_InterpolationFile::Write(m_sFilePath, KU_InterpolationFile::ValueKind::Quaternion, contents);
}

bool KU_QuaternionInterpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                           std::uint64_t* pWritten) const
{
    KB_ByteWriter writer(*ppCursor, GetRemainingCapacity(uiCapacity, *pWritten));
    WriteBaseRecord(writer);
    const std::uint32_t uiNumValues = m_gQuaternions.GetNumMembers();
    writer.WriteU32(uiNumValues);
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
    {
        XMFLOAT4 q;
        XMStoreFloat4(&q, m_gQuaternions[i]);
        writer.WriteF32(q.x);
        writer.WriteF32(q.y);
        writer.WriteF32(q.z);
        writer.WriteF32(q.w);
    }
    return CommitWrite(writer, ppCursor, pWritten);
}

bool KU_QuaternionInterpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    BaseRecord record;
    if (!ReadBaseRecord(reader, &record))
        return false;
    std::uint32_t uiNumValues = 0;
    reader.ReadU32(&uiNumValues);
    if (!reader.CheckCount(uiNumValues, 4 * sizeof(float)))
        return false;

    // The values are the last field and the bytes for them are there: nothing can fail now.
    ApplyBaseRecord(record);
    m_gQuaternions.RemoveAll();
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
    {
        XMFLOAT4 q;
        reader.ReadF32(&q.x);
        reader.ReadF32(&q.y);
        reader.ReadF32(&q.z);
        reader.ReadF32(&q.w);
        m_gQuaternions.Add(XMLoadFloat4(&q));
    }
    const std::uint32_t uiNumKeys = GetNumKeys();
    CutTimeStamps(uiNumKeys);
    while (m_gQuaternions.GetNumMembers() > uiNumKeys)
        m_gQuaternions.Remove(m_gQuaternions.GetNumMembers() - 1, false);
    m_bChanged = false;
    *ppCursor = reader.GetCursor();
    return true;
}

std::uint32_t KU_QuaternionInterpolation::InsertQuaternion(const XMVECTOR& qValue, double fLocalTime)
{
    const XMVECTOR qUnit = XMVector4Normalize(qValue);
    const std::uint32_t uiIndex = CountLeadingStamps(fLocalTime, GetNumKeys());
    m_gQuaternions.Insert(uiIndex, qUnit);
    m_gTimeStamps.Insert(uiIndex, fLocalTime);
    m_bChanged = true;
    return uiIndex;
}

std::uint32_t KU_QuaternionInterpolation::SetQuaternionTimeStamp(std::uint32_t uiIndex, double fLocalTime)
{
    const std::uint32_t uiNumKeys = GetNumKeys();
    if (uiIndex >= uiNumKeys)
        return uiIndex;
    const std::uint32_t uiNewIndex = CountLeadingStamps(fLocalTime, uiNumKeys, uiIndex);
    m_bChanged = true;
    if (uiNewIndex == uiIndex)
    {
        m_gTimeStamps[uiIndex] = fLocalTime;
        return uiIndex;
    }
    const XMVECTOR qValue = m_gQuaternions[uiIndex];
    m_gQuaternions.Remove(uiIndex, false);
    m_gTimeStamps.Remove(uiIndex, false);
    m_gQuaternions.Insert(uiNewIndex, qValue);
    m_gTimeStamps.Insert(uiNewIndex, fLocalTime);
    return uiNewIndex;
}

void KU_QuaternionInterpolation::SetQuaternion(std::uint32_t uiIndex, const XMVECTOR& qValue)
{
    if (uiIndex >= m_gQuaternions.GetNumMembers())
        return;
    m_gQuaternions[uiIndex] = XMVector4Normalize(qValue);
    m_bChanged = true;
}

std::uint32_t KU_QuaternionInterpolation::GetNumQuaternions() const
{
    return m_gQuaternions.GetNumMembers();
}

XMVECTOR* KU_QuaternionInterpolation::GetValueAtAbsoluteTime(XMVECTOR* pOut, double fTime)
{
    GetValueAt(pOut, fTime - GetStartTime());
    return pOut;
}

KU_QuaternionInterpolation*
KU_QuaternionInterpolation::LoadQuaternionInterpolation(const KB_String& sFilePath)
{
    KU_InterpolationFile::Contents contents;
    if (!KU_InterpolationFile::Read(sFilePath, KU_InterpolationFile::ValueKind::Quaternion, &contents))
        return nullptr;
    if (!(contents.sTypeName == KB_String("RotationInterpolation")))
        return nullptr;
    KU_QuaternionInterpolation* pCurve = new KB_RotationInterpolation(sFilePath);
    pCurve->m_gQuaternions = contents.gVectors;
    pCurve->m_gTimeStamps = contents.gTimeStamps;
    pCurve->m_sTypeName = contents.sTypeName;
    pCurve->m_fStartTime = contents.fStartTime;
    pCurve->m_fEndTime = contents.fEndTime;
    pCurve->SetDebugName(contents.sDebugName);
    return pCurve;
}

std::uint32_t KU_QuaternionInterpolation::GetNumKeys() const
{
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    const std::uint32_t uiNumValues = m_gQuaternions.GetNumMembers();
    return uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
}
