#pragma once
// Key of the effect cache: the file path, whether a macro list was given, and the name and
// definition pointers of the list's first macro. Macros are told apart by these pointers, not by
// their text: an equal list at another address is another key (callers pass static lists).

#include "framework/core/KB_String.h"
#include "platform/d3dcompiler/d3dcompiler.h"

#include <cstdint>

struct KR_EffectKey
{
    KR_EffectKey() = default;
    KR_EffectKey(const KB_String& sPath, const D3D_SHADER_MACRO* pMacros);

    bool operator==(const KR_EffectKey& other) const;
    // The path, then the defines-given flag; the pointers are compared, not hashed.
    std::uint64_t GetHash() const;

    KB_String m_sPath;
    std::uint8_t m_uiDefinesGiven = 0;
    const char* m_pName = nullptr;
    const char* m_pDefinition = nullptr;
};
