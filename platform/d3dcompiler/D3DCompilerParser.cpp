#include "platform/d3dcompiler/D3DCompilerParser.h"

#include "platform/d3dcompiler/D3DCompilerEffects.h"
#include "platform/d3dcompiler/D3DCompilerIntegerExpression.h"
#include "platform/d3dcompiler/D3DCompilerNumbers.h"
#include "platform/d3dcompiler/D3DCompilerSignature.h"
#include "platform/d3dcompiler/D3DCompilerStateBlocks.h"
#include "platform/d3dcompiler/D3DCompilerTechniques.h"
#include "platform/d3dcompiler/D3DCompilerTokenReader.h"
#include "platform/d3dcompiler/D3DCompilerTypes.h"
#include "platform/d3dcompiler/D3DCompilerValues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectVariable;
using d3d11_internal::ShaderBytecode;
using d3d11_internal::ShaderStage;
using d3d11_internal::SignatureElement;
using d3d11_internal::StageOfTarget;

namespace
{

// Limits of one thread group.
constexpr std::uint32_t MAX_THREADS_XY = 1024;
constexpr std::uint32_t MAX_THREADS_Z = 64;
constexpr std::uint32_t MAX_THREADS = 1024;
// Elements of one stage's input signature (its input registers).
constexpr std::size_t MAX_INPUT_ELEMENTS = 32;
// Levels of structs an input signature is read through; members of deeper ones add nothing.
constexpr int MAX_SIGNATURE_DEPTH = 8;
// Bytes of type and buffer names the declarators of a text may hold, each its own copy: one long
// type shared by many declarators would otherwise make a record far larger than the text.
constexpr std::size_t MAX_DECLARED_BYTES = 32u << 20;

const std::set<std::string> DECLARATION_MODIFIERS = {
    "static",   "const",   "uniform",   "extern",       "shared",          "groupshared",
    "volatile", "precise", "row_major", "column_major", "inline",          "snorm",
    "unorm",    "linear",  "centroid",  "sample",       "nointerpolation", "noperspective"};
// Words that begin a declaration of their own or stand before a declaration's type: none names
// what a declaration declares (nor does a type HLSL has, see IsHlslTypeKeyword).
const std::set<std::string> RESERVED_WORDS = {
    "technique11", "technique10", "technique", "struct",       "cbuffer", "tbuffer",     "typedef",
    "interface",   "class",       "namespace", "fxgroup",      "void",    "unsigned",    "signed",
    "static",      "const",       "uniform",   "extern",       "shared",  "groupshared", "volatile",
    "precise",     "inline",      "row_major", "column_major", "snorm",   "unorm"};
const std::set<std::string> PARAMETER_MODIFIERS = {
    "in",      "out",         "inout",  "uniform",         "const",         "point",    "line",   "triangle",
    "lineadj", "triangleadj", "linear", "nointerpolation", "noperspective", "centroid", "sample", "precise"};
// Modifiers of a parameter's type, written among its own.
const std::set<std::string> TYPE_MODIFIERS = {"row_major", "column_major", "snorm", "unorm"};

struct Declarator
{
    std::string Type;
    std::string Name;
    std::string Semantic;
    std::uint32_t ArraySize = 0;
    bool Output = false; // an out parameter
    bool Uniform = false;
    bool RowMajor = false; // row_major is written before its type (column_major is the default)
};

struct Function
{
    std::string Name;
    std::vector<Declarator> Parameters;
    std::map<std::string, std::vector<std::string>> Attributes; // name -> argument texts
    std::size_t NameToken = 0;
    bool HasBody = false;
};

class Analyzer : public TokenReader
{
public:
    Analyzer(const std::vector<SourceToken>& vTokens, const std::string& sSourceName, std::string* pErrors)
        : TokenReader(vTokens, sSourceName, pErrors)
    {
    }

    bool Run(ShaderBytecode* pOut)
    {
        if (!CheckBalance())
            return false;
        IndexValues();
        ParseTopLevel();
        if (!m_bOk)
            return false;
        for (std::size_t i = 0; i < m_vFunctions.size(); ++i)
            if (m_vFunctions[i].HasBody)
                m_mFunctions.emplace(m_vFunctions[i].Name, i); // the first one stays
        const ShaderStage stage = StageOfTarget(pOut->Target);
        if (stage == ShaderStage::Effect)
            return BuildEffect(
                *this, std::move(m_techniques), std::move(m_vVariables), m_mShaderVariables,
                [this](ShaderStage entryStage, const std::string& sEntry, std::size_t uiAt,
                       ShaderBytecode* pShader) { return BuildStage(entryStage, sEntry, uiAt, pShader); },
                pOut);
        return BuildStage(stage, pOut->Entry, NONE, pOut);
    }

private:
    // m_vLastCompile gets, for each token, the last "CompileShader(" at or before it: a value's
    // shader is then found at once, whatever the value holds.
    void IndexValues()
    {
        m_vLastCompile.assign(m_v.size(), NONE);
        for (std::size_t i = 0; i < m_v.size(); ++i)
            m_vLastCompile[i] = Text(i) == "CompileShader" && Text(i + 1) == "(" ? i
                                : i > 0                                          ? m_vLastCompile[i - 1]
                                                                                 : NONE;
    }

