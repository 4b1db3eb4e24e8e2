#include "timing/KU_TimeLimitedEntity.h"

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
    // TODO byte cursor helpers
    (void)ppCursor;
    (void)uiCapacity;
    (void)pWritten;
    return false;
}

bool KU_TimeLimitedEntity::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    (void)ppCursor;
    (void)pEnd;
    return false;
}
