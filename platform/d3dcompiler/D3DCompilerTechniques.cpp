#include "platform/d3dcompiler/D3DCompilerTechniques.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"

#include <string>
#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectPass;
using d3d11_internal::EffectTechnique;
using d3d11_internal::ShaderStage;

namespace
{

constexpr PassCallName PASS_CALLS[] = {
    {"SetVertexShader", PassCallKind::Shader, ShaderStage::Vertex, "vertex"},
    {"SetHullShader", PassCallKind::UnboundShader, ShaderStage::Unknown, "hull"},
    {"SetDomainShader", PassCallKind::UnboundShader, ShaderStage::Unknown, "domain"},
    {"SetGeometryShader", PassCallKind::Shader, ShaderStage::Geometry, "geometry"},
    {"SetPixelShader", PassCallKind::Shader, ShaderStage::Pixel, "pixel"},
    {"SetComputeShader", PassCallKind::Shader, ShaderStage::Compute, "compute"},
    {"SetBlendState", PassCallKind::State, ShaderStage::Unknown, nullptr},
    {"SetDepthStencilState", PassCallKind::State, ShaderStage::Unknown, nullptr},
    {"SetRasterizerState", PassCallKind::State, ShaderStage::Unknown, nullptr},
};

// "[name] [<annotations>] {" from i: the name into *pName; the "{" or NONE, with the error.
std::size_t ReadHeading(TokenReader& reader, std::size_t i, const char* pWhat, std::string* pName)
{
    if (IsNameToken(reader.Text(i)))
        *pName = reader.Text(i++);
    if (reader.Text(i) == "<")
        i = reader.SkipAngles(i);
    if (reader.Text(i) != "{")
    {
        reader.Error(i, 3000, std::string("syntax error: '{' expected after ") + pWhat + " '" + *pName + "'");
        return TokenReader::NONE;
    }
    return i;
}

// The calls of the pass whose "{" is at uiOpen, into pOut->Calls for the pass given.
void ReadPassCalls(TokenReader& reader, std::size_t uiOpen, std::size_t uiTechnique, std::size_t uiPass,
                   Techniques* pOut)
{
    const std::size_t uiClose = reader.Match(uiOpen);
    for (std::size_t i = uiOpen + 1; i < uiClose;)
    {
        if (reader.Text(i) == ";")
        {
            ++i;
            continue;
        }
        if (!IsNameToken(reader.Text(i)) || reader.Text(i + 1) != "(")
            return reader.Unexpected(i);
        const PassCallName* pName = FindPassCall(reader.Text(i));
        if (pName == nullptr)
            return reader.Error(i, 3004, "undeclared identifier '" + reader.Text(i) + "'");
        pOut->Calls.push_back({uiTechnique, uiPass, i, pName});
        i = reader.Match(i + 1) + 1;
        if (reader.Text(i) == ";")
            ++i;
        else if (i != uiClose)
            return reader.Unexpected(i);
    }
}

} // namespace

const PassCallName* FindPassCall(std::string_view name)
{
    for (const PassCallName& call : PASS_CALLS)
        if (name == call.Name)
            return &call;
    return nullptr;
}

std::size_t ReadTechnique(TokenReader& reader, std::size_t i, Techniques* pOut)
{
    const bool bTechnique11 = reader.Text(i) == "technique11";
    EffectTechnique technique;
    const std::size_t uiOpen = ReadHeading(reader, i + 1, "technique", &technique.Name);
    if (uiOpen == TokenReader::NONE)
        return reader.Size();
    const std::size_t uiClose = reader.Match(uiOpen);
    for (std::size_t k = uiOpen + 1; k < uiClose && reader.Ok();)
    {
        if (reader.Text(k) == ";")
        {
            ++k;
            continue;
        }
        if (reader.Text(k) != "pass")
        {
            reader.Unexpected(k);
            break;
        }
        EffectPass pass;
        const std::size_t uiPassOpen = ReadHeading(reader, k + 1, "pass", &pass.Name);
        if (uiPassOpen == TokenReader::NONE)
            break;
        ReadPassCalls(reader, uiPassOpen, pOut->List.size(), technique.Passes.size(), pOut);
        technique.Passes.push_back(std::move(pass));
        k = reader.Match(uiPassOpen) + 1;
    }
    pOut->HasTechnique11 = pOut->HasTechnique11 || bTechnique11;
    pOut->List.push_back(std::move(technique));
    return uiClose + 1;
}

} // namespace d3dcompiler_internal