    // Past the type at i: a word with its template arguments, or "unsigned int" or "signed int";
    // NONE when there is no word there.
    std::size_t SkipDeclaredType(std::size_t i) const
    {
        if ((Text(i) == "unsigned" || Text(i) == "signed") && Text(i + 1) == "int")
            return i + 2;
        return SkipType(i);
    }

    bool IsTypeName(const std::string& s) const { return IsHlslType(s) || m_setTypes.count(s) != 0; }

    // A word a declaration may name: none of those that begin a declaration or stand before its
    // type, nor a type HLSL has.
    static bool IsDeclaratorName(const std::string& s)
    {
        return IsNameToken(s) && RESERVED_WORDS.count(s) == 0 && !IsHlslTypeKeyword(s);
    }

    // The type from uiType to uiEnd (past SkipDeclaredType) is one HLSL has, one the text declared
    // before here, or "void" where bVoid; else an error naming it (a keyword there is an unexpected
    // token).
    bool CheckType(std::size_t uiType, std::size_t uiEnd, bool bVoid)
    {
        const std::string& s = Text(uiType);
        if (uiEnd == uiType + 2 && (s == "unsigned" || s == "signed"))
            return true;
        if (IsTypeName(s) || (bVoid && s == "void"))
            return true;
        if (RESERVED_WORDS.count(s) != 0) // a keyword out of place ("shared cbuffer"), not a type
            Unexpected(uiType);
        else
            Error(uiType, 3000, "unrecognized identifier '" + s + "'");
        return false;
    }

    // Past a type at i, its template arguments included; NONE when there is no word there. Its
    // text, Join(i, end), is made only for a declaration that is kept.
    std::size_t SkipType(std::size_t i) const
    {
        if (!IsNameToken(Text(i)))
            return NONE;
        return Text(i + 1) == "<" ? SkipAngles(i + 1) : i + 1;
    }

    // Array dimensions ([n][m]...) at i: the product into *pSize (0 when not an array).
    std::size_t ParseArray(std::size_t i, std::uint32_t* pSize)
    {
        *pSize = 0;
        while (Text(i) == "[")
        {
            const std::size_t uiClose = m_vMatch[i];
            std::vector<const SourceToken*> v;
            for (std::size_t k = i + 1; k < uiClose; ++k)
                v.push_back(&m_v[k]);
            std::int64_t iCount = 0;
            if (v.empty())
                iCount = 0; // unsized, as in a parameter
            else if (!IntegerExpression(v).Evaluate(&iCount) || iCount <= 0 || iCount > 65536)
                Error(i, 3000, "array dimension must be a positive integer constant");
            const std::uint64_t uiSize = (*pSize == 0 ? 1 : *pSize) * static_cast<std::uint64_t>(iCount);
            *pSize = uiSize > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(uiSize);
            i = uiClose + 1;
        }
        return i;
    }

    // ": SEMANTIC", ": register(...)", ": packoffset(...)", any number of them.
    std::size_t ParseSemantic(std::size_t i, std::string* pSemantic) const
    {
        while (Text(i) == ":" && IsNameToken(Text(i + 1)))
        {
            if ((Text(i + 1) == "register" || Text(i + 1) == "packoffset") && Text(i + 2) == "(")
            {
                i = m_vMatch[i + 2] + 1;
                continue;
            }
            *pSemantic = Text(i + 1);
            i += 2;
        }
        return i;
    }

    // ParseSemantic after a declarator or a function's parameters. A type there that begins a
    // declaration ("float4 h") is the next statement, the ';' before it left out: an error at the
    // type, NONE.
    std::size_t ParseDeclaredSemantic(std::size_t i, std::string* pSemantic)
    {
        const std::size_t k = ParseSemantic(i, pSemantic);
        if (k > i && Text(k - 2) == ":" && IsTypeName(Text(k - 1)) && IsNameToken(Text(k)))
        {
            Unexpected(k - 1);
            return NONE;
        }
        return k;
    }

