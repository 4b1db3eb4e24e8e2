#pragma once
// Test control of the effects stand-in: failure injection, counters and the log of applied
// passes, each with a snapshot of every variable of its effect at that moment. Engine code never
// includes this header. Every function is thread-safe.

#include "platform/win32/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ID3DX11Effect;

namespace Effects11Control
{

// One variable as a pass saw it.
struct VariableSnapshot
{
    std::string Name;
    std::string Type;       // as declared: "float4", "Texture2D", "BlendState", ...
    std::uint32_t Elements; // declared array size, 0 when not an array
    // Numeric variables: every component of every element, integers as floats (a float4x4 is
    // 16 values per element, row-major as set). Empty for objects.
    std::vector<float> Values;
    // Shader-resource and unordered-access variables: the object id (D3D11Control::GetObjectId)
    // per element, 0 for null. Empty for other variables.
    std::vector<std::uint64_t> Resources;
    bool Written; // a setter has succeeded on it since the effect was made
};

struct ApplyRecord
{
    std::uint64_t Effect; // numbered from 1 per created effect, never reused
    std::uint32_t Technique;
    std::string TechniqueName;
    std::uint32_t Pass;
    std::string PassName;
    std::vector<VariableSnapshot> Variables; // in declaration order

    // Null when the effect has no variable of that name.
    const VariableSnapshot* Find(const std::string& sName) const;
};

// No failures queued, counters 0, the apply log emptied and logging on. Live effects are not
// touched.
void Reset();
// The next call of that name ("D3DX11CreateEffectFromMemory", "Apply") fails with hr; queued
// failures are taken in order, each once.
void FailNext(const std::string& sCall, HRESULT hr = E_FAIL);
// Successful effect creations since Reset.
std::uint64_t GetCreateCount();
// Effects not yet released.
std::size_t GetLiveEffectCount();

// Successful Apply calls since Reset or the last ClearApplyLog, oldest first. The log keeps the
// latest 1024 entries.
std::vector<ApplyRecord> GetApplyLog();
void ClearApplyLog();
// Off: Apply records nothing (a long run keeps no snapshots). Off in a real run (no Reset yet);
// Reset turns it on.
void SetApplyLogging(bool bEnabled);
// The effect number the records carry for that effect; 0 for null or a foreign object.
std::uint64_t GetEffectNumber(ID3DX11Effect* pEffect);

} // namespace Effects11Control
