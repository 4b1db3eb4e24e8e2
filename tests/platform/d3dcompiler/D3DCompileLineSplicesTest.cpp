// Line splices (a backslash or ?\?/ before LF, CR LF or CR) are taken out of a text in one pass
// before the lexer reads it: the text and the places the lexer counts lines by are those the
// library's way gives (a move of the rest of the text for each splice), and tokens keep their
// lines and columns.

#include "platform/d3dcompiler/D3DCompilerLineSplices.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

struct Spliced
{
    std::string Text;
    std::vector<std::size_t> Offsets;
};

// The library's way, as the lexer's fill once took splices out of its whole text: each splice
// found moves the rest of the text over it, and the search goes on at the same place. The bytes
// past the end it reads as zeros.
Spliced SpliceByMoving(const std::string& sText)
{
    std::vector<unsigned char> v(sText.begin(), sText.end());
    v.resize(v.size() + 8, 0);
    unsigned char* pBuffer = v.data();
    std::ptrdiff_t iBytes = static_cast<std::ptrdiff_t>(sText.size());
    Spliced result;
    for (std::ptrdiff_t i = 0; i < iBytes - 2; ++i)
    {
        int iLength = 0;
        if (pBuffer[i] == '\\')
            iLength = 1;
        else if (pBuffer[i] == '?' && pBuffer[i + 1] == '?' && i + 2 < iBytes && pBuffer[i + 2] == '/')
            iLength = 3;
        else
            continue;
        const auto at = [&](std::ptrdiff_t j) { return j < iBytes ? pBuffer[j] : 0; };
        std::ptrdiff_t iSplice = 0;
        if (at(i + iLength) == '\n')
            iSplice = iLength + 1;
        else if (at(i + iLength) == '\r')
            iSplice = at(i + iLength + 1) == '\n' ? iLength + 2 : iLength + 1;
        if (iSplice == 0)
            continue;
        std::memmove(pBuffer + i, pBuffer + i + iSplice, static_cast<std::size_t>(iBytes - i - iSplice));
        iBytes -= iSplice;
        result.Offsets.push_back(static_cast<std::size_t>(i));
        --i;
    }
    if (iBytes >= 2 && pBuffer[iBytes - 2] == '\\' &&
        (pBuffer[iBytes - 1] == '\n' || pBuffer[iBytes - 1] == '\r'))
    {
        iBytes -= 2;
        result.Offsets.push_back(static_cast<std::size_t>(iBytes));
    }
    result.Text.assign(reinterpret_cast<const char*>(pBuffer), static_cast<std::size_t>(iBytes));
    return result;
}

Spliced SpliceInOnePass(const std::string& sText)
{
    std::vector<unsigned char> v(sText.begin(), sText.end());
    Spliced result;
    const std::size_t uiBytes = d3dcompiler_internal::RemoveLineSplices(
        v.data(), v.size(), [&result](std::size_t uiOffset) { result.Offsets.push_back(uiOffset); });
    result.Text.assign(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(uiBytes));
    return result;
}

} // namespace