    // The top level: declarations, techniques and lone ';'. Anything else is an error at its
    // first token.
    void ParseTopLevel()
    {
        std::size_t i = 0;
        while (i < m_v.size() && m_bOk)
        {
            const std::string& s = Text(i);
            if (s == ";")
            {
                ++i;
            }
            else if (s == "technique11" || s == "technique10" || s == "technique")
            {
                i = ReadTechnique(*this, i, &m_techniques);
            }
            else if (s == "fxgroup")
            {
                Error(i, 3000,
                      "'fxgroup': groups of techniques are not read; declare their techniques at the top "
                      "level");
            }
            else if (s == "struct")
            {
                // The declarators after the block are read, and kept nowhere.
                std::size_t k = ParseStructBlock(i, nullptr);
                if (k != NONE && k < m_v.size() && Text(k) != ";")
                    k = ParseDeclarators(k, m_v.size(), i, s, false, "", nullptr, nullptr);
                i = k == NONE ? m_v.size() : k + (Text(k) == ";" ? 1 : 0);
            }
            else if (s == "cbuffer" || s == "tbuffer")
            {
                i = ParseBuffer(i);
            }
            else if (s == "typedef")
            {
                i = ParseTypedef(i);
            }
            else
            {
                i = ParseTopLevelDeclaration(i);
            }
        }
    }

    // "struct [name] { members }" at i: a name becomes a type of the text, whose members are kept for
    // the input signatures of the parameters of its type; the members also in *pMembers when it is
    // not null. Past the "}"; NONE, with the error, when no block follows.
    std::size_t ParseStructBlock(std::size_t i, std::vector<Declarator>* pMembers)
    {
        const bool bNamed = IsDeclaratorName(Text(i + 1));
        const std::size_t uiOpen = bNamed ? i + 2 : i + 1;
        if (Text(uiOpen) != "{")
        {
            Unexpected(i);
            return NONE;
        }
        std::vector<Declarator> vMembers;
        std::vector<Declarator>* pKept = &vMembers;
        if (bNamed)
        {
            m_setTypes.insert(Text(i + 1));
            pKept = &m_mStructs[Text(i + 1)];
        }
        ParseDeclarations(uiOpen + 1, m_vMatch[uiOpen], "", pKept, nullptr);
        if (pMembers != nullptr)
            *pMembers = *pKept;
        return m_bOk ? m_vMatch[uiOpen] + 1 : NONE;
    }

    // "cbuffer name [: register(...)] [<annotations>] { declarations }" at i (tbuffer alike), its
    // variables kept with the buffer's name; a ';' after it is read as a lone one. Past the "}".
    std::size_t ParseBuffer(std::size_t i)
    {
        if (!IsDeclaratorName(Text(i + 1)))
        {
            Unexpected(i + 1);
            return m_v.size();
        }
        std::string sRegister;
        std::size_t k = ParseSemantic(i + 2, &sRegister);
        if (Text(k) == "<")
            k = SkipAngles(k);
        if (Text(k) != "{")
        {
            Unexpected(k);
            return m_v.size();
        }
        ParseDeclarations(k + 1, m_vMatch[k], Text(i + 1), nullptr, &m_vVariables);
        return m_vMatch[k] + 1;
    }

    // "typedef [modifiers] type name, name[n] ...;" or "typedef struct [name] { members } name
    // ...;" at i: each name becomes a type of the text, standing for the type it names in the input
    // signatures (m_mTypedefs, a struct's members in m_mStructs). Nothing of it is kept in the
    // record. Past the ';'.
    std::size_t ParseTypedef(std::size_t i)
    {
        std::size_t k = i + 1;
        Declarator named; // the type each name stands for
        std::vector<Declarator> vMembers;
        const bool bStruct = Text(k) == "struct";
        if (bStruct)
        {
            if (IsDeclaratorName(Text(k + 1)))
                named.Type = Text(k + 1);
            k = ParseStructBlock(k, &vMembers);
            if (k == NONE)
                return m_v.size();
        }
        else
        {
            while (DECLARATION_MODIFIERS.count(Text(k)) != 0)
                ++k;
            const std::size_t uiType = k;
            k = SkipDeclaredType(k);
            if (k == NONE || !IsDeclaratorName(Text(k)))
            {
                Unexpected(i);
                return m_v.size();
            }
            if (!CheckType(uiType, k, false))
                return m_v.size();
            named.Type = Join(uiType, k);
            named.RowMajor = WritesRowMajor(*this, i + 1, uiType);
        }
        for (;;)
        {
            if (!IsDeclaratorName(Text(k)))
            {
                Unexpected(k);
                return m_v.size();
            }
            m_setTypes.insert(Text(k));
            const std::string& sName = Text(k);
            std::uint32_t uiSize = 0;
            k = ParseArray(k + 1, &uiSize);
            if (!m_bOk)
                return m_v.size();
            if (bStruct && named.Type.empty())
                m_mStructs[sName] = vMembers;
            else
                m_mTypedefs[sName] = WithoutTypedef(named, uiSize);
            if (Text(k) != ",")
                break;
            ++k;
        }
        if (k < m_v.size() && Text(k) != ";")
        {
            Unexpected(k);
            return m_v.size();
        }
        return k + 1;
    }

