#include "timing/KU_Interpolation.h"

#include "framework/core/KB_ByteCursor.h"
#include "platform/directxmath/DirectXMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace DirectX;

namespace
{

// Bytes of one value in the byte form; 0 for a type that has none.
template <typename T>
constexpr std::uint64_t VALUE_BYTES = 0;
template <>
constexpr std::uint64_t VALUE_BYTES<XMVECTOR> = 4 * sizeof(float);
template <>
constexpr std::uint64_t VALUE_BYTES<XMMATRIX> = 16 * sizeof(float);

// A number as the byte form holds it: NaN as 0, an infinity as the largest finite value of its
// sign, as the text form writes them, so that every record written reads back.
template <typename F>
F Finite(F fValue)
{
    if (std::isnan(fValue))
        return F(0);
    if (std::isinf(fValue))
        return fValue > F(0) ? std::numeric_limits<F>::max() : -std::numeric_limits<F>::max();
    return fValue;
}

void WriteValue(KB_ByteWriter& writer, const XMVECTOR& vValue)
{
    XMFLOAT4 v;
    XMStoreFloat4(&v, vValue);
    writer.WriteF32(Finite(v.x));
    writer.WriteF32(Finite(v.y));
    writer.WriteF32(Finite(v.z));
    writer.WriteF32(Finite(v.w));
}

void WriteValue(KB_ByteWriter& writer, const XMMATRIX& mValue)
{
    XMFLOAT4X4 m;
    XMStoreFloat4x4(&m, mValue);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            writer.WriteF32(Finite(m.m[r][c]));
}

// Reads one number of a record; false when it is missing or not finite (a damaged record).
template <typename F>
bool ReadFinite(KB_ByteReader& reader, F* pValue)
{
    bool bRead;
    if constexpr (sizeof(F) == sizeof(float))
        bRead = reader.ReadF32(pValue);
    else
        bRead = reader.ReadF64(pValue);
    return bRead && std::isfinite(*pValue);
}

bool ReadValue(KB_ByteReader& reader, XMVECTOR* pValue)
{
    XMFLOAT4 v;
    if (!ReadFinite(reader, &v.x) || !ReadFinite(reader, &v.y) || !ReadFinite(reader, &v.z) ||
        !ReadFinite(reader, &v.w))
        return false;
    *pValue = XMLoadFloat4(&v);
    return true;
}

bool ReadValue(KB_ByteReader& reader, XMMATRIX* pValue)
{
    XMFLOAT4X4 m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!ReadFinite(reader, &m.m[r][c]))
                return false;
    *pValue = XMLoadFloat4x4(&m);
    return true;
}

} // namespace

KU_Interpolation::KU_Interpolation(const KB_String& sFilePath) : m_sFilePath(sFilePath)
{
}

KB_String KU_Interpolation::GetTypeName() const
{
    return m_sTypeName;
}

bool KU_Interpolation::HasChanged(bool bReset)
{
    const bool bChanged = m_bChanged;
    if (bReset)
        m_bChanged = false;
    return bChanged;
}

void KU_Interpolation::NormalizeTimeStamps()
{
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    if (uiCount == 0)
    {
        SetStartTime(0.0);
        SetEndTime(0.0);
        return;
    }
    const double fFirst = m_gTimeStamps[0];
    const double fLast = m_gTimeStamps[uiCount - 1];
    SetStartTime(fFirst);
    SetEndTime(fLast);
    const double fStart = GetStartTime();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_gTimeStamps[i] -= fStart;
    UpdateStampOrder(); // infinite stamps become NaN
}

std::uint32_t KU_Interpolation::GetNumTimeStamps() const
{
    return m_gTimeStamps.GetNumMembers();
}

double KU_Interpolation::GetTimeStamp(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gTimeStamps.GetNumMembers())
        return 0.0;
    return m_gTimeStamps[uiIndex];
}

std::uint32_t KU_Interpolation::GetNearestKeyIndex(double fTime) const
{
    return FindNearestStamp(fTime - GetStartTime(), m_gTimeStamps.GetNumMembers());
}

double KU_Interpolation::GetAbsoluteTimeStamp(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_gTimeStamps.GetNumMembers())
        return GetStartTime();
    return GetStartTime() + m_gTimeStamps[uiIndex];
}

