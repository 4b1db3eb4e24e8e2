#pragma once
// Key of the model cache: the model file's path and the three flags handed on to the importers.

#include "framework/core/KB_String.h"

#include <cstdint>

struct KR_ModelResourceDescriptor
{
    KR_ModelResourceDescriptor() = default;
    KR_ModelResourceDescriptor(const KB_String& sPath, std::uint8_t uiFlag1, std::uint8_t uiFlag2,
                               std::uint8_t uiFlag3);

    bool operator==(const KR_ModelResourceDescriptor& other) const;
    bool operator<(const KR_ModelResourceDescriptor& other) const; // by path, then the flags
    // The path, then the three flags in order.
    std::uint64_t GetHash() const;

    KB_String m_sPath;
    std::uint8_t m_uiFlags[3] = {0, 0, 0};
};