    // Member or variable declarations from uiBegin to uiEnd, a block's inside: statements as
    // ParseDeclaration reads them, and lone ';'.
    void ParseDeclarations(std::size_t uiBegin, std::size_t uiEnd, const std::string& sBuffer,
                           std::vector<Declarator>* pMembers, std::vector<EffectVariable>* pVariables)
    {
        std::size_t i = uiBegin;
        while (i < uiEnd && m_bOk)
            i = Text(i) == ";" ? i + 1 : ParseDeclaration(i, uiEnd, sBuffer, pMembers, pVariables);
    }

    // One statement of member or variable declarations at i, in a block or a text that ends at
    // uiEnd: "[modifiers] type declarator, declarator ...;" (see ParseDeclarators), its type one HLSL
    // has or the text declared; in a struct (pMembers) also a member function, "type name(parameters)
    // [: semantic] { body }" or a prototype ended by ';', which is passed over. Anything else is an
    // error at its first token. Past the statement.
    std::size_t ParseDeclaration(std::size_t i, std::size_t uiEnd, const std::string& sBuffer,
                                 std::vector<Declarator>* pMembers, std::vector<EffectVariable>* pVariables)
    {
        std::size_t k = i;
        while (DECLARATION_MODIFIERS.count(Text(k)) != 0 || PARAMETER_MODIFIERS.count(Text(k)) != 0)
            ++k;
        const std::size_t uiType = k;
        k = SkipDeclaredType(k);
        if (k == NONE || k >= uiEnd || !IsDeclaratorName(Text(k)))
        {
            Unexpected(i);
            return uiEnd;
        }
        const bool bFunction = pMembers != nullptr && Text(k + 1) == "(";
        if (!CheckType(uiType, k, bFunction))
            return uiEnd;
        if (!bFunction)
            return ParseDeclarators(k, uiEnd, uiType, Join(uiType, k), WritesRowMajor(*this, i, uiType),
                                    sBuffer, pMembers, pVariables);
        bool bBody = false;
        k = ParseFunctionEnd(m_vMatch[k + 1], uiEnd, &bBody);
        return k == NONE ? uiEnd : k;
    }

    // The declarators of a statement from k, of the type sType whose first token is uiType (written
    // row_major when bRowMajor), each a name with its array size, semantic, annotations and "= value"
    // (read to its end) or "{ state block }", kept in *pMembers and *pVariables (either may be null);
    // between them ',', after the last the statement's ';' (the last statement of a block, which ends
    // at uiEnd, may go without). Anything else after a declarator is an error at it. Past the
    // statement.
    std::size_t ParseDeclarators(std::size_t k, std::size_t uiEnd, std::size_t uiType,
                                 const std::string& sType, bool bRowMajor, const std::string& sBuffer,
                                 std::vector<Declarator>* pMembers, std::vector<EffectVariable>* pVariables)
    {
        for (;;)
        {
            if (k >= uiEnd || !IsDeclaratorName(Text(k)))
            {
                Unexpected(k);
                return uiEnd;
            }
            m_uiDeclaredBytes += sType.size() + sBuffer.size();
            if (m_uiDeclaredBytes > MAX_DECLARED_BYTES)
            {
                Error(k, 3000,
                      "'" + Text(k) + "': declared types and buffer names pass " +
                          std::to_string(MAX_DECLARED_BYTES) + " bytes");
                return uiEnd;
            }
            Declarator declarator;
            declarator.Type = sType;
            declarator.Name = Text(k);
            declarator.RowMajor = bRowMajor;
            k = ParseArray(k + 1, &declarator.ArraySize);
            if (m_bOk)
                k = ParseDeclaredSemantic(k, &declarator.Semantic);
            EffectVariable variable;
            if (m_bOk)
                k = ParseInitializer(k, uiEnd, uiType, declarator, &variable);
            if (!m_bOk)
                return uiEnd;
            if (pMembers != nullptr)
                pMembers->push_back(declarator);
            if (pVariables != nullptr)
            {
                variable.Type = sType;
                variable.Name = declarator.Name;
                variable.Buffer = sBuffer;
                variable.ArraySize = declarator.ArraySize;
                variable.Semantic = declarator.Semantic;
                pVariables->push_back(std::move(variable));
            }
            if (Text(k) != ",")
                break;
            ++k;
        }
        if (k >= uiEnd)
            return uiEnd;
        if (Text(k) != ";")
        {
            Unexpected(k);
            return uiEnd;
        }
        return k + 1;
    }

