#pragma once
// Internal to the HLSL compiler stand-in: the arguments of a pass's state calls, checked as each
// call takes them. The record keeps a state call as the text of its arguments, and the effects
// split and read that text when an effect is made; a call is accepted here only in the forms they
// read as written, so a call that compiles loads with the state it names.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <cstddef>
#include <string>
#include <vector>

namespace d3dcompiler_internal
{

struct PassCallError
{
    std::size_t Token = 0; // the token the error is at
    int Code = 0;          // the error's number, as in "error X3000"
    std::string Text;
};

// The state calls of one effect, each checked against the effect's variables, which are found by
// name once however many calls there are.
class StateCallChecks
{
public:
    // vVariables must stay as they are while this is used.
    explicit StateCallChecks(const std::vector<d3d11_internal::EffectVariable>& vVariables);

    // The arguments of the state call whose name is the token at uiName, up to the ")" at uiClose,
    // each as that call takes it:
    //   SetBlendState(state, float4(number, number, number, number), sample mask)
    //   SetDepthStencilState(state, stencil reference)
    //   SetRasterizerState(state)
    // A state is NULL, 0, or the name of a variable of the call's kind (BlendState,
    // DepthStencilState, RasterizerState) that is not an array: the record keeps one state block
    // for each variable, none for an array's elements, so no array and no element of one is
    // accepted. A number is a numeric constant after at most one sign, decimal or hexadecimal (an
    // octal one the effects would read as decimal), within the range of a float, a half constant
    // only where half precision holds its value; a sample mask or stencil reference is an integer
    // constant from 0 to 0xFFFFFFFF, or one after a '-' down to -2147483648, which stands for its
    // 32 bits as HLSL converts a negative int to a uint (-1 for 0xFFFFFFFF). False, with
    // the error, for anything else: an empty, missing or extra argument, an unknown name, a
    // variable of another kind. True for a call of any other name, which is not checked here.
    bool Check(const std::vector<SourceToken>& vTokens, std::size_t uiName, std::size_t uiClose,
               PassCallError* pError) const;

private:
    d3d11_internal::EffectVariableMap m_mapVariables; // the last variable of each name, as the effects
                                                      // find them
};

} // namespace d3dcompiler_internal
