#pragma once

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "timing/KU_InterpolationFile.h"
#include "timing/KU_TimeLimitedEntity.h"

#include <cstdint>

class KB_ByteReader;
class KB_ByteWriter;

// Abstract keyed curve: time stamps in seconds relative to the entity's start time (local time),
// kept in ascending order by every editing operation (equal stamps allowed; a file or record may
// still hold them unsorted, and evaluation then scans them from the first), a changed flag for
// editors and visualisations, and three names (kind, file path, debug name). The value classes
// (vertex, quaternion, matrix) keep the values parallel to the stamps; each kind defines
// GetValueAt. Callers evaluate at local time: GetValueAt(out, time - GetStartTime()), or take the
// value from the typed reads in KU_InterpolationValue.h.
// Not copyable: vertex curves are listed in the curve registry by address.
class KU_Interpolation : public KU_TimeLimitedEntity
{
public:
    KU_Interpolation() = default;
    explicit KU_Interpolation(const KB_String& sFilePath);
    ~KU_Interpolation() override = default;

    KU_Interpolation(const KU_Interpolation&) = delete;
    KU_Interpolation& operator=(const KU_Interpolation&) = delete;

    // Byte form of the curve base, little-endian and packed: f64 start, f64 end, u32 stamp count,
    // the stamps (f64 each), u8 changed flag, then type name, file path and debug name, each
    // NUL-terminated. The value classes append a u32 value count and the values. Capacity and
    // cursor rules as for the time-limited entity: a record that does not fit, or one whose
    // counts or texts run past pEnd, fails and moves nothing; a failed read changes nothing.
    // Every number is finite: Serialize writes NaN as 0 and an infinity as the largest finite
    // value of its sign (as the text form does), Deserialize fails on a record holding a NaN or
    // an infinity (a damaged record) instead of spreading it.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    virtual KB_String GetTypeName() const;
    // Index of the stamp nearest to fTime - start; ties go to the lower index; 0 without keys.
    virtual std::uint32_t GetNearestKeyIndex(double fTime) const;
    // Returns the changed flag and clears it when bReset is true.
    virtual bool HasChanged(bool bReset);
    // Moves the interval onto the keys (through the virtual setters) and makes the first stamp 0.
    virtual void NormalizeTimeStamps();
    virtual std::uint32_t GetNumTimeStamps() const;
    // Local stamp at uiIndex; 0.0 when uiIndex is out of range.
    virtual double GetTimeStamp(std::uint32_t uiIndex) const;
    // Start time + stamp; the start time alone when uiIndex is out of range.
    virtual double GetAbsoluteTimeStamp(std::uint32_t uiIndex) const;
    virtual void SetFilePath(const KB_String& sFilePath) = 0;
    // Writes the curve's text file at its file path; false when no repository took it.
    virtual bool Save() = 0;
    virtual KB_String GetDebugName() const;
    virtual void SetDebugName(const KB_String& sDebugName);
    // Writes the value at fLocalTime into pOut and returns pOut. pOut points to a 16-byte aligned
    // DirectX::XMVECTOR for vertex and quaternion curves, to a DirectX::XMMATRIX for matrix curves.
    virtual void* GetValueAt(void* pOut, double fLocalTime) = 0;

    const KB_String& GetFilePath() const;
    // Whether every stamp is a number and none is smaller than the one before it (true without
    // stamps). Kept up to date by every key edit, load and read of the byte form; while it holds,
    // key lookups search by halving instead of scanning, with the same results.
    bool AreTimeStampsSorted() const;
    // Multiplies every stamp by fFactor, unchecked: 0 collapses the keys, a negative factor
    // reverses their order.
    void ScaleTimeStamps(double fFactor);

protected:
    // The base part of the byte form, read before anything of the curve changes.
    struct BaseRecord
    {
        double fStartTime = 0.0;
        double fEndTime = 0.0;
        KB_GrowingArray<double> gTimeStamps;
        bool bChanged = false;
        KB_String sTypeName;
        KB_String sFilePath;
        KB_String sDebugName;
    };

    // Appends the base part to writer (which fails when it does not fit).
    void WriteBaseRecord(KB_ByteWriter& writer) const;
    // Reads the base part; false when it is short (the stamp count is checked against the bytes
    // left before anything is allocated) or holds a number that is not finite.
    static bool ReadBaseRecord(KB_ByteReader& reader, BaseRecord* pRecord);
    // Stores a record read by ReadBaseRecord: start and end directly (no virtual setter runs),
    // the stamps replace the curve's, the flag and the three names as read.
    void ApplyBaseRecord(const BaseRecord& record);
    // Bytes left for a record at a running total of uiWritten in a buffer of uiCapacity.
    static std::uint64_t GetRemainingCapacity(std::uint64_t uiCapacity, std::uint64_t uiWritten);
    // Advances the caller's cursor and running total past what writer wrote; false (nothing
    // moved) when writer failed.
    static bool CommitWrite(const KB_ByteWriter& writer, std::uint8_t** ppCursor, std::uint64_t* pWritten);
    // Cuts the stamps to uiCount (after a load with more stamps than values).
    void CutTimeStamps(std::uint32_t uiCount);