    // Annotations, then "= value" or "{ state block }", after a declarator whose type is the token
    // at uiType; stops at "," or ";", and at uiEnd. The state objects the effects read take a block,
    // never a value, and only the types TakesBlock names take a block.
    std::size_t ParseInitializer(std::size_t k, std::size_t uiEnd, std::size_t uiType,
                                 const Declarator& declarator, EffectVariable* pVariable)
    {
        if (Text(k) == "<")
            k = SkipAngles(k);
        if (Text(k) == "=")
        {
            if (!TakesValue(declarator.Type))
            {
                Unexpected(k);
                return uiEnd;
            }
            // The last CompileShader in the value is the variable's.
            const std::size_t uiStart = ++k;
            k = ReadValue(*this, uiStart, uiEnd, m_setTypes);
            if (k == NONE)
                return uiEnd;
            if (k > uiStart && m_vLastCompile[k - 1] != NONE && m_vLastCompile[k - 1] >= uiStart)
                m_mShaderVariables[declarator.Name] = m_vLastCompile[k - 1];
        }
        else if (Text(k) == "{")
        {
            if (!TakesBlock(declarator.Type))
            {
                Error(uiType, 3000,
                      "'" + declarator.Type +
                          "': only state objects, interfaces, classes and namespaces are declared with a "
                          "block");
                return uiEnd;
            }
            ReadStateBlock(*this, k, declarator.Type, declarator.Name, declarator.ArraySize, pVariable);
            k = m_vMatch[k] + 1;
        }
        return k;
    }

    // At the top level from i: attributes and the function they are given to, a function, a
    // declaration of variables (see ParseDeclaration), or of an interface, a class or a namespace
    // (its name with its block, which is not read, and a class's base as its semantic). Attributes
    // before anything but a function are an error at their first "[". Past the statement.
    std::size_t ParseTopLevelDeclaration(std::size_t i)
    {
        std::map<std::string, std::vector<std::string>> attributes;
        std::size_t k = i;
        while (k != NONE && Text(k) == "[")
            k = ParseAttribute(k, &attributes);
        const std::size_t uiStart = k;
        while (k != NONE && DECLARATION_MODIFIERS.count(Text(k)) != 0)
            ++k;
        const std::size_t uiType = k;
        const std::size_t uiName = k == NONE ? NONE : SkipDeclaredType(k);
        if (uiName != NONE && IsDeclaratorName(Text(uiName)) && Text(uiName + 1) == "(")
            return ParseFunction(uiType, uiName, &attributes);
        if (uiStart != i)
        {
            Unexpected(i);
            return m_v.size();
        }
        const std::string& s = Text(i);
        if ((s == "interface" || s == "class" || s == "namespace") && IsDeclaratorName(Text(i + 1)))
        {
            if (s != "namespace")
                m_setTypes.insert(Text(i + 1));
            return ParseDeclarators(i + 1, m_v.size(), i, s, false, "", nullptr, &m_vVariables);
        }
        return ParseDeclaration(i, m_v.size(), "", nullptr, &m_vVariables);
    }

    // One attribute at i, "[name]" or "[name(arguments)]", into *pAttributes (name -> the texts of
    // its arguments; a name given again takes the later ones). Past its "]"; NONE for any other
    // form.
    std::size_t ParseAttribute(std::size_t i, std::map<std::string, std::vector<std::string>>* pAttributes)
    {
        const std::size_t uiClose = m_vMatch[i];
        const bool bArguments = Text(i + 2) == "(";
        if (!IsNameToken(Text(i + 1)) || (bArguments ? m_vMatch[i + 2] + 1 : i + 2) != uiClose)
            return NONE;
        std::vector<std::string>& vArgs = (*pAttributes)[Text(i + 1)];
        vArgs.clear();
        if (!bArguments)
            return uiClose + 1;
        std::size_t uiStart = i + 3;
        for (std::size_t k = uiStart; k <= m_vMatch[i + 2]; ++k)
        {
            if (k == m_vMatch[i + 2] || Text(k) == ",")
            {
                vArgs.push_back(Join(uiStart, k));
                uiStart = k + 1;
            }
            else if (Text(k) == "(" || Text(k) == "[" || Text(k) == "{")
            {
                k = m_vMatch[k];
            }
        }
        return uiClose + 1;
    }

