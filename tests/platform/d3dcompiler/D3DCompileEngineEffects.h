#pragma once
// What the shader compiler's tests of the engine's own effects share: the effect files, an
// effect's compile and its record without the hashes of its text, the names of a text, where its
// top-level statements begin, and the line an error stands on.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace d3dcompile_test
{

inline Result CompileEffect(const std::string& sText)
{
    return Compile(sText, nullptr, "fx_5_0");
}

// The record without the hashes of the preprocessed text (its own and its pass shaders'): what a
// change of the text that the record does not read leaves alike.
inline std::vector<std::uint8_t> WithoutHashes(const std::vector<std::uint8_t>& vCode)
{
    d3d11_internal::ShaderBytecode record = Decode(vCode);
    record.SourceHash = 0;
    for (d3d11_internal::EffectTechnique& technique : record.Techniques)
        for (d3d11_internal::EffectPass& pass : technique.Passes)
            for (d3d11_internal::PassShader& shader : pass.Shaders)
                if (!shader.Bytecode.empty())
                    shader.Bytecode = WithoutHashes(shader.Bytecode);
    return d3d11_internal::EncodeShaderBytecode(record);
}

// The engine's effect files, by file name, with their texts.
inline std::map<std::string, std::string> EngineEffects()
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> effects;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(KV_SOURCE_ROOT) / "assets" / "Shader"))
        if (entry.path().extension() == ".fx")
        {
            std::ifstream file(entry.path(), std::ios::binary);
            effects[entry.path().filename().string()].assign(std::istreambuf_iterator<char>(file),
                                                             std::istreambuf_iterator<char>());
        }
    return effects;
}

// A name of an effect's text, outside comments: where it starts, how deep in braces it stands,
// whether a call's "(" follows it, and whether it stands on a #define line.
struct Word
{
    std::size_t At;
    std::string Text;
    int Depth;
    bool Call;
    bool Define;
};

inline std::vector<Word> WordsOf(const std::string& s)
{
    std::vector<Word> vWords;
    int iDepth = 0;
    bool bDefine = false;
    for (std::size_t i = 0; i < s.size();)
    {
        const char c = s[i];
        if (s.compare(i, 2, "//") == 0)
        {
            i = s.find('\n', i);
            continue;
        }
        if (s.compare(i, 2, "/*") == 0)
        {
            i = s.find("*/", i) + 2;
            continue;
        }
        if (c == '\n' && (i == 0 || s[i - 1] != '\\'))
            bDefine = false;
        if (c == '#')
            bDefine = s.compare(i, 7, "#define") == 0;
        iDepth += c == '{' ? 1 : c == '}' ? -1 : 0;
        std::size_t j = i;
        while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) != 0 || s[j] == '_'))
            ++j;
        if (j == i || std::isdigit(static_cast<unsigned char>(c)) != 0) // no name, or a number
        {
            i = std::max(j, i + 1);
            continue;
        }
        const std::size_t uiNext = s.find_first_not_of(" \t", j);
        vWords.push_back({i, s.substr(i, j - i), iDepth, uiNext < s.size() && s[uiNext] == '(', bDefine});
        i = j;
    }
    return vWords;
}

// Where a top-level statement of an effect's text may begin: the start of each line whose first
// character is a letter, standing outside braces, brackets, comments and directive lines, after a
// ';' or a '}' (or the text's start); and the text's end.
// The text with one letter of its n-th word misspelled, by iKind: dropped (0), doubled (1) or
// changed (2, to 'q', or 'Q' for a capital, or 'z' for a 'q'). Which letter depends on n.
inline std::string Misspelled(const std::string& sText, const Word& word, std::size_t n, int iKind)
{
    const std::size_t uiLetter = word.At + (n * 7) % word.Text.size();
    const char c = sText[uiLetter];
    std::string sDamaged = sText;
    if (iKind == 0)
        sDamaged.erase(uiLetter, 1);
    else if (iKind == 1)
        sDamaged.insert(uiLetter, 1, c);
    else
        sDamaged[uiLetter] = c == 'q' ? 'z' : std::isupper(static_cast<unsigned char>(c)) != 0 ? 'Q' : 'q';
    return sDamaged;
}

inline std::vector<std::size_t> StatementStarts(const std::string& s)
{
    std::vector<std::size_t> vStarts;
    int iDepth = 0;
    char cLast = ';'; // the last character of code before here
    bool bDirective = false;
    for (std::size_t i = 0; i < s.size(); ++i)
    {
        const char c = s[i];
        if (s.compare(i, 2, "//") == 0)
        {
            i = s.find('\n', i) - 1;
            continue;
        }
        if (s.compare(i, 2, "/*") == 0)
        {
            i = s.find("*/", i) + 1;
            continue;
        }
        const bool bLineStart = i == 0 || s[i - 1] == '\n';
        if (bLineStart && !(i >= 2 && s[i - 2] == '\\'))
        {
            bDirective = c == '#';
            if (iDepth == 0 && (cLast == ';' || cLast == '}') &&
                std::isalpha(static_cast<unsigned char>(c)) != 0)
                vStarts.push_back(i);
        }
        if (bDirective || std::isspace(static_cast<unsigned char>(c)) != 0)
            continue;
        iDepth += c == '{' || c == '(' || c == '[' ? 1 : c == '}' || c == ')' || c == ']' ? -1 : 0;
        cLast = c;
    }
    vStarts.push_back(s.size());
    return vStarts;
}

// Line uiLine (from 1) of the text.
inline std::string LineOf(const std::string& s, std::size_t uiLine)
{
    std::size_t uiStart = 0;
    for (std::size_t n = 1; n < uiLine && uiStart != std::string::npos; ++n)
        uiStart = s.find('\n', uiStart) + 1;
    return s.substr(uiStart, s.find('\n', uiStart) - uiStart);
}

// The line of the first error in a compiler's messages ("shader.hlsl(line,column): ..."); 0 for none.
inline std::size_t ErrorLine(const std::string& sErrors)
{
    const std::size_t uiOpen = sErrors.find('(');
    return uiOpen == std::string::npos ? 0 : std::stoul(sErrors.substr(uiOpen + 1));
}

} // namespace d3dcompile_test