    // Sets the changed flag after a key edit; value classes with derived data also mark it
    // invalid.
    virtual void MarkKeysChanged();

    // The key edits and byte form shared by the value classes, over their value array gValues
    // (parallel to the stamps). Defined for DirectX::XMVECTOR and DirectX::XMMATRIX values.
    // Number of complete keys: the smaller of the stamp and value counts.
    template <typename T>
    std::uint32_t CountKeys(const KB_GrowingArray<T>& gValues) const;
    // Inserts a copy of value (which may live in gValues) after every key with a stamp
    // <= fLocalTime and marks the keys changed; returns the new key's index.
    template <typename T>
    std::uint32_t InsertKey(KB_GrowingArray<T>& gValues, const T& value, double fLocalTime);
    // Moves key uiIndex to fLocalTime keeping the stamps sorted and marks the keys changed;
    // returns its new index (uiIndex unchanged, nothing marked, when out of range).
    template <typename T>
    std::uint32_t MoveKey(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex, double fLocalTime);
    // Replaces value uiIndex and marks the keys changed; nothing when out of range.
    template <typename T>
    void ReplaceKeyValue(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex, const T& value);
    // Removes key uiIndex and marks the keys changed; nothing when out of range.
    template <typename T>
    void RemoveKey(KB_GrowingArray<T>& gValues, std::uint32_t uiIndex);
    // The byte form of a value class: the base part, u32 value count, then each value as f32
    // (four for a vector, sixteen row by row for a matrix). Rules as for Serialize.
    template <typename T>
    bool SerializeKeys(const KB_GrowingArray<T>& gValues, std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                       std::uint64_t* pWritten) const;
    // Reads what SerializeKeys writes: on success stores the base part and the values, cuts
    // stamps and values to the shorter count and advances the cursor; false (nothing changed)
    // when the record is short or holds a number that is not finite.
    template <typename T>
    bool DeserializeKeys(KB_GrowingArray<T>& gValues, const std::uint8_t** ppCursor,
                         const std::uint8_t* pEnd);

    // Copies type name, debug name, interval and stamps into the contents of a file to write.
    void StoreFileHeader(KU_InterpolationFile::Contents* pContents) const;
    // Takes the stamps, type name, interval and debug name of a file read (values are the
    // caller's).
    void ApplyFileHeader(const KU_InterpolationFile::Contents& contents);

    // Where a local time falls among the keys: either one key (bBlend false, uiFrom; uiTo not
    // set) or a blend of keys uiFrom and uiTo with weight fU in [0, 1] on uiTo.
    struct KeySpan
    {
        std::uint32_t uiFrom;
        std::uint32_t uiTo;
        double fU;
        bool bBlend;
    };

    // The lookup shared by the linear, cosine-eased, rotation and matrix kinds, for a curve of
    // uiNumValues > 0 values: before 0 or NaN the first key, from the duration on the last, else
    // the keys around fLocalTime by CountLeadingStamps (only as many stamps as there are values).
    void LocateKeys(double fLocalTime, std::uint32_t uiNumValues, KeySpan* pSpan) const;
    // The start of evaluation for the kinds that blend two keys, over gValues: false with *pValue
    // set when there is nothing to blend (empty without values, else the single key in force);
    // true with *pSpan set to blend. Defined for DirectX::XMVECTOR and DirectX::XMMATRIX values.
    template <typename T>
    bool FindBlendKeys(const KB_GrowingArray<T>& gValues, const T& empty, double fLocalTime, T* pValue,
                       KeySpan* pSpan) const;
    // (t - s0) / (s1 - s0) in double; 1 when the difference is 0 or NaN; clamped to [0, 1] with
    // NaN going to 0.
    static double SegmentFraction(double fLocalTime, double fStamp0, double fStamp1);

    // Index of the stamp nearest to fLocalTime among the first uiCount stamps; 0 when uiCount is 0.
    std::uint32_t FindNearestStamp(double fLocalTime, std::uint32_t uiCount) const;
    // Number of leading stamps (of the first uiCount) that are <= fLocalTime, skipping uiSkip;
    // the scan stops at the first larger (or NaN) stamp, and NaN time counts none. This is where
    // a key with that stamp goes. Sorted stamps are searched by halving with the same answer.
    std::uint32_t CountLeadingStamps(double fLocalTime, std::uint32_t uiCount,
                                     std::uint32_t uiSkip = 0xFFFFFFFFu) const;

    // Recomputes the sorted flag from all stamps; for code that writes m_gTimeStamps directly.
    void UpdateStampOrder();
    // Updates the sorted flag after the stamp at uiIndex was inserted or changed in place.
    void UpdateStampOrderAt(std::uint32_t uiIndex);

    // Written only through the key edits, loads and byte-form reads, or followed by
    // UpdateStampOrder: the sorted flag must describe them.
    KB_GrowingArray<double> m_gTimeStamps;
    bool m_bStampsSorted = true;
    bool m_bChanged = false;
    KB_String m_sTypeName;
    KB_String m_sFilePath;
    KB_String m_sDebugName;
};
