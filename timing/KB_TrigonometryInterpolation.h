#pragma once

#include "timing/KU_VertexInterpolation.h"

#include <cstdint>

// Vertex curve with cosine easing between keys. The mode names the one coordinate that is eased
// (0 x, 1 y, 2 z) while the other two move linearly; any other mode eases x, y and z. The fourth
// lane of every value is 0.
class KB_TrigonometryInterpolation : public KU_VertexInterpolation
{
public:
    explicit KB_TrigonometryInterpolation(const KB_String& sFilePath); // registered, mode 0

    void SetMode(std::uint32_t uiMode);
    std::uint32_t GetMode() const;

    void* GetValueAt(void* pOut, double fLocalTime) override;

private:
    std::uint32_t m_uiMode = 0;
};
