#pragma once
// Shared by the Direct3D stand-ins, never by engine code: the shader bytecode the stand-in device
// accepts. It is a self-describing record of our own that the HLSL compiler stand-in writes (one
// compiled stage, or a whole fx_5_0 effect), that the device checks when it makes shaders and
// input layouts, and that the effects stand-in reads. Saved effect files (".fxo") hold the same
// bytes, so the layout is stable: a later version may only append fields.
//
// Layout, little-endian, packed; a string is a u32 length and that many bytes (no NUL):
//   char[4] "KVSB", u32 version (1), u32 total size in bytes;
//   string target ("vs_5_0" ... "fx_5_0"), string entry ("" for effects), u64 hash of the
//   preprocessed source, u32 numthreads x, y, z (0 when not a compute shader);
//   u32 input count, each: string semantic name, u32 semantic index;
//   u32 technique count, each: string name, u32 pass count, each pass:
//     string name, u32 shader count, each: u32 stage (ShaderStage), u32 size, bytecode of that
//     size (a whole record of this layout; size 0 when the pass sets the stage to NULL),
//     u32 state count, each: string call ("SetBlendState"), string arguments (their
//     tokens, spaced only between words);
//   u32 variable count, each: string type, string name, string constant buffer ("" outside
//     one), u32 array size (0 when not an array), string semantic, u32 assignment count, each:
//     string key, string value (the members of a state block, tokens as above).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace d3d11_internal
{

enum class ShaderStage : std::uint32_t
{
    Vertex = 0,
    Pixel = 1,
    Geometry = 2,
    Compute = 3,
    Effect = 4,
    Unknown = 5,
};

// "vs_5_0" Vertex, "ps_5_0" Pixel, "gs_5_0" Geometry, "cs_5_0" Compute, "fx_5_0" Effect, else
// Unknown.
ShaderStage StageOfTarget(const std::string& sTarget);

struct SignatureElement
{
    std::string SemanticName;
    std::uint32_t SemanticIndex = 0;
};

struct PassShader
{
    ShaderStage Stage = ShaderStage::Unknown;
    std::vector<std::uint8_t> Bytecode; // empty: the stage is set to NULL
};

struct PassState
{
    std::string Call;      // "SetBlendState", "SetDepthStencilState", "SetRasterizerState"
    std::string Arguments; // the tokens between the parentheses, spaced only between words
};

struct EffectPass
{
    std::string Name;
    std::vector<PassShader> Shaders;
    std::vector<PassState> States;
};

struct EffectTechnique
{
    std::string Name;
    std::vector<EffectPass> Passes;
};

struct StateAssignment
{
    std::string Key;   // "BlendEnable[0]", "DepthFunc", ...
    std::string Value; // "TRUE", "LESS_EQUAL", ... (tokens as in Arguments)
};

struct EffectVariable
{
    std::string Type; // "float4x4", "Texture2D<float4>", "BlendState", ...
    std::string Name;
    std::string Buffer;          // constant buffer holding it, "" for globals
    std::uint32_t ArraySize = 0; // 0 when not an array
    std::string Semantic;
    std::vector<StateAssignment> Assignments; // members of a state block
};

struct ShaderBytecode
{
    std::string Target;
    std::string Entry;
    std::uint64_t SourceHash = 0;
    std::uint32_t NumThreads[3] = {0, 0, 0};
    std::vector<SignatureElement> InputSignature;
    std::vector<EffectTechnique> Techniques; // fx_5_0 only
    std::vector<EffectVariable> Variables;   // fx_5_0 only
};

// An effect's variables by name: the last of each name where several share one, as a pass's state
// calls find the blocks they name (the compiler when it checks them, the effects when they make
// them). The names and pointers are those of the vector, which must stay as it is while the map is
// used.
using EffectVariableMap = std::unordered_map<std::string_view, const EffectVariable*>;
EffectVariableMap MapEffectVariables(const std::vector<EffectVariable>& vVariables);

constexpr std::uint32_t SHADER_BYTECODE_VERSION = 1;

std::vector<std::uint8_t> EncodeShaderBytecode(const ShaderBytecode& bytecode);
// False for anything but a whole, consistent record of a known version: wrong magic, sizes or
// counts that run past the end, an unknown target, embedded shaders that do not decode.
bool DecodeShaderBytecode(const void* pData, std::size_t uiSize, ShaderBytecode* pOut);

} // namespace d3d11_internal
