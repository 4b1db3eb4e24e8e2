#include "platform/d3dcompiler/D3DCompilerEffects.h"

#include "platform/d3dcompiler/D3DCompilerNumbers.h"
#include "platform/d3dcompiler/D3DCompilerPassCalls.h"

#include <cstdint>
#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectPass;
using d3d11_internal::PassShader;
using d3d11_internal::ShaderBytecode;
using d3d11_internal::ShaderStage;
using d3d11_internal::StageOfTarget;

namespace
{

constexpr std::size_t NONE = TokenReader::NONE;

class PassShaders
{
public:
    PassShaders(TokenReader& reader, const std::map<std::string, std::size_t>& mShaderVariables,
                const StageBuilder& buildStage, const ShaderBytecode& effect)
        : m_r(reader), m_mShaderVariables(mShaderVariables), m_buildStage(buildStage), m_effect(effect)
    {
    }

    // The shader of a Set...Shader call, from uiBegin to uiEnd, into *pBytecode (empty for NULL or 0).
    bool Build(std::size_t uiBegin, std::size_t uiEnd, ShaderStage stage,
               std::vector<std::uint8_t>* pBytecode)
    {
        StripParentheses(&uiBegin, &uiEnd);
        if (uiEnd == uiBegin + 1 && (Text(uiBegin) == "NULL" || Text(uiBegin) == "0"))
            return true;
        const std::size_t uiCompile = Find(uiBegin, uiEnd, stage);
        if (uiCompile == NONE)
        {
            // Appended, not "'" + Join(...): GCC 12 at -O3 misreads that as an overlapping copy.
            std::string sMessage = "'";
            sMessage += m_r.Join(uiBegin, uiEnd);
            sMessage += "': not a shader";
            m_r.Error(uiBegin, 3000, sMessage);
            return false;
        }
        const std::string& sTarget = Text(uiCompile + 2);
        const std::string& sEntry = Text(uiCompile + 4);
        if (Text(uiCompile + 3) != "," || !IsNameToken(sEntry))
        {
            m_r.Error(uiCompile, 3000, "syntax error: CompileShader(target, entry(...)) expected");
            return false;
        }
        if (StageOfTarget(sTarget) != stage)
        {
            m_r.Error(uiCompile + 2, 3000, "'" + sTarget + "': wrong target for this shader stage");
            return false;
        }
        ShaderBytecode shader;
        shader.Target = sTarget;
        shader.Entry = sEntry;
        shader.SourceHash = m_effect.SourceHash;
        if (!m_buildStage(stage, sEntry, uiCompile + 4, &shader))
            return false;
        *pBytecode = d3d11_internal::EncodeShaderBytecode(shader);
        return true;
    }

private:
    const std::string& Text(std::size_t i) const { return m_r.Text(i); }

    // Parentheses around the whole of the tokens from *pBegin to *pEnd, which change nothing.
    void StripParentheses(std::size_t* pBegin, std::size_t* pEnd) const
    {
        while (*pEnd > *pBegin + 1 && Text(*pBegin) == "(" && m_r.Match(*pBegin) == *pEnd - 1)
        {
            ++*pBegin;
            --*pEnd;
        }
    }

    // The "CompileShader" token of the shader from uiBegin to uiEnd; NONE when there is none.
    std::size_t Find(std::size_t uiBegin, std::size_t uiEnd, ShaderStage stage) const
    {
        if (stage == ShaderStage::Geometry && Text(uiBegin) == "ConstructGSWithSO" &&
            Text(uiBegin + 1) == "(" && m_r.Match(uiBegin + 1) == uiEnd - 1)
        {
            // The first argument, to its ',' (brackets passed over whole).
            uiBegin += 2;
            std::size_t k = uiBegin;
            while (k < uiEnd - 1 && Text(k) != "," && Text(k) != ";")
                k = Text(k) == "(" || Text(k) == "[" || Text(k) == "{" ? m_r.Match(k) + 1 : k + 1;
            uiEnd = k;
            StripParentheses(&uiBegin, &uiEnd);
        }
        if (uiEnd == uiBegin + 1)
        {
            auto it = m_mShaderVariables.find(Text(uiBegin));
            return it == m_mShaderVariables.end() ? NONE : it->second;
        }
        if (Text(uiBegin) == "CompileShader" && Text(uiBegin + 1) == "(" &&
            m_r.Match(uiBegin + 1) == uiEnd - 1)
            return uiBegin;
        return NONE;
    }

    TokenReader& m_r;
    const std::map<std::string, std::size_t>& m_mShaderVariables;
    const StageBuilder& m_buildStage;
    const ShaderBytecode& m_effect;
};

} // namespace

bool BuildEffect(TokenReader& reader, Techniques techniques,
                 std::vector<d3d11_internal::EffectVariable> vVariables,
                 const std::map<std::string, std::size_t>& mShaderVariables, const StageBuilder& buildStage,
                 ShaderBytecode* pOut)
{
    if (!techniques.HasTechnique11)
    {
        reader.Error(NONE, 3000, "an fx_5_0 effect needs at least one technique11");
        return false;
    }
    const StateCallChecks stateCalls(vVariables);
    PassShaders shaders(reader, mShaderVariables, buildStage, *pOut);
    for (const PassCall& call : techniques.Calls)
    {
        EffectPass& pass = techniques.List[call.Technique].Passes[call.Pass];
        const std::string& sCall = reader.Text(call.Token);
        const std::size_t uiOpen = call.Token + 1;
        const std::size_t uiClose = reader.Match(uiOpen);
        switch (call.Name->Kind)
        {
        case PassCallKind::State:
        {
            PassCallError error;
            if (!stateCalls.Check(reader.Tokens(), call.Token, uiClose, &error))
            {
                reader.Error(error.Token, error.Code, error.Text);
                return false;
            }
            pass.States.push_back({sCall, reader.Join(uiOpen + 1, uiClose)});
            break;
        }
        case PassCallKind::UnboundShader:
            // Kept as written, as a call that sets nothing bound.
            if (uiClose != uiOpen + 2 ||
                (reader.Text(uiOpen + 1) != "NULL" && reader.Text(uiOpen + 1) != "0"))
            {
                reader.Error(uiOpen + 1, 3000,
                             "'" + sCall + "': the effects bind no " + call.Name->StageName +
                                 " shader; only NULL or 0 is taken");
                return false;
            }
            pass.States.push_back({sCall, reader.Join(uiOpen + 1, uiClose)});
            break;
        case PassCallKind::Shader:
        {
            PassShader shader;
            shader.Stage = call.Name->Stage;
            if (!shaders.Build(uiOpen + 1, uiClose, shader.Stage, &shader.Bytecode))
                return false;
            pass.Shaders.push_back(std::move(shader));
            break;
        }
        }
    }
    pOut->Techniques = std::move(techniques.List);
    pOut->Variables = std::move(vVariables);
    return true;
}

} // namespace d3dcompiler_internal