KB_String KU_Interpolation::GetDebugName() const
{
    return m_sDebugName;
}

void KU_Interpolation::SetDebugName(const KB_String& sDebugName)
{
    m_sDebugName = sDebugName;
}

const KB_String& KU_Interpolation::GetFilePath() const
{
    return m_sFilePath;
}

void KU_Interpolation::ScaleTimeStamps(double fFactor)
{
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_gTimeStamps[i] *= fFactor;
    UpdateStampOrder();
}

bool KU_Interpolation::AreTimeStampsSorted() const
{
    return m_bStampsSorted;
}

void KU_Interpolation::UpdateStampOrder()
{
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    m_bStampsSorted = uiCount == 0 || !std::isnan(m_gTimeStamps[0]);
    for (std::uint32_t i = 1; i < uiCount && m_bStampsSorted; ++i)
        m_bStampsSorted = m_gTimeStamps[i - 1] <= m_gTimeStamps[i]; // false for NaN
}

void KU_Interpolation::UpdateStampOrderAt(std::uint32_t uiIndex)
{
    // Sorted stamps with one stamp inserted or changed are judged by that stamp's neighbours;
    // unsorted ones are looked at whole (a moved stamp may have repaired their order).
    if (!m_bStampsSorted)
    {
        UpdateStampOrder();
        return;
    }
    const std::uint32_t uiCount = m_gTimeStamps.GetNumMembers();
    const double fStamp = m_gTimeStamps[uiIndex];
    m_bStampsSorted = !std::isnan(fStamp) && (uiIndex == 0 || m_gTimeStamps[uiIndex - 1] <= fStamp) &&
                      (uiIndex + 1 == uiCount || fStamp <= m_gTimeStamps[uiIndex + 1]);
}

std::uint32_t KU_Interpolation::FindNearestStamp(double fLocalTime, std::uint32_t uiCount) const
{
    std::uint32_t uiBest = 0;
    if (uiCount == 0)
        return uiBest;
    double fBestDistance = std::fabs(m_gTimeStamps[0] - fLocalTime);
    for (std::uint32_t i = 1; i < uiCount; ++i)
    {
        const double fDistance = std::fabs(m_gTimeStamps[i] - fLocalTime);
        if (fDistance < fBestDistance)
        {
            fBestDistance = fDistance;
            uiBest = i;
        }
    }
    return uiBest;
}

std::uint32_t KU_Interpolation::CountLeadingStamps(double fLocalTime, std::uint32_t uiCount,
                                                   std::uint32_t uiSkip) const
{
    if (m_bStampsSorted)
    {
        // The scan's answer by halving: the stamps <= fLocalTime are a prefix, and a skipped
        // stamp only counts when it lies in that prefix. No stamp is <= NaN.
        if (uiCount == 0 || std::isnan(fLocalTime))
            return 0;
        const double* pStamps = &m_gTimeStamps[0];
        auto uiLeading =
            static_cast<std::uint32_t>(std::upper_bound(pStamps, pStamps + uiCount, fLocalTime) - pStamps);
        if (uiSkip < uiLeading)
            --uiLeading;
        return uiLeading;
    }
    std::uint32_t uiLeading = 0;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        if (i == uiSkip)
            continue;
        if (!(m_gTimeStamps[i] <= fLocalTime))
            break;
        ++uiLeading;
    }
    return uiLeading;
}

void KU_Interpolation::LocateKeys(double fLocalTime, std::uint32_t uiNumValues, KeySpan* pSpan) const
{
    // Field by field: the caller reads them one by one, and a whole-struct copy through the stack
    // stalls on store forwarding (a third of an evaluation's time at a few keys).
    pSpan->uiFrom = 0;
    pSpan->fU = 0.0;
    pSpan->bBlend = false;
    if (fLocalTime < 0.0 || std::isnan(fLocalTime))
        return;
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    const std::uint32_t uiCount = uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
    const std::uint32_t uiTo =
        fLocalTime >= GetDuration() ? uiCount : CountLeadingStamps(fLocalTime, uiCount);
    if (uiTo == uiCount) // from the duration on, without stamps, or past every stamp: the last key
    {
        pSpan->uiFrom = uiNumValues - 1;
        return;
    }
    if (uiTo == 0)
        return;
    const std::uint32_t uiFrom = uiTo - 1;
    pSpan->uiFrom = uiFrom;
    pSpan->uiTo = uiTo;
    pSpan->fU = SegmentFraction(fLocalTime, m_gTimeStamps[uiFrom], m_gTimeStamps[uiTo]);
    pSpan->bBlend = true;
}

