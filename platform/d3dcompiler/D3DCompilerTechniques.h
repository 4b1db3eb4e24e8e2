#pragma once
// Internal to the HLSL compiler stand-in: the techniques of an effect, each holding passes, each
// pass holding calls that set its shaders and state objects. What a technique or a pass holds is
// read whole: anything but a pass in a technique, or a call of those a pass knows in a pass, is an
// error naming the token.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace d3dcompiler_internal
{

// What a call of a pass sets.
enum class PassCallKind
{
    Shader,        // the shader of a stage the effects bind
    UnboundShader, // the shader of a stage the effects have none of: only NULL or 0
    State,         // a state object, with its numbers
};

struct PassCallName
{
    const char* Name;
    PassCallKind Kind;
    d3d11_internal::ShaderStage Stage; // of a Shader call
    const char* StageName;             // of a shader call, for its errors
};

// The call of that name a pass knows (names match with case); null for any other.
const PassCallName* FindPassCall(std::string_view name);

// A call in a pass, by where it stands: its technique, its pass and the token of its name.
struct PassCall
{
    std::size_t Technique;
    std::size_t Pass;
    std::size_t Token;
    const PassCallName* Name;
};

// The techniques of one text, in order, and the calls of their passes.
struct Techniques
{
    std::vector<d3d11_internal::EffectTechnique> List;
    std::vector<PassCall> Calls;
    bool HasTechnique11 = false;
};

// Reads the technique whose keyword ("technique11", "technique10" or "technique") is token i into
// *pOut: "keyword [name] [<annotations>] { passes }", each pass "pass [name] [<annotations>]
// { calls }", each call "name(arguments);" (the last before its pass's "}" may go without ';'),
// a lone ';' allowed between passes and between calls. The calls' arguments are read when the
// effect is built. Past the technique's "}"; on an error reader.Ok() is false.
std::size_t ReadTechnique(TokenReader& reader, std::size_t i, Techniques* pOut);

} // namespace d3dcompiler_internal
