#pragma once
// Internal to the HLSL compiler stand-in: the checks a compiler makes cheaply on preprocessed
// source, and what the bytecode record needs from it. It reads the top level only, which holds
// declarations (variables with their initializers and state blocks, structs, constant buffers,
// typedefs, functions with their attributes and parameters, interfaces, classes, namespaces),
// techniques with their passes, and lone ';'; anything else there is an error. Function bodies,
// and the blocks of interfaces, classes and namespaces, are only checked for balance.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <string>
#include <vector>

namespace d3dcompiler_internal
{

// Fills the record's stage fields for the target (vs/ps/gs/cs: the entry's input signature and,
// for cs, its numthreads; fx: techniques, passes with their compiled shaders and states, and the
// variables). pOut->Target, Entry and SourceHash must be set by the caller; the pass shaders
// take them over. False with error lines in *pErrors.
bool AnalyzeSource(const std::vector<SourceToken>& vTokens, const std::string& sSourceName,
                   d3d11_internal::ShaderBytecode* pOut, std::string* pErrors);

} // namespace d3dcompiler_internal