    // The function whose return type starts at uiType and whose name is the token at uiName, given
    // the attributes: "type name(parameters) [: semantic] { body }", or a prototype ended by ';',
    // which declares nothing. Past the "}" or ';'.
    std::size_t ParseFunction(std::size_t uiType, std::size_t uiName,
                              std::map<std::string, std::vector<std::string>>* pAttributes)
    {
        if (!CheckType(uiType, uiName, true))
            return m_v.size();
        Function function;
        function.Name = Text(uiName);
        function.NameToken = uiName;
        function.Attributes = std::move(*pAttributes);
        if (!ParseParameters(uiName, uiName + 2, m_vMatch[uiName + 1], &function.Parameters))
            return m_v.size();
        const std::size_t e = ParseFunctionEnd(m_vMatch[uiName + 1], m_v.size(), &function.HasBody);
        if (e == NONE)
            return m_v.size();
        m_vFunctions.push_back(std::move(function));
        return e;
    }

    // What follows a function's parameters, whose ")" is at uiClose, in a block or a text that ends
    // at uiEnd: its semantics, then its body (*pBody set) or the ';' of a prototype (which the last
    // statement may go without). Past them; NONE, with the error, for anything else.
    std::size_t ParseFunctionEnd(std::size_t uiClose, std::size_t uiEnd, bool* pBody)
    {
        std::string sSemantic;
        const std::size_t k = ParseDeclaredSemantic(uiClose + 1, &sSemantic);
        *pBody = false;
        if (k == NONE)
            return NONE;
        if (Text(k) == "{")
        {
            *pBody = true;
            return m_vMatch[k] + 1;
        }
        if (k >= uiEnd)
            return uiEnd;
        if (Text(k) != ";")
        {
            Unexpected(k);
            return NONE;
        }
        return k + 1;
    }

    // The parameters of the function named at uiName, from uiBegin to uiEnd (its ")"): each
    // "[modifiers] type name [dimensions] [: semantics] [= value]", between ','; "void" alone takes
    // none. A type neither HLSL nor the text has is an error naming it; a token no parameter holds an
    // error at it. False after an error.
    bool ParseParameters(std::size_t uiName, std::size_t uiBegin, std::size_t uiEnd,
                         std::vector<Declarator>* pOut)
    {
        if (uiEnd == uiBegin || (uiEnd == uiBegin + 1 && Text(uiBegin) == "void"))
            return true;
        for (std::size_t i = uiBegin;;)
        {
            Declarator parameter;
            std::size_t k = i;
            while (PARAMETER_MODIFIERS.count(Text(k)) != 0 || TYPE_MODIFIERS.count(Text(k)) != 0)
            {
                parameter.Output = parameter.Output || Text(k) == "out";
                parameter.Uniform = parameter.Uniform || Text(k) == "uniform";
                ++k;
            }
            parameter.RowMajor = WritesRowMajor(*this, i, k);
            const std::size_t uiType = k;
            k = SkipDeclaredType(k);
            if (k == NONE)
            {
                Unexpected(uiType);
                return false;
            }
            if (!CheckType(uiType, k, false))
                return false;
            if (k >= uiEnd || !IsDeclaratorName(Text(k)))
                return ParameterError(uiName, i, k, uiEnd);
            parameter.Type = Join(uiType, k);
            parameter.Name = Text(k);
            k = ParseArray(k + 1, &parameter.ArraySize);
            k = m_bOk ? ParseSemantic(k, &parameter.Semantic) : NONE;
            if (k != NONE && Text(k) == "=")
                k = ReadValue(*this, k + 1, uiEnd, m_setTypes);
            if (k == NONE)
                return false;
            if (k < uiEnd && Text(k) != ",")
                return ParameterError(uiName, i, k, uiEnd);
            pOut->push_back(std::move(parameter));
            if (k >= uiEnd)
                return true;
            i = k + 1;
        }
    }

    // An error at the token k of the parameter from uiFirst, of the function named at uiName whose
    // parameters end at uiEnd, naming the function and quoting the parameter. False.
    bool ParameterError(std::size_t uiName, std::size_t uiFirst, std::size_t k, std::size_t uiEnd)
    {
        std::size_t uiPast = k;
        while (uiPast < uiEnd && Text(uiPast) != ",")
            uiPast = Text(uiPast) == "(" || Text(uiPast) == "[" || Text(uiPast) == "{" ? m_vMatch[uiPast] + 1
                                                                                       : uiPast + 1;
        Error(k, 3000,
              "'" + Text(uiName) + "': syntax error in the parameter '" + Join(uiFirst, uiPast) +
                  "': unexpected token '" + Text(k) + "'");
        return false;
    }