double KU_Interpolation::SegmentFraction(double fLocalTime, double fStamp0, double fStamp1)
{
    const double fSpan = fStamp1 - fStamp0;
    double fU = 1.0;
    if (!(fSpan == 0.0 || std::isnan(fSpan)))
        fU = (fLocalTime - fStamp0) / fSpan;
    if (std::isnan(fU) || fU < 0.0)
        return 0.0;
    if (fU > 1.0)
        return 1.0;
    return fU;
}

bool KU_Interpolation::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                 std::uint64_t* pWritten) const
{
    KB_ByteWriter writer(*ppCursor, GetRemainingCapacity(uiCapacity, *pWritten));
    WriteBaseRecord(writer);
    return CommitWrite(writer, ppCursor, pWritten);
}

bool KU_Interpolation::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    BaseRecord record;
    if (!ReadBaseRecord(reader, &record))
        return false;
    ApplyBaseRecord(record);
    *ppCursor = reader.GetCursor();
    return true;
}

void KU_Interpolation::WriteBaseRecord(KB_ByteWriter& writer) const
{
    writer.WriteF64(Finite(m_fStartTime));
    writer.WriteF64(Finite(m_fEndTime));
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    writer.WriteU32(uiNumStamps);
    for (std::uint32_t i = 0; i < uiNumStamps; ++i)
        writer.WriteF64(Finite(m_gTimeStamps[i]));
    writer.WriteU8(m_bChanged ? 1 : 0);
    writer.WriteString(m_sTypeName);
    writer.WriteString(m_sFilePath);
    writer.WriteString(m_sDebugName);
}

bool KU_Interpolation::ReadBaseRecord(KB_ByteReader& reader, BaseRecord* pRecord)
{
    if (!ReadFinite(reader, &pRecord->fStartTime) || !ReadFinite(reader, &pRecord->fEndTime))
        return false;
    std::uint32_t uiNumStamps = 0;
    reader.ReadU32(&uiNumStamps);
    if (!reader.CheckCount(uiNumStamps, sizeof(double)))
        return false;
    for (std::uint32_t i = 0; i < uiNumStamps; ++i)
    {
        double fStamp = 0.0;
        if (!ReadFinite(reader, &fStamp))
            return false;
        pRecord->gTimeStamps.Add(fStamp);
    }
    std::uint8_t uiChanged = 0;
    reader.ReadU8(&uiChanged);
    pRecord->bChanged = uiChanged != 0;
    reader.ReadString(&pRecord->sTypeName);
    reader.ReadString(&pRecord->sFilePath);
    reader.ReadString(&pRecord->sDebugName);
    return reader.IsOk();
}

void KU_Interpolation::ApplyBaseRecord(const BaseRecord& record)
{
    m_fStartTime = record.fStartTime;
    m_fEndTime = record.fEndTime;
    m_gTimeStamps = record.gTimeStamps;
    UpdateStampOrder();
    m_bChanged = record.bChanged;
    m_sTypeName = record.sTypeName;
    m_sFilePath = record.sFilePath;
    m_sDebugName = record.sDebugName;
}

std::uint64_t KU_Interpolation::GetRemainingCapacity(std::uint64_t uiCapacity, std::uint64_t uiWritten)
{
    return uiWritten < uiCapacity ? uiCapacity - uiWritten : 0;
}

bool KU_Interpolation::CommitWrite(const KB_ByteWriter& writer, std::uint8_t** ppCursor,
                                   std::uint64_t* pWritten)
{
    if (!writer.IsOk())
        return false;
    *ppCursor = writer.GetCursor();
    *pWritten += writer.GetWritten();
    return true;
}

