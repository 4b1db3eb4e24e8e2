#include "platform/d3d11/D3D11ShaderBytecode.h"

#include <cstring>

namespace d3d11_internal
{

namespace
{

constexpr char MAGIC[4] = {'K', 'V', 'S', 'B'};
constexpr std::size_t HEADER_SIZE = 12;

class Writer
{
public:
    void U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_v.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void U64(std::uint64_t v)
    {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Bytes(const void* p, std::size_t n)
    {
        const auto* pBytes = static_cast<const std::uint8_t*>(p);
        m_v.insert(m_v.end(), pBytes, pBytes + n);
    }
    void String(const std::string& s)
    {
        U32(static_cast<std::uint32_t>(s.size()));
        Bytes(s.data(), s.size());
    }
    std::vector<std::uint8_t>& Get() { return m_v; }

private:
    std::vector<std::uint8_t> m_v;
};

// Reads between a cursor and an end; every read fails once anything ran short.
class Reader
{
public:
    Reader(const std::uint8_t* p, const std::uint8_t* pEnd) : m_p(p), m_pEnd(pEnd) {}

    bool U32(std::uint32_t* pOut)
    {
        if (Left() < 4)
            return false;
        *pOut = static_cast<std::uint32_t>(m_p[0]) | static_cast<std::uint32_t>(m_p[1]) << 8 |
                static_cast<std::uint32_t>(m_p[2]) << 16 | static_cast<std::uint32_t>(m_p[3]) << 24;
        m_p += 4;
        return true;
    }
    bool U64(std::uint64_t* pOut)
    {
        std::uint32_t uiLow = 0;
        std::uint32_t uiHigh = 0;
        if (!U32(&uiLow) || !U32(&uiHigh))
            return false;
        *pOut = static_cast<std::uint64_t>(uiHigh) << 32 | uiLow;
        return true;
    }
    bool String(std::string* pOut)
    {
        std::uint32_t uiLength = 0;
        if (!U32(&uiLength) || uiLength > Left())
            return false;
        pOut->assign(reinterpret_cast<const char*>(m_p), uiLength);
        m_p += uiLength;
        return true;
    }
    // A count of records of at least uiMinSize bytes each, checked against what is left before
    // anything is allocated for them.
    bool Count(std::uint32_t* pOut, std::size_t uiMinSize)
    {
        return U32(pOut) && *pOut <= Left() / uiMinSize;
    }
    bool Span(std::size_t n, const std::uint8_t** ppOut)
    {
        if (n > Left())
            return false;
        *ppOut = m_p;
        m_p += n;
        return true;
    }
    std::size_t Left() const { return static_cast<std::size_t>(m_pEnd - m_p); }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_pEnd;
};

bool DecodeRecord(const void* pData, std::size_t uiSize, ShaderBytecode* pOut, bool bEmbedded);

bool DecodeTechniques(Reader& r, std::vector<EffectTechnique>* pOut)
{
    std::uint32_t uiTechniques = 0;
    if (!r.Count(&uiTechniques, 8))
        return false;
    pOut->resize(uiTechniques);
    for (EffectTechnique& technique : *pOut)
    {
        std::uint32_t uiPasses = 0;
        if (!r.String(&technique.Name) || !r.Count(&uiPasses, 12))
            return false;
        technique.Passes.resize(uiPasses);
        for (EffectPass& pass : technique.Passes)
        {
            std::uint32_t uiShaders = 0;
            if (!r.String(&pass.Name) || !r.Count(&uiShaders, 8))
                return false;
            pass.Shaders.resize(uiShaders);
            for (PassShader& shader : pass.Shaders)
            {
                std::uint32_t uiStage = 0;
                std::uint32_t uiSize = 0;
                const std::uint8_t* pBytes = nullptr;
                if (!r.U32(&uiStage) || uiStage >= static_cast<std::uint32_t>(ShaderStage::Effect) ||
                    !r.U32(&uiSize) || !r.Span(uiSize, &pBytes))
                {
                    return false;
                }
                shader.Stage = static_cast<ShaderStage>(uiStage);
                if (uiSize == 0)
                    continue;
                ShaderBytecode embedded;
                if (!DecodeRecord(pBytes, uiSize, &embedded, true) ||
                    StageOfTarget(embedded.Target) != shader.Stage)
                {
                    return false;
                }
                shader.Bytecode.assign(pBytes, pBytes + uiSize);
            }
            std::uint32_t uiStates = 0;
            if (!r.Count(&uiStates, 8))
                return false;
            pass.States.resize(uiStates);
            for (PassState& state : pass.States)
                if (!r.String(&state.Call) || !r.String(&state.Arguments))
                    return false;
        }
    }
    return true;
}

bool DecodeVariables(Reader& r, std::vector<EffectVariable>* pOut)
{
    std::uint32_t uiVariables = 0;
    if (!r.Count(&uiVariables, 24))
        return false;
    pOut->resize(uiVariables);
    for (EffectVariable& variable : *pOut)
    {
        std::uint32_t uiAssignments = 0;
        if (!r.String(&variable.Type) || !r.String(&variable.Name) || !r.String(&variable.Buffer) ||
            !r.U32(&variable.ArraySize) || !r.String(&variable.Semantic) || !r.Count(&uiAssignments, 8))
        {
            return false;
        }
        variable.Assignments.resize(uiAssignments);
        for (StateAssignment& assignment : variable.Assignments)
            if (!r.String(&assignment.Key) || !r.String(&assignment.Value))
                return false;
    }
    return true;
}

bool DecodeRecord(const void* pData, std::size_t uiSize, ShaderBytecode* pOut, bool bEmbedded)
{
    if (pData == nullptr || uiSize < HEADER_SIZE || std::memcmp(pData, MAGIC, 4) != 0)
        return false;
    const auto* pBytes = static_cast<const std::uint8_t*>(pData);
    Reader r(pBytes + 4, pBytes + uiSize);
    std::uint32_t uiVersion = 0;
    std::uint32_t uiTotal = 0;
    if (!r.U32(&uiVersion) || uiVersion != SHADER_BYTECODE_VERSION || !r.U32(&uiTotal) || uiTotal != uiSize)
        return false;

    ShaderBytecode out;
    std::uint32_t uiInputs = 0;
    if (!r.String(&out.Target) || !r.String(&out.Entry) || !r.U64(&out.SourceHash) ||
        !r.U32(&out.NumThreads[0]) || !r.U32(&out.NumThreads[1]) || !r.U32(&out.NumThreads[2]) ||
        !r.Count(&uiInputs, 8))
    {
        return false;
    }
    const ShaderStage stage = StageOfTarget(out.Target);
    if (stage == ShaderStage::Unknown || (bEmbedded && stage == ShaderStage::Effect))
        return false;
    out.InputSignature.resize(uiInputs);
    for (SignatureElement& element : out.InputSignature)
        if (!r.String(&element.SemanticName) || !r.U32(&element.SemanticIndex))
            return false;
    if (!DecodeTechniques(r, &out.Techniques) || !DecodeVariables(r, &out.Variables) || r.Left() != 0)
        return false;
    *pOut = std::move(out);
    return true;
}

void EncodeTechniques(Writer& w, const std::vector<EffectTechnique>& techniques)
{
    w.U32(static_cast<std::uint32_t>(techniques.size()));
    for (const EffectTechnique& technique : techniques)
    {
        w.String(technique.Name);
        w.U32(static_cast<std::uint32_t>(technique.Passes.size()));
        for (const EffectPass& pass : technique.Passes)
        {
            w.String(pass.Name);
            w.U32(static_cast<std::uint32_t>(pass.Shaders.size()));
            for (const PassShader& shader : pass.Shaders)
            {
                w.U32(static_cast<std::uint32_t>(shader.Stage));
                w.U32(static_cast<std::uint32_t>(shader.Bytecode.size()));
                w.Bytes(shader.Bytecode.data(), shader.Bytecode.size());
            }
            w.U32(static_cast<std::uint32_t>(pass.States.size()));
            for (const PassState& state : pass.States)
            {
                w.String(state.Call);
                w.String(state.Arguments);
            }
        }
    }
}

} // namespace

ShaderStage StageOfTarget(const std::string& sTarget)
{
    if (sTarget == "vs_5_0")
        return ShaderStage::Vertex;
    if (sTarget == "ps_5_0")
        return ShaderStage::Pixel;
    if (sTarget == "gs_5_0")
        return ShaderStage::Geometry;
    if (sTarget == "cs_5_0")
        return ShaderStage::Compute;
    if (sTarget == "fx_5_0")
        return ShaderStage::Effect;
    return ShaderStage::Unknown;
}

EffectVariableMap MapEffectVariables(const std::vector<EffectVariable>& vVariables)
{
    EffectVariableMap map;
    map.reserve(vVariables.size());
    for (const EffectVariable& variable : vVariables)
        map[variable.Name] = &variable;
    return map;
}

std::vector<std::uint8_t> EncodeShaderBytecode(const ShaderBytecode& bytecode)
{
    Writer w;
    w.Bytes(MAGIC, 4);
    w.U32(SHADER_BYTECODE_VERSION);
    w.U32(0); // total size, patched below
    w.String(bytecode.Target);
    w.String(bytecode.Entry);
    w.U64(bytecode.SourceHash);
    for (std::uint32_t uiThreads : bytecode.NumThreads)
        w.U32(uiThreads);
    w.U32(static_cast<std::uint32_t>(bytecode.InputSignature.size()));
    for (const SignatureElement& element : bytecode.InputSignature)
    {
        w.String(element.SemanticName);
        w.U32(element.SemanticIndex);
    }
    EncodeTechniques(w, bytecode.Techniques);
    w.U32(static_cast<std::uint32_t>(bytecode.Variables.size()));
    for (const EffectVariable& variable : bytecode.Variables)
    {
        w.String(variable.Type);
        w.String(variable.Name);
        w.String(variable.Buffer);
        w.U32(variable.ArraySize);
        w.String(variable.Semantic);
        w.U32(static_cast<std::uint32_t>(variable.Assignments.size()));
        for (const StateAssignment& assignment : variable.Assignments)
        {
            w.String(assignment.Key);
            w.String(assignment.Value);
        }
    }
    std::vector<std::uint8_t>& v = w.Get();
    const auto uiTotal = static_cast<std::uint32_t>(v.size());
    for (int i = 0; i < 4; ++i)
        v[8 + i] = static_cast<std::uint8_t>(uiTotal >> (8 * i));
    return std::move(v);
}

bool DecodeShaderBytecode(const void* pData, std::size_t uiSize, ShaderBytecode* pOut)
{
    return pOut != nullptr && DecodeRecord(pData, uiSize, pOut, false);
}

} // namespace d3d11_internal
