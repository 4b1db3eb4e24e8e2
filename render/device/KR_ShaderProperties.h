#pragma once
// Describes one shader program before it exists: source file and entry point of each stage and
// one list of preprocessor macros shared by all stages. The resource manager caches programs
// under it (by hash only: two objects with equal hashes are one program) and the shader cache
// names the program's cache file by the low 32 bits of the hash.
//
// The macro list holds name and value pointers alternately and always ends in two nulls, so
// GetMacros can be handed to the HLSL compiler as its macro table (const D3D_SHADER_MACRO*). It
// stores the caller's pointers and copies no text: every name and value must outlive the object
// (callers pass string literals). File and entry strings are owned copies. Not thread-safe.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/device/KR_ShaderStageType.h"

#include <cstdint>

class KR_ShaderProperties
{
public:
    // Eight empty strings; the macro list has capacity 5 and holds the null pair.
    KR_ShaderProperties();

    // Copies of file and entry (null gives the empty string) for that stage; a stage outside the
    // enumeration changes nothing.
    void SetShaderStage(KR_ShaderStageType stage, const char* pFile, const char* pEntry);
    // Inserts name, then value, in front of the null pair; the list grows (5, 10, 20, ...) when
    // full. A null value and "" hash alike and both define the macro empty.
    void AddMacro(const char* pName, const char* pValue);
    // Members of the macro list, the two nulls included.
    std::uint32_t GetMacroCount() const { return m_gMacros.GetNumMembers(); }
    std::uint32_t GetMacroCapacity() const { return m_gMacros.GetCapacity(); }
    // The compiler's macro table: name/value pairs closed by a null pair.
    const char* const* GetMacros() const { return &m_gMacros[0]; }
    const KB_String& GetFile(KR_ShaderStageType stage) const { return m_sFile[stage % KR_NUM_SHADER_STAGES]; }
    const KB_String& GetEntry(KR_ShaderStageType stage) const
    {
        return m_sEntry[stage % KR_NUM_SHADER_STAGES];
    }

    // From seed 0: each stage's file then entry in stage order, then every member of the macro
    // list (nulls counting as ""), each combined by HashCString.
    std::uint64_t GetHash() const;
    bool operator<(const KR_ShaderProperties& other) const { return GetHash() < other.GetHash(); }

    // Combines the string's FNV-1a-64 (offset basis 0xcbf29ce484222325), folded to
    // (h >> 32) ^ h, into the seed: seed ^= folded + 0x9e3779b9 + (seed << 6) + (seed >> 2).
    // Null counts as "".
    static void HashCString(std::uint64_t& uiSeed, const char* pText);

private:
    static void HashBytes(std::uint64_t& uiSeed, const char* pText, std::uint64_t uiLength);

    KB_String m_sFile[KR_NUM_SHADER_STAGES];
    KB_String m_sEntry[KR_NUM_SHADER_STAGES];
    KB_GrowingArray<const char*> m_gMacros;
};
