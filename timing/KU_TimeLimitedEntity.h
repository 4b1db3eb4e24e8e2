#pragma once

#include <cstdint>

// Base of everything on the production's timeline: one interval [start, end) in seconds on the
// production clock. Nothing clamps the interval; end may lie before start. Subclasses may
// override the setters (an animated camera rescales its curves there), so code that changes the
// interval of an entity always goes through SetStartTime and SetEndTime.
class KU_TimeLimitedEntity
{
public:
    KU_TimeLimitedEntity() = default;
    virtual ~KU_TimeLimitedEntity() = default;

    // True when start - ACTIVITY_MARGIN <= fTime < end - ACTIVITY_MARGIN.
    virtual bool IsActive(double fTime) const;
    virtual double GetStartTime() const;
    virtual double GetEndTime() const;
    virtual double GetDuration() const; // end - start
    virtual void SetStartTime(double fStartTime);
    virtual void SetEndTime(double fEndTime);

    // Byte form: start and end as little-endian f64 (16 bytes). uiCapacity is the size of the
    // buffer that the running total *pWritten counts into: Serialize writes at most
    // uiCapacity - *pWritten bytes at *ppCursor, then advances *ppCursor and *pWritten past the
    // record; when the record does not fit it returns false and moves neither. Deserialize reads
    // between *ppCursor and pEnd and advances *ppCursor; on a short record it returns false and
    // changes nothing.
    virtual bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const;
    virtual bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd);

    // The single-precision machine epsilon widened to double, taken off both ends of the interval.
    static constexpr double ACTIVITY_MARGIN = 1.1920928955078125e-7;

protected:
    double m_fStartTime = 0.0;
    double m_fEndTime = 0.0;
};
