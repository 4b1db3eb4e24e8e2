#include "render/device/KR_EffectKey.h"

#include "render/device/KR_KeyHashing.h"

KR_EffectKey::KR_EffectKey(const KB_String& sPath, const D3D_SHADER_MACRO* pMacros)
    : m_sPath(sPath), m_uiDefinesGiven(pMacros != nullptr ? 1 : 0),
      m_pName(pMacros != nullptr ? pMacros->Name : nullptr),
      m_pDefinition(pMacros != nullptr ? pMacros->Definition : nullptr)
{
}

bool KR_EffectKey::operator==(const KR_EffectKey& other) const
{
    return m_uiDefinesGiven == other.m_uiDefinesGiven && m_pName == other.m_pName &&
           m_pDefinition == other.m_pDefinition && m_sPath == other.m_sPath;
}

std::uint64_t KR_EffectKey::GetHash() const
{
    std::uint64_t uiSeed = 0;
    KR_KeyHashing::HashString(uiSeed, m_sPath.GetBuffer());
    KR_KeyHashing::HashCombine(uiSeed, m_uiDefinesGiven);
    return uiSeed;
}
