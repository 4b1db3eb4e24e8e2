#include "platform/d3dcompiler/D3DCompilerParser.h"

#include "platform/d3dcompiler/D3DCompilerIntegerExpression.h"
#include "platform/d3dcompiler/D3DCompilerNumbers.h"
#include "platform/d3dcompiler/D3DCompilerPassCalls.h"
#include "platform/d3dcompiler/D3DCompilerSignature.h"
#include "platform/d3dcompiler/D3DCompilerStateBlocks.h"
#include "platform/d3dcompiler/D3DCompilerTechniques.h"
#include "platform/d3dcompiler/D3DCompilerTokenReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

namespace d3dcompiler_internal
{

using d3d11_internal::EffectPass;
using d3d11_internal::EffectVariable;
using d3d11_internal::PassShader;
using d3d11_internal::PassState;
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
    // A parameter not read whole that holds a semantic: its first token, the token past it and the
    // first token not read (NONE for any other). Its entry is an error rather than a signature
    // without it.
    std::size_t First = 0;
    std::size_t Past = 0;
    std::size_t Unread = TokenReader::NONE;
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
            return BuildEffect(pOut);
        return BuildStage(stage, pOut->Entry, NONE, pOut);
    }

private:
    // m_vValueEnd gets, for each token, the first "," ";" or closing bracket from it at its own
    // level (brackets skipped whole), and m_vLastCompile the last "CompileShader(" at or before it.
    // A value's end and its shader are then found at once, whatever the value holds.
    void IndexValues()
    {
        m_vValueEnd.assign(m_v.size() + 1, m_v.size());
        for (std::size_t i = m_v.size(); i-- > 0;)
        {
            const std::string& s = m_v[i].Text;
            if (s == "," || s == ";" || s == ")" || s == "]" || s == "}")
                m_vValueEnd[i] = i;
            else if (s == "(" || s == "[" || s == "{")
                m_vValueEnd[i] = m_vValueEnd[m_vMatch[i] + 1];
            else
                m_vValueEnd[i] = m_vValueEnd[i + 1];
        }
        m_vLastCompile.assign(m_v.size(), NONE);
        for (std::size_t i = 0; i < m_v.size(); ++i)
            m_vLastCompile[i] = Text(i) == "CompileShader" && Text(i + 1) == "(" ? i
                                : i > 0                                          ? m_vLastCompile[i - 1]
                                                                                 : NONE;
    }

    // Past the next ";" at this level (brace blocks skipped whole), and no further than uiEnd (the
    // end of the enclosing block: a statement left open there ends with it).
    std::size_t SkipStatement(std::size_t i, std::size_t uiEnd) const
    {
        for (; i < uiEnd; ++i)
        {
            if (Text(i) == ";")
                return i + 1;
            if (Text(i) == "(" || Text(i) == "[" || Text(i) == "{")
                i = m_vMatch[i];
        }
        return std::min(i, uiEnd);
    }
    std::size_t SkipStatement(std::size_t i) const { return SkipStatement(i, m_v.size()); }

    // A statement the parser does not read whole (a typedef, a prototype, the rest of a variable
    // statement, text it cannot read) is skipped up to its ';', but never over the start of a
    // declaration it reads: there the statement should have ended, and that is a syntax error.
    // Skips as SkipStatement from uiFrom; the tokens after uiStart (the statement's first token, or
    // the end of its own type and name) are checked.
    std::size_t SkipUnread(std::size_t uiStart, std::size_t uiFrom, std::size_t uiEnd)
    {
        std::size_t i = uiFrom;
        for (; i < uiEnd; ++i)
        {
            if (Text(i) == ";")
                return i + 1;
            if (i > uiStart && StartsDeclaration(i))
            {
                Unexpected(i);
                return uiEnd;
            }
            if (Text(i) == "(" || Text(i) == "[" || Text(i) == "{")
                i = m_vMatch[i];
        }
        return std::min(i, uiEnd);
    }
    std::size_t SkipUnread(std::size_t uiStart, std::size_t uiFrom)
    {
        return SkipUnread(uiStart, uiFrom, m_v.size());
    }

    // Whether a declaration the parser reads starts at i, inside a statement that has not ended:
    // a technique, a struct, a cbuffer or tbuffer, a function with a body, or a variable ("type
    // name" and what may follow a name). Two names in a row never continue an expression or a
    // declarator, so this holds after any token except a modifier, the "<" that opens a template
    // list or an annotation, "unsigned int" and "signed int", and a typedef's own type and name.
    bool StartsDeclaration(std::size_t i) const
    {
        const std::string& s = Text(i);
        const std::string& sBefore = Text(i - 1);
        if (s == "technique11" || s == "technique10" || s == "technique")
            return true;
        if (s == "cbuffer" || s == "tbuffer")
            return IsNameToken(Text(i + 1));
        if (s == "struct")
            return sBefore != "typedef" && IsNameToken(Text(i + 1)) && Text(i + 2) == "{";
        if (DECLARATION_MODIFIERS.count(sBefore) != 0 || PARAMETER_MODIFIERS.count(sBefore) != 0 ||
            (sBefore == "<" && m_vMatch[i - 1] != NONE) ||
            ((sBefore == "unsigned" || sBefore == "signed") && s == "int"))
            return false;
        std::size_t k = i;
        while (DECLARATION_MODIFIERS.count(Text(k)) != 0)
            ++k;
        k = SkipType(k);
        if (k == NONE || !IsNameToken(Text(k)))
            return false;
        const std::string& sNext = Text(k + 1);
        if (sNext == "(")
        {
            std::string sSemantic;
            return Text(ParseSemantic(m_vMatch[k + 1] + 1, &sSemantic)) == "{";
        }
        // A typedef names a type with what could begin a variable; an initializer, a state
        // block or a semantic it cannot have.
        if (sBefore == "typedef")
            return sNext == "=" || sNext == ":" || sNext == "{";
        return sNext == ";" || sNext == "=" || sNext == ":" || sNext == "[" || sNext == "," || sNext == "<" ||
               sNext == "{";
    }

    // Words that begin a declaration of their own, and so never name one.
    static bool BeginsDeclarations(const std::string& s)
    {
        return s == "technique11" || s == "technique10" || s == "technique" || s == "cbuffer" ||
               s == "tbuffer" || s == "struct" || DECLARATION_MODIFIERS.count(s) != 0;
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

    void ParseTopLevel()
    {
        std::map<std::string, std::vector<std::string>> pendingAttributes;
        std::size_t i = 0;
        while (i < m_v.size() && m_bOk)
        {
            const std::string& s = Text(i);
            if (s == ";")
            {
                ++i;
            }
            else if (s == "[")
            {
                const std::size_t uiClose = m_vMatch[i];
                if (IsNameToken(Text(i + 1)))
                {
                    std::vector<std::string>& vArgs = pendingAttributes[Text(i + 1)];
                    vArgs.clear();
                    if (Text(i + 2) == "(")
                    {
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
                    }
                }
                i = uiClose + 1;
            }
            else if (s == "struct" && IsNameToken(Text(i + 1)) && Text(i + 2) == "{")
            {
                std::vector<Declarator>& vMembers = m_mStructs[Text(i + 1)];
                ParseDeclarations(i + 3, m_vMatch[i + 2], "", &vMembers, nullptr);
                i = SkipUnread(i, m_vMatch[i + 2] + 1);
            }
            else if ((s == "cbuffer" || s == "tbuffer") && IsNameToken(Text(i + 1)) &&
                     !BeginsDeclarations(Text(i + 1)))
            {
                std::size_t k = i + 1;
                while (k < m_v.size() && Text(k) != "{" && Text(k) != ";" && m_bOk)
                {
                    if (StartsDeclaration(k))
                        Unexpected(k);
                    k = Text(k) == "(" ? m_vMatch[k] + 1 : k + 1;
                }
                if (Text(k) == "{")
                {
                    ParseDeclarations(k + 1, m_vMatch[k], Text(i + 1), nullptr, &m_vVariables);
                    k = m_vMatch[k];
                }
                i = k + 1;
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
            else if (s == "typedef")
            {
                i = SkipUnread(i, i);
            }
            else
            {
                i = ParseTopLevelDeclaration(i, &pendingAttributes);
            }
        }
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
    // uiEnd: "type declarator, declarator ...;", each declarator a name with its array size,
    // semantic, annotations and "= value" or "{ state block }" (the last statement of a block may
    // end with it). A statement that declares nothing is passed over to its ';', and so is a
    // struct's member function ("float f() { ... }"); anything else after a declarator is an error
    // at it. Past the statement.
    std::size_t ParseDeclaration(std::size_t i, std::size_t uiEnd, const std::string& sBuffer,
                                 std::vector<Declarator>* pMembers, std::vector<EffectVariable>* pVariables)
    {
        std::size_t k = i;
        while (DECLARATION_MODIFIERS.count(Text(k)) != 0 || PARAMETER_MODIFIERS.count(Text(k)) != 0)
            ++k;
        const std::size_t uiType = k;
        k = SkipType(k);
        if ((Text(uiType) == "unsigned" || Text(uiType) == "signed") && Text(k) == "int")
            ++k;
        // Only for its check, from after the statement's own type and name (a word that begins
        // a declaration of its own is neither): the declarators are read below.
        std::size_t uiOwn = i;
        if (uiType > i && BeginsDeclarations(Text(uiType)))
            uiOwn = uiType - 1;
        else if (k != NONE && k < uiEnd && IsNameToken(Text(k)))
            uiOwn = BeginsDeclarations(Text(k)) || StartsDeclaration(k) ? k - 1 : k;
        SkipUnread(uiOwn, i, uiEnd);
        if (!m_bOk)
            return uiEnd;
        if (k == NONE || k >= uiEnd || !IsNameToken(Text(k)))
            return SkipStatement(i, uiEnd);
        const std::string sType = Join(uiType, k);
        for (;;)
        {
            m_uiDeclaredBytes += sType.size() + sBuffer.size();
            if (m_uiDeclaredBytes > MAX_DECLARED_BYTES)
            {
                Error(k, 3000,
                      "'" + Text(k) + "': declared types and buffer names pass " +
                          std::to_string(MAX_DECLARED_BYTES) + " bytes");
                return uiEnd;
            }
            if (pMembers != nullptr && Text(k + 1) == "(")
            {
                std::string sSemantic;
                k = ParseSemantic(m_vMatch[k + 1] + 1, &sSemantic);
                if (Text(k) == "{")
                    return m_vMatch[k] + 1;
                break;
            }
            Declarator declarator;
            declarator.Type = sType;
            declarator.Name = Text(k);
            declarator.RowMajor = WritesRowMajor(*this, i, uiType);
            k = ParseArray(k + 1, &declarator.ArraySize);
            k = ParseSemantic(k, &declarator.Semantic);
            EffectVariable variable;
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
            if (!IsNameToken(Text(++k)))
            {
                Unexpected(k);
                return uiEnd;
            }
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
            // The value runs to the next "," or ";" (the first closing bracket at this level is
            // the block's end); the last CompileShader in it is the variable's.
            const std::size_t uiStart = ++k;
            k = std::min(m_vValueEnd[uiStart], uiEnd);
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

    // A variable or function declaration at the top level.
    std::size_t ParseTopLevelDeclaration(std::size_t i,
                                         std::map<std::string, std::vector<std::string>>* pAttributes)
    {
        std::size_t k = i;
        while (DECLARATION_MODIFIERS.count(Text(k)) != 0)
            ++k;
        k = SkipType(k);
        if (k == NONE || !IsNameToken(Text(k)))
        {
            pAttributes->clear();
            return SkipUnread(i, i);
        }
        if (Text(k + 1) == "(")
        {
            Function function;
            function.Name = Text(k);
            function.NameToken = k;
            function.Attributes = std::move(*pAttributes);
            pAttributes->clear();
            ParseParameters(k + 2, m_vMatch[k + 1], &function.Parameters);
            std::size_t e = m_vMatch[k + 1] + 1;
            std::string sReturnSemantic;
            e = ParseSemantic(e, &sReturnSemantic);
            if (Text(e) == "{")
            {
                function.HasBody = true;
                e = m_vMatch[e] + 1;
            }
            else
            {
                e = SkipUnread(k, m_vMatch[k + 1] + 1);
            }
            m_vFunctions.push_back(std::move(function));
            return e;
        }
        pAttributes->clear();
        return ParseDeclaration(i, m_v.size(), "", nullptr, &m_vVariables);
    }

    // Parameters: modifiers, the type (two words for "unsigned int" and "signed int"), the name,
    // array dimensions and semantics, and what follows "=". A parameter not read whole whose
    // semantic would be lost is kept as not read (see Declarator).
    void ParseParameters(std::size_t uiBegin, std::size_t uiEnd, std::vector<Declarator>* pOut)
    {
        std::size_t i = uiBegin;
        while (i < uiEnd)
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
            k = SkipType(k);
            if (k != NONE && (Text(uiType) == "unsigned" || Text(uiType) == "signed") && Text(k) == "int")
                ++k;
            std::size_t uiRead = k == NONE ? uiType : k;
            if (k != NONE && k < uiEnd && IsNameToken(Text(k)))
            {
                parameter.Type = Join(uiType, k);
                parameter.Name = Text(k);
                k = ParseArray(k + 1, &parameter.ArraySize);
                uiRead = ParseSemantic(k, &parameter.Semantic);
            }
            k = uiRead;
            while (k < uiEnd && Text(k) != ",")
                k = (Text(k) == "(" || Text(k) == "[" || Text(k) == "{") ? m_vMatch[k] + 1 : k + 1;
            if (uiRead < k && Text(uiRead) != "=" && HoldsSemantic(*this, uiRead, k))
            {
                parameter = Declarator();
                parameter.First = i;
                parameter.Past = k;
                parameter.Unread = uiRead;
            }
            if (!parameter.Type.empty() || parameter.Unread != NONE)
                pOut->push_back(parameter);
            i = k + 1;
        }
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
    bool AddSignature(const Declarator& parameter, std::vector<SignatureElement>* pOut, int iDepth)
    {
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
            if (parameter.Unread != NONE)
            {
                Error(parameter.Unread, 3000,
                      "'" + sEntry + "': syntax error in the parameter '" +
                          Join(parameter.First, parameter.Past) + "': unexpected token '" +
                          Text(parameter.Unread) + "'");
                return false;
            }
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

    bool BuildEffect(ShaderBytecode* pOut)
    {
        if (!m_techniques.HasTechnique11)
        {
            Error(NONE, 3000, "an fx_5_0 effect needs at least one technique11");
            return false;
        }
        const StateCallChecks stateCalls(m_vVariables);
        for (const PassCall& call : m_techniques.Calls)
        {
            EffectPass& pass = m_techniques.List[call.Technique].Passes[call.Pass];
            const std::string& sCall = Text(call.Token);
            const std::size_t uiOpen = call.Token + 1;
            const std::size_t uiClose = m_vMatch[uiOpen];
            switch (call.Name->Kind)
            {
            case PassCallKind::State:
            {
                PassCallError error;
                if (!stateCalls.Check(m_v, call.Token, uiClose, &error))
                {
                    Error(error.Token, error.Code, error.Text);
                    return false;
                }
                pass.States.push_back({sCall, Join(uiOpen + 1, uiClose)});
                break;
            }
            case PassCallKind::UnboundShader:
                // Kept as written, as a call that sets nothing bound.
                if (uiClose != uiOpen + 2 || (Text(uiOpen + 1) != "NULL" && Text(uiOpen + 1) != "0"))
                {
                    Error(uiOpen + 1, 3000,
                          "'" + sCall + "': the effects bind no " + call.Name->StageName +
                              " shader; only NULL or 0 is taken");
                    return false;
                }
                pass.States.push_back({sCall, Join(uiOpen + 1, uiClose)});
                break;
            case PassCallKind::Shader:
            {
                PassShader shader;
                shader.Stage = call.Name->Stage;
                if (!BuildPassShader(uiOpen + 1, uiClose, shader.Stage, pOut, &shader.Bytecode))
                    return false;
                pass.Shaders.push_back(std::move(shader));
                break;
            }
            }
        }
        pOut->Techniques = std::move(m_techniques.List);
        pOut->Variables = std::move(m_vVariables);
        return true;
    }

    // The "CompileShader" token of the shader from uiBegin to uiEnd: CompileShader(...) itself, or
    // a variable initialised with one, or for a geometry shader either of them as the first
    // argument of ConstructGSWithSO(shader, ...) (the stream output it declares is not read). NONE
    // for anything else.
    std::size_t FindPassShader(std::size_t uiBegin, std::size_t uiEnd, ShaderStage stage) const
    {
        if (stage == ShaderStage::Geometry && Text(uiBegin) == "ConstructGSWithSO" &&
            Text(uiBegin + 1) == "(" && m_vMatch[uiBegin + 1] == uiEnd - 1)
        {
            uiEnd = m_vValueEnd[uiBegin + 2];
            uiBegin += 2;
        }
        if (uiEnd == uiBegin + 1)
        {
            auto it = m_mShaderVariables.find(Text(uiBegin));
            return it == m_mShaderVariables.end() ? NONE : it->second;
        }
        if (Text(uiBegin) == "CompileShader" && Text(uiBegin + 1) == "(" &&
            m_vMatch[uiBegin + 1] == uiEnd - 1)
            return uiBegin;
        return NONE;
    }

    // The shader of a Set...Shader call: NULL, 0, or one FindPassShader finds.
    bool BuildPassShader(std::size_t uiBegin, std::size_t uiEnd, ShaderStage stage,
                         const ShaderBytecode* pEffect, std::vector<std::uint8_t>* pBytecode)
    {
        if (uiEnd == uiBegin + 1 && (Text(uiBegin) == "NULL" || Text(uiBegin) == "0"))
            return true;
        const std::size_t uiCompile = FindPassShader(uiBegin, uiEnd, stage);
        if (uiCompile == NONE)
        {
            // Appended, not "'" + Join(...): GCC 12 at -O3 misreads that as an overlapping copy.
            std::string sMessage = "'";
            sMessage += Join(uiBegin, uiEnd);
            sMessage += "': not a shader";
            Error(uiBegin, 3000, sMessage);
            return false;
        }
        const std::string& sTarget = Text(uiCompile + 2);
        const std::string& sEntry = Text(uiCompile + 4);
        if (Text(uiCompile + 3) != "," || !IsNameToken(sEntry))
        {
            Error(uiCompile, 3000, "syntax error: CompileShader(target, entry(...)) expected");
            return false;
        }
        if (StageOfTarget(sTarget) != stage)
        {
            Error(uiCompile + 2, 3000, "'" + sTarget + "': wrong target for this shader stage");
            return false;
        }
        ShaderBytecode shader;
        shader.Target = sTarget;
        shader.Entry = sEntry;
        shader.SourceHash = pEffect->SourceHash;
        if (!BuildStage(stage, sEntry, uiCompile + 4, &shader))
            return false;
        *pBytecode = d3d11_internal::EncodeShaderBytecode(shader);
        return true;
    }

    std::vector<std::size_t> m_vValueEnd;    // see IndexValues
    std::vector<std::size_t> m_vLastCompile; // see IndexValues
    std::map<std::string, std::vector<Declarator>> m_mStructs;
    std::vector<Function> m_vFunctions;
    std::map<std::string, std::size_t> m_mFunctions; // name -> its first function with a body
    std::map<std::pair<std::string, int>, StructSignature> m_mStructSignatures; // (struct, depth)
    std::map<std::pair<const Function*, ShaderStage>, StageFields> m_mStages;   // see BuildStage
    std::vector<EffectVariable> m_vVariables;
    std::size_t m_uiDeclaredBytes = 0;                     // see MAX_DECLARED_BYTES
    std::map<std::string, std::size_t> m_mShaderVariables; // name -> its CompileShader token
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
