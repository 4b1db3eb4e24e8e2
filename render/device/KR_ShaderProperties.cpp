#include "render/device/KR_ShaderProperties.h"

#include <cstring>

KR_ShaderProperties::KR_ShaderProperties()
{
    m_gMacros.GrowArray();
    m_gMacros.Add(nullptr);
    m_gMacros.Add(nullptr);
}

void KR_ShaderProperties::SetShaderStage(KR_ShaderStageType stage, const char* pFile, const char* pEntry)
{
    if (stage >= KR_NUM_SHADER_STAGES)
        return;
    m_sFile[stage] = KB_String(pFile);
    m_sEntry[stage] = KB_String(pEntry);
}

void KR_ShaderProperties::AddMacro(const char* pName, const char* pValue)
{
    const std::uint32_t uiEnd = m_gMacros.GetNumMembers() - 2;
    m_gMacros.Insert(uiEnd, pName);
    m_gMacros.Insert(uiEnd + 1, pValue);
}

std::uint64_t KR_ShaderProperties::GetHash() const
{
    std::uint64_t uiSeed = 0;
    for (std::uint32_t i = 0; i < KR_NUM_SHADER_STAGES; ++i)
    {
        HashBytes(uiSeed, m_sFile[i].GetBuffer(), m_sFile[i].GetLength());
        HashBytes(uiSeed, m_sEntry[i].GetBuffer(), m_sEntry[i].GetLength());
    }
    for (std::uint32_t i = 0; i < m_gMacros.GetNumMembers(); ++i)
        HashCString(uiSeed, m_gMacros[i]);
    return uiSeed;
}

void KR_ShaderProperties::HashCString(std::uint64_t& uiSeed, const char* pText)
{
    HashBytes(uiSeed, pText, pText != nullptr ? std::strlen(pText) : 0);
}

void KR_ShaderProperties::HashBytes(std::uint64_t& uiSeed, const char* pText, std::uint64_t uiLength)
{
    std::uint64_t uiHash = 0xcbf29ce484222325ull;
    for (std::uint64_t i = 0; i < uiLength; ++i)
        uiHash = (uiHash ^ static_cast<std::uint8_t>(pText[i])) * 0x100000001b3ull;
    const std::uint64_t uiFolded = (uiHash >> 32) ^ uiHash;
    uiSeed ^= uiFolded + 0x9e3779b9ull + (uiSeed << 6) + (uiSeed >> 2);
}