    // The first function of that name with a body.
    const Function* FindFunction(const std::string& sName) const
    {
        auto it = m_mFunctions.find(sName);
        return it == m_mFunctions.end() ? nullptr : &m_vFunctions[it->second];
    }

    // Appends the elements of a parameter or member at iDepth levels of structs: one per input
    // register and semantic index (InputRegisters, n times for an array of n), a struct's members'
    // for a struct (once, array or not). False, with *pOut unchanged, when they would take it past
    // MAX_INPUT_ELEMENTS.
    bool AddSignature(const Declarator& written, std::vector<SignatureElement>* pOut, int iDepth)
    {
        const Declarator parameter = WithoutTypedef(written, written.ArraySize);
        const std::size_t uiRoom = MAX_INPUT_ELEMENTS - pOut->size();
        if (!parameter.Semantic.empty())
        {
            const std::uint64_t uiCount = std::uint64_t{parameter.ArraySize == 0 ? 1 : parameter.ArraySize} *
                                          InputRegisters(parameter.Type, parameter.RowMajor);
            if (uiCount > uiRoom)
                return false;
            std::string sName = parameter.Semantic;
            std::size_t uiDigits = sName.size();
            while (uiDigits > 0 && std::isdigit(static_cast<unsigned char>(sName[uiDigits - 1])))
                --uiDigits;
            std::uint32_t uiIndex = 0;
            if (uiDigits < sName.size() && sName.size() - uiDigits <= 9)
                uiIndex = static_cast<std::uint32_t>(std::stoul(sName.substr(uiDigits)));
            sName.resize(uiDigits);
            for (std::uint32_t n = 0; n < uiCount; ++n)
                pOut->push_back({sName, uiIndex + n});
            return true;
        }
        if (iDepth > MAX_SIGNATURE_DEPTH || m_mStructs.count(parameter.Type) == 0)
            return true;
        const StructSignature& members = MembersSignature(parameter.Type, iDepth + 1);
        if (members.TooMany || members.Elements.size() > uiRoom)
            return false;
        pOut->insert(pOut->end(), members.Elements.begin(), members.Elements.end());
        return true;
    }

    // The declarator with uiArraySize elements (0: not an array) of the type a typedef stands for,
    // when its type is one: that type, row_major when either says so, and both array sizes.
    Declarator WithoutTypedef(Declarator declarator, std::uint32_t uiArraySize) const
    {
        declarator.ArraySize = uiArraySize;
        auto it = m_mTypedefs.find(declarator.Type);
        if (it == m_mTypedefs.end())
            return declarator;
        declarator.Type = it->second.Type;
        declarator.RowMajor = declarator.RowMajor || it->second.RowMajor;
        if (it->second.ArraySize != 0)
        {
            const std::uint64_t uiSize =
                std::uint64_t{uiArraySize == 0 ? 1 : uiArraySize} * it->second.ArraySize;
            declarator.ArraySize = uiSize > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(uiSize);
        }
        return declarator;
    }

    struct StructSignature
    {
        std::vector<SignatureElement> Elements; // at most MAX_INPUT_ELEMENTS
        bool TooMany = false;                   // the members hold more
    };

    // The elements of a struct's members at iDepth, found once for each struct and depth, so
    // that a struct used by many members costs no more than the elements it adds.
    const StructSignature& MembersSignature(const std::string& sType, int iDepth)
    {
        const std::pair<std::string, int> key(sType, iDepth);
        auto it = m_mStructSignatures.find(key);
        if (it != m_mStructSignatures.end())
            return it->second;
        StructSignature signature;
        for (const Declarator& member : m_mStructs.find(sType)->second)
            if (!AddSignature(member, &signature.Elements, iDepth))
            {
                signature.TooMany = true;
                break;
            }
        return m_mStructSignatures.emplace(key, std::move(signature)).first->second;
    }

