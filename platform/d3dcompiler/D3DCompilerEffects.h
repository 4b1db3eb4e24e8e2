#pragma once
// Internal to the HLSL compiler stand-in: an effect's record from the techniques and variables its
// text declares, each pass's calls as the effects apply them: a shader call's shader compiled from
// its entry, a state call checked against the variables it names.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerTechniques.h"
#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace d3dcompiler_internal
{

// Fills the stage's fields of *pOut, whose Target, Entry and SourceHash are set, from its entry;
// uiAt is the token an error about the entry points at. False, with the error.
using StageBuilder = std::function<bool(d3d11_internal::ShaderStage stage, const std::string& sEntry,
                                        std::size_t uiAt, d3d11_internal::ShaderBytecode* pOut)>;

// The effect's techniques and variables into *pOut, whose SourceHash its pass shaders take over.
// A pass shader is NULL, 0, CompileShader(target, entry(...)), a variable whose value holds one
// (mShaderVariables: its name -> that "CompileShader" token), or for a geometry shader either of
// the last two as the first argument of ConstructGSWithSO(shader, ...) (the stream output it
// declares is not read); parentheses around it change nothing. A state call is checked as
// StateCallChecks does; a call of a stage the effects do not bind takes NULL or 0 only. False,
// with the error, for anything else and for an effect without a technique11.
bool BuildEffect(TokenReader& reader, Techniques techniques,
                 std::vector<d3d11_internal::EffectVariable> vVariables,
                 const std::map<std::string, std::size_t>& mShaderVariables, const StageBuilder& buildStage,
                 d3d11_internal::ShaderBytecode* pOut);

} // namespace d3dcompiler_internal
