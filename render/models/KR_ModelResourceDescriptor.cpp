#include "render/models/KR_ModelResourceDescriptor.h"

#include "render/device/KR_KeyHashing.h"

KR_ModelResourceDescriptor::KR_ModelResourceDescriptor(const KB_String& sPath, std::uint8_t uiFlag1,
                                                       std::uint8_t uiFlag2, std::uint8_t uiFlag3)
    : m_sPath(sPath), m_uiFlags{uiFlag1, uiFlag2, uiFlag3}
{
}

bool KR_ModelResourceDescriptor::operator==(const KR_ModelResourceDescriptor& other) const
{
    return m_uiFlags[0] == other.m_uiFlags[0] && m_uiFlags[1] == other.m_uiFlags[1] &&
           m_uiFlags[2] == other.m_uiFlags[2] && m_sPath == other.m_sPath;
}

bool KR_ModelResourceDescriptor::operator<(const KR_ModelResourceDescriptor& other) const
{
    if (m_sPath != other.m_sPath)
        return m_sPath < other.m_sPath;
    for (int i = 0; i < 3; ++i)
        if (m_uiFlags[i] != other.m_uiFlags[i])
            return m_uiFlags[i] < other.m_uiFlags[i];
    return false;
}

std::uint64_t KR_ModelResourceDescriptor::GetHash() const
{
    std::uint64_t uiSeed = 0;
    KR_KeyHashing::HashString(uiSeed, m_sPath.GetBuffer());
    for (std::uint8_t uiFlag : m_uiFlags)
        KR_KeyHashing::HashCombine(uiSeed, uiFlag);
    return uiSeed;
}