    // One stage's fields; uiAt is the token an error about the entry points at (NONE: none). They
    // are read once for each entry and stage, however many passes compile it: an entry's
    // parameters are walked once, not once per pass.
    bool BuildStage(ShaderStage stage, const std::string& sEntry, std::size_t uiAt, ShaderBytecode* pOut)
    {
        const Function* pFunction = FindFunction(sEntry);
        if (pFunction == nullptr)
        {
            Error(uiAt, 3501, "'" + sEntry + "': entrypoint not found");
            return false;
        }
        const std::pair<const Function*, ShaderStage> key(pFunction, stage);
        auto it = m_mStages.find(key);
        if (it == m_mStages.end())
        {
            StageFields fields;
            if (!ReadEntry(stage, *pFunction, sEntry, &fields))
                return false;
            it = m_mStages.emplace(key, std::move(fields)).first;
        }
        pOut->InputSignature = it->second.InputSignature;
        if (stage == ShaderStage::Compute)
            std::copy(it->second.NumThreads.begin(), it->second.NumThreads.end(), pOut->NumThreads);
        return true;
    }

    struct StageFields
    {
        std::vector<SignatureElement> InputSignature;
        std::array<std::uint32_t, 3> NumThreads = {}; // of a compute entry
    };

    bool ReadEntry(ShaderStage stage, const Function& function, const std::string& sEntry, StageFields* pOut)
    {
        for (const Declarator& parameter : function.Parameters)
        {
            if (!parameter.Output && !parameter.Uniform && !AddSignature(parameter, &pOut->InputSignature, 0))
            {
                Error(function.NameToken, 3000,
                      "'" + sEntry + "': the input signature holds more than " +
                          std::to_string(MAX_INPUT_ELEMENTS) + " elements");
                return false;
            }
        }
        if (stage != ShaderStage::Compute)
            return true;
        auto it = function.Attributes.find("numthreads");
        if (it == function.Attributes.end() || it->second.size() != 3)
        {
            Error(function.NameToken, 3000,
                  "'" + sEntry + "': compute shaders need a numthreads(x, y, z) attribute");
            return false;
        }
        std::uint64_t uiTotal = 1;
        for (int n = 0; n < 3; ++n)
        {
            // The argument texts are re-read through the expression evaluator.
            std::vector<SourceToken> vParts = SplitText(it->second[n]);
            std::vector<const SourceToken*> v;
            for (const SourceToken& token : vParts)
                v.push_back(&token);
            std::int64_t iValue = 0;
            const std::uint32_t uiLimit = n < 2 ? MAX_THREADS_XY : MAX_THREADS_Z;
            if (!IntegerExpression(v).Evaluate(&iValue) || iValue < 1 || iValue > uiLimit)
            {
                Error(function.NameToken, 3000,
                      "'" + sEntry +
                          "': numthreads values must be integer constants "
                          "from 1 to 1024 (z: 64)");
                return false;
            }
            pOut->NumThreads[n] = static_cast<std::uint32_t>(iValue);
            uiTotal *= static_cast<std::uint64_t>(iValue);
        }
        if (uiTotal > MAX_THREADS)
        {
            Error(function.NameToken, 3000, "'" + sEntry + "': a thread group holds at most 1024 threads");
            return false;
        }
        return true;
    }

    // Tokens of a text joined by Join (words, numbers and single punctuation characters).
    static std::vector<SourceToken> SplitText(const std::string& s)
    {
        std::vector<SourceToken> v;
        for (std::size_t i = 0; i < s.size();)
        {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (std::isspace(c))
            {
                ++i;
                continue;
            }
            std::size_t j = i + 1;
            if (std::isalnum(c) || c == '_')
                while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                    ++j;
            v.push_back({s.substr(i, j - i), nullptr, 0, 0});
            i = j;
        }
        return v;
    }

    std::vector<std::size_t> m_vLastCompile; // see IndexValues
    std::map<std::string, std::vector<Declarator>> m_mStructs;
    std::map<std::string, Declarator> m_mTypedefs; // name -> the type it stands for (see WithoutTypedef)
    std::vector<Function> m_vFunctions;
    std::map<std::string, std::size_t> m_mFunctions; // name -> its first function with a body
    std::map<std::pair<std::string, int>, StructSignature> m_mStructSignatures; // (struct, depth)
    std::map<std::pair<const Function*, ShaderStage>, StageFields> m_mStages;   // see BuildStage
    std::vector<EffectVariable> m_vVariables;
    std::size_t m_uiDeclaredBytes = 0;                     // see MAX_DECLARED_BYTES
    std::map<std::string, std::size_t> m_mShaderVariables; // name -> its CompileShader token
    std::set<std::string> m_setTypes; // the structs, typedefs, interfaces and classes declared so far
    Techniques m_techniques;
};

} // namespace

bool AnalyzeSource(const std::vector<SourceToken>& vTokens, const std::string& sSourceName,
                   ShaderBytecode* pOut, std::string* pErrors)
{
    Analyzer analyzer(vTokens, sSourceName, pErrors);
    return analyzer.Run(pOut);
}

} // namespace d3dcompiler_internal