void KU_Interpolation::CutTimeStamps(std::uint32_t uiCount)
{
    if (m_gTimeStamps.GetNumMembers() <= uiCount)
        return;
    while (m_gTimeStamps.GetNumMembers() > uiCount)
        m_gTimeStamps.Remove(m_gTimeStamps.GetNumMembers() - 1, false);
    if (!m_bStampsSorted)
        UpdateStampOrder();
}

void KU_Interpolation::MarkKeysChanged()
{
    m_bChanged = true;
}

template <typename T>
std::uint32_t KU_Interpolation::CountKeys(const KB_GrowingArray<T>& gValues) const
{
    const std::uint32_t uiNumStamps = m_gTimeStamps.GetNumMembers();
    const std::uint32_t uiNumValues = gValues.GetNumMembers();
    return uiNumStamps < uiNumValues ? uiNumStamps : uiNumValues;
}

template <typename T>
std::uint32_t KU_Interpolation::InsertKey(KB_GrowingArray<T>& gValues, const T& value, double fLocalTime)
{
    const T copy = value; // value may live in gValues
    const std::uint32_t uiIndex = CountLeadingStamps(fLocalTime, CountKeys(gValues));
    gValues.Insert(uiIndex, copy);
    m_gTimeStamps.Insert(uiIndex, fLocalTime);
    UpdateStampOrderAt(uiIndex);
    MarkKeysChanged();
    return uiIndex;
}

template <typename T>
std::uint32_t KU_Interpolation::MoveKey(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex, double fLocalTime)
{
    const std::uint32_t uiNumKeys = CountKeys(gValues);
    if (uiIndex >= uiNumKeys)
        return uiIndex;
    const std::uint32_t uiNewIndex = CountLeadingStamps(fLocalTime, uiNumKeys, uiIndex);
    MarkKeysChanged();
    if (uiNewIndex == uiIndex)
    {
        m_gTimeStamps[uiIndex] = fLocalTime;
        UpdateStampOrderAt(uiIndex);
        return uiIndex;
    }
    const T value = gValues[uiIndex];
    gValues.Remove(uiIndex, false);
    m_gTimeStamps.Remove(uiIndex, false);
    gValues.Insert(uiNewIndex, value);
    m_gTimeStamps.Insert(uiNewIndex, fLocalTime);
    // Sorted stamps stay sorted without the old one; unsorted ones are looked at whole.
    UpdateStampOrderAt(uiNewIndex);
    return uiNewIndex;
}

template <typename T>
void KU_Interpolation::ReplaceKeyValue(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex, const T& value)
{
    if (uiIndex >= gValues.GetNumMembers())
        return;
    gValues[uiIndex] = value;
    MarkKeysChanged();
}

template <typename T>
void KU_Interpolation::RemoveKey(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex)
{
    if (uiIndex >= CountKeys(gValues))
        return;
    gValues.Remove(uiIndex);
    m_gTimeStamps.Remove(uiIndex);
    if (!m_bStampsSorted) // removing a stamp may have repaired the order
        UpdateStampOrder();
    MarkKeysChanged();
}

template <typename T>
bool KU_Interpolation::SerializeKeys(const KB_GrowingArray<T>& gValues, std::uint8_t** ppCursor,
                                     std::uint64_t uiCapacity, std::uint64_t* pWritten) const
{
    KB_ByteWriter writer(*ppCursor, GetRemainingCapacity(uiCapacity, *pWritten));
    WriteBaseRecord(writer);
    const std::uint32_t uiNumValues = gValues.GetNumMembers();
    writer.WriteU32(uiNumValues);
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
        WriteValue(writer, gValues[i]);
    return CommitWrite(writer, ppCursor, pWritten);
}

template <typename T>
bool KU_Interpolation::DeserializeKeys(KB_GrowingArray<T>& gValues, const std::uint8_t** ppCursor,
                                       const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    BaseRecord record;
    if (!ReadBaseRecord(reader, &record))
        return false;
    static_assert(VALUE_BYTES<T> > 0, "no byte form for this value type");
    std::uint32_t uiNumValues = 0;
    reader.ReadU32(&uiNumValues);
    if (!reader.CheckCount(uiNumValues, VALUE_BYTES<T>))
        return false;

    KB_GrowingArray<T> gRead;
    for (std::uint32_t i = 0; i < uiNumValues; ++i)
    {
        T value;
        if (!ReadValue(reader, &value))
            return false;
        gRead.Add(value);
    }

    ApplyBaseRecord(record);
    gValues = gRead;
    const std::uint32_t uiNumKeys = CountKeys(gValues);
    CutTimeStamps(uiNumKeys);
    while (gValues.GetNumMembers() > uiNumKeys)
        gValues.Remove(gValues.GetNumMembers() - 1, false);
    *ppCursor = reader.GetCursor();
    return true;
}

