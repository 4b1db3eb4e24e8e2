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
    virtual double GetDuration() const;   // end - start
    virtual void SetStartTime(double fStartTime);
    virtual void SetEndTime(double fEndTime);

    // Byte form: start and end as little-endian f64 (16 bytes). Serialize appends at *ppCursor,
    // advances it and adds the bytes written to *pWritten; it fails (false, nothing written) when
    // fewer than 16 bytes of uiCapacity remain after *pWritten. Deserialize reads between
    // *ppCursor and pEnd and fails (false, nothing changed) on a short record.
    virtual bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const;
    virtual bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd);

    // The single-precision machine epsilon widened to double, taken off both ends of the interval.
    static constexpr double ACTIVITY_MARGIN = 1.1920928955078125e-7;

protected:
    double m_fStartTime = 0.0;
    double m_fEndTime = 0.0;
};