// Texts made at random (fixed seed) of the pieces of splices and line breaks, including splices
// that a removal brings together (a backslash before a spliced line break) and ones at the end.
TEST(D3DCompileLineSplices, OnePassTakesOutWhatMovingTookOut)
{
    const std::vector<std::string> vPieces = {"\\",   "\\\n", "\\\r\n", "\\\r",     "?",     "??",
                                              "?\?/", "/",    "\n",     "\r",       "\r\n",  "a",
                                              "#",    " ",    "?\?/\n", "?\?/\r\n", "?\?/\r"};
    std::mt19937 random(6901);
    std::uniform_int_distribution<std::size_t> piece(0, vPieces.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::size_t uiSplices = 0;
    for (int iText = 0; iText < 20000; ++iText)
    {
        std::string sText;
        for (std::size_t i = length(random); i > 0; --i)
            sText += vPieces[piece(random)];
        const Spliced expected = SpliceByMoving(sText);
        const Spliced spliced = SpliceInOnePass(sText);
        ASSERT_EQ(expected.Text, spliced.Text) << sText;
        ASSERT_EQ(expected.Offsets, spliced.Offsets) << sText;
        uiSplices += spliced.Offsets.size();
    }
    EXPECT_GT(uiSplices, 50000u);
    // A megabyte of splices.
    const std::string sMegabyte(1u << 20, '\\');
    std::string sText;
    for (std::size_t i = 0; i < (1u << 18); ++i)
        sText += i % 3 == 0 ? "a\\\n" : i % 3 == 1 ? "b\\\r\n" : "c?\?/\n";
    const Spliced spliced = SpliceInOnePass(sText);
    EXPECT_EQ(std::size_t(1u << 18), spliced.Text.size());
    EXPECT_EQ(std::size_t(1u << 18), spliced.Offsets.size());
}

namespace
{

// A text built with splices inside its tokens and directive lines, with the tokens its
// preprocessing gives and the places of those written in the text (macros' tokens have the
// places of their definitions, which the test leaves aside).
struct SplicedText
{
    std::string Text;
    struct Expected
    {
        std::string Text;
        std::uint32_t Line = 0; // 0: made by a macro
        std::uint32_t Column = 0;
    };
    std::vector<Expected> Tokens;
};

class SplicedTextBuilder
{
public:
    explicit SplicedTextBuilder(std::uint32_t uiSeed) : m_random(uiSeed) {}

    // Characters of one token or of blank space, with splices between them at random.
    void Add(const std::string& sCharacters)
    {
        for (char c : sCharacters)
        {
            if (Percent() < 30)
                Splice();
            m_text.Text += c;
            ++m_uiColumn;
        }
    }
    // Never at the very start: the library counts a splice after the token that ends at its
    // place or goes over it, and before the first token there is none.
    void Splice()
    {
        if (m_text.Text.empty())
            return;
        static const char* const splices[] = {"\\\n", "\\\r\n", "\\\r", "?\?/\n", "?\?/\r\n", "?\?/\r"};
        m_text.Text += splices[m_random() % 6];
        ++m_uiLine;
    }
    void LineBreak()
    {
        m_text.Text += Percent() < 50 ? "\n" : "\r\n";
        ++m_uiLine;
        m_uiColumn = 1;
    }
    // A token of the text, at the place its first character lands.
    void Token(const std::string& sToken)
    {
        if (Percent() < 30)
            Splice();
        m_text.Tokens.push_back({sToken, m_uiLine, m_uiColumn});
        m_text.Text += sToken[0];
        ++m_uiColumn;
        Add(sToken.substr(1));
    }
    void Expect(const std::string& sToken) { m_text.Tokens.push_back({sToken, 0, 0}); }
    int Percent() { return static_cast<int>(m_random() % 100); }
    const SplicedText& Get() const { return m_text; }

private:
    std::mt19937 m_random;
    SplicedText m_text;
    std::uint32_t m_uiLine = 1;
    std::uint32_t m_uiColumn = 1;
};

// Definitions whose lines are joined by splices anywhere (also right before the line break that
// ends them, which joins the next line), #if lines whose operands come after splices, and text
// tokens cut by splices, in CR LF and LF lines.
SplicedText MakeSplicedText(std::uint32_t uiSeed)
{
    SplicedTextBuilder builder(uiSeed);
    for (int i = 0; i < 60; ++i)
    {
        const std::string sIndex = std::to_string(i);
        switch (builder.Percent() % 3)
        {
        case 0:
            builder.Add("#define D" + sIndex + " ");
            builder.Add("first" + sIndex + " ");
            builder.Add("second" + sIndex);
            builder.Splice();
            builder.Add(" third" + sIndex);
            builder.LineBreak();
            builder.Add("  ");
            builder.Token("before" + sIndex);
            builder.Add(" ");
            builder.Add("D" + sIndex);
            builder.Expect("first" + sIndex);
            builder.Expect("second" + sIndex);
            builder.Expect("third" + sIndex);
            builder.Add(" ");
            builder.Token("after" + sIndex);
            break;
        case 1:
            builder.Add("#if 0 ||");
            builder.Splice();
            builder.Add(" 1 == 1");
            builder.LineBreak();
            builder.Token("taken" + sIndex);
            builder.Add(" ");
            builder.Token(sIndex + "." + sIndex + "e+" + sIndex);
            builder.LineBreak();
            builder.Add("#else");
            builder.LineBreak();
            builder.Add("skipped");
            builder.LineBreak();
            builder.Add("#endif");
            break;
        default:
            builder.Token("word" + sIndex);
            builder.Add(" ");
            builder.Token("\"string " + sIndex + "\"");
            builder.Add(" ");
            builder.Token("<<=");
            builder.Add("\t");
            builder.Token("x" + sIndex);
            break;
        }
        builder.LineBreak();
    }
    return builder.Get();
}

} // namespace

TEST(D3DCompileLineSplices, TokensKeepTheirLinesAndColumns)
{
    std::size_t uiSplices = 0;
    for (std::uint32_t uiSeed = 1; uiSeed <= 40; ++uiSeed)
    {
        const SplicedText text = MakeSplicedText(uiSeed);
        uiSplices += SpliceInOnePass(text.Text).Offsets.size();
        d3dcompiler_internal::PreprocessedSource out;
        std::string sErrors;
        ASSERT_TRUE(d3dcompiler_internal::Preprocess(text.Text.data(), text.Text.size(), "shader.hlsl",
                                                     nullptr, nullptr, &out, &sErrors))
            << sErrors;
        ASSERT_EQ(text.Tokens.size(), out.Tokens.size()) << text.Text;
        for (std::size_t i = 0; i < out.Tokens.size(); ++i)
        {
            const auto& expected = text.Tokens[i];
            const auto& token = out.Tokens[i];
            EXPECT_EQ(expected.Text, token.Text) << "token " << i << " of seed " << uiSeed;
            if (expected.Line == 0)
                continue;
            EXPECT_EQ(expected.Line, token.Line) << expected.Text << " of seed " << uiSeed;
            EXPECT_EQ(expected.Column, token.Column) << expected.Text << " of seed " << uiSeed;
        }
    }
    EXPECT_GT(uiSplices, 4000u);
}