template <typename T>
bool KU_Interpolation::FindBlendKeys(const KB_GrowingArray<T>& gValues, const T& empty, double fLocalTime,
                                     T* pValue, KeySpan* pSpan) const
{
    const std::uint32_t uiNumValues = gValues.GetNumMembers();
    if (uiNumValues == 0)
    {
        *pValue = empty;
        return false;
    }
    LocateKeys(fLocalTime, uiNumValues, pSpan);
    if (!pSpan->bBlend)
    {
        *pValue = gValues[pSpan->uiFrom];
        return false;
    }
    return true;
}

template bool KU_Interpolation::FindBlendKeys(const KB_GrowingArray<XMVECTOR>&, const XMVECTOR&, double,
                                              XMVECTOR*, KeySpan*) const;
template bool KU_Interpolation::FindBlendKeys(const KB_GrowingArray<XMMATRIX>&, const XMMATRIX&, double,
                                              XMMATRIX*, KeySpan*) const;

template std::uint32_t KU_Interpolation::CountKeys(const KB_GrowingArray<XMVECTOR>&) const;
template std::uint32_t KU_Interpolation::InsertKey(KB_GrowingArray<XMVECTOR>&, const XMVECTOR&, double);
template std::uint32_t KU_Interpolation::MoveKey(KB_GrowingArray<XMVECTOR>&, std::uint32_t, double);
template void KU_Interpolation::ReplaceKeyValue(KB_GrowingArray<XMVECTOR>&, std::uint32_t, const XMVECTOR&);
template void KU_Interpolation::RemoveKey(KB_GrowingArray<XMVECTOR>&, std::uint32_t);
template bool KU_Interpolation::SerializeKeys(const KB_GrowingArray<XMVECTOR>&, std::uint8_t**, std::uint64_t,
                                              std::uint64_t*) const;
template bool KU_Interpolation::DeserializeKeys(KB_GrowingArray<XMVECTOR>&, const std::uint8_t**,
                                                const std::uint8_t*);

template std::uint32_t KU_Interpolation::CountKeys(const KB_GrowingArray<XMMATRIX>&) const;
template std::uint32_t KU_Interpolation::InsertKey(KB_GrowingArray<XMMATRIX>&, const XMMATRIX&, double);
template std::uint32_t KU_Interpolation::MoveKey(KB_GrowingArray<XMMATRIX>&, std::uint32_t, double);
template void KU_Interpolation::ReplaceKeyValue(KB_GrowingArray<XMMATRIX>&, std::uint32_t, const XMMATRIX&);
template void KU_Interpolation::RemoveKey(KB_GrowingArray<XMMATRIX>&, std::uint32_t);
template bool KU_Interpolation::SerializeKeys(const KB_GrowingArray<XMMATRIX>&, std::uint8_t**, std::uint64_t,
                                              std::uint64_t*) const;
template bool KU_Interpolation::DeserializeKeys(KB_GrowingArray<XMMATRIX>&, const std::uint8_t**,
                                                const std::uint8_t*);

void KU_Interpolation::StoreFileHeader(KU_InterpolationFile::Contents* pContents) const
{
    pContents->sTypeName = m_sTypeName;
    pContents->sDebugName = m_sDebugName;
    pContents->fStartTime = GetStartTime();
    pContents->fEndTime = GetEndTime();
    pContents->gTimeStamps = m_gTimeStamps;
}

void KU_Interpolation::ApplyFileHeader(const KU_InterpolationFile::Contents& contents)
{
    m_gTimeStamps = contents.gTimeStamps;
    UpdateStampOrder();
    m_sTypeName = contents.sTypeName;
    m_fStartTime = contents.fStartTime;
    m_fEndTime = contents.fEndTime;
    SetDebugName(contents.sDebugName);
}
