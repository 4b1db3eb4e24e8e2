#pragma once
// Internal to the HLSL compiler stand-in: the blocks of state objects' declarations
// ("RasterizerState rs { CullMode = NONE; };"). The blocks of the kinds the effects read back
// member by member to build the states a pass sets (blend, depth-stencil and rasterizer states)
// are read member by member and checked as the effects read them; those of other kinds (samplers)
// are kept as the text of their members, never read.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace d3dcompiler_internal
{

// The types whose declarations take a block: the state objects, and the interfaces, classes and
// namespaces of HLSL, whose blocks are passed over as those of samplers are.
bool TakesBlock(const std::string& sType);
// Whether a declaration of the type may take "= value": all but the state objects the effects
// read, whose members are written in a block.
bool TakesValue(const std::string& sType);

// The block at uiOpen ("{") of the variable sName of type sType (uiArraySize elements, 0 for
// none), into *pVariable: "{ member; ... }", or for an array "{ { member; ... }, ... }" (each
// element read by the rules of its kind, none kept: the record holds one block for each variable,
// and the effects name no element). On an error reader.Ok() is false.
void ReadStateBlock(TokenReader& reader, std::size_t uiOpen, const std::string& sType,
                    const std::string& sName, std::uint32_t uiArraySize,
                    d3d11_internal::EffectVariable* pVariable);

} // namespace d3dcompiler_internal
