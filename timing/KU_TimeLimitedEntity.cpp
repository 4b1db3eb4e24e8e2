#include "timing/KU_TimeLimitedEntity.h"

#include "framework/core/KB_ByteCursor.h"

namespace
{

constexpr std::uint64_t RECORD_SIZE = 16;

} // namespace

bool KU_TimeLimitedEntity::IsActive(double fTime) const
{
    if (m_fStartTime - ACTIVITY_MARGIN > fTime)
        return false;
    return !(fTime >= m_fEndTime - ACTIVITY_MARGIN);
}

double KU_TimeLimitedEntity::GetStartTime() const
{
    return m_fStartTime;
}

double KU_TimeLimitedEntity::GetEndTime() const
{
    return m_fEndTime;
}

double KU_TimeLimitedEntity::GetDuration() const
{
    return m_fEndTime - m_fStartTime;
}

void KU_TimeLimitedEntity::SetStartTime(double fStartTime)
{
    m_fStartTime = fStartTime;
}

void KU_TimeLimitedEntity::SetEndTime(double fEndTime)
{
    m_fEndTime = fEndTime;
}

bool KU_TimeLimitedEntity::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                     std::uint64_t* pWritten) const
{
    const std::uint64_t uiRemaining = *pWritten < uiCapacity ? uiCapacity - *pWritten : 0;
    if (uiRemaining < RECORD_SIZE)
        return false;
    KB_ByteWriter writer(*ppCursor, uiRemaining);
    writer.WriteF64(m_fStartTime);
    writer.WriteF64(m_fEndTime);
    if (!writer.IsOk())
        return false;
    *ppCursor = writer.GetCursor();
    *pWritten += writer.GetWritten();
    return true;
}

bool KU_TimeLimitedEntity::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    double fStartTime = 0.0;
    double fEndTime = 0.0;
    reader.ReadF64(&fStartTime);
    reader.ReadF64(&fEndTime);
    if (!reader.IsOk())
        return false;
    m_fStartTime = fStartTime;
    m_fEndTime = fEndTime;
    *ppCursor = reader.GetCursor();
    return true;
}
