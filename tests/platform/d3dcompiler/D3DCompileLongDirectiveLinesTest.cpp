// A long directive line of each kind, well-formed and with each malformation the library reports,
// at 64 KiB and at the source limit (smaller under a sanitizer, the second still past the bytes a
// quoted line may hold): each gives its result, and an error quotes only the start of the line. The library
// made its message of such a line a token at a time, copying what it had so far with each token:
// a megabyte took 13 to 16 s.

#include "tests/platform/d3dcompiler/D3DCompileLongDirectiveLines.h"
#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace
{

using d3dcompile_test::LongDirectiveLine;

class D3DCompileLongDirectiveLines : public ::testing::TestWithParam<LongDirectiveLine>
{
};

// The result of the line at the size given: "ok" where it preprocesses, or its one error line.
void ExpectResult(const LongDirectiveLine& line, std::size_t uiBytes)
{
    const std::string sText = d3dcompile_test::LongDirectiveText(line, uiBytes);
    ASSERT_LE(sText.size(), d3dcompiler_internal::MAX_SOURCE_BYTES);
    const std::string sTokens = d3dcompile_test::TokensOf(sText);
    const bool bTooLong = line.bQuoted && sText.size() > d3dcompile_test::QUOTED_LINE_BYTES;
    const std::string sResult =
        bTooLong ? "error X1000: directive line holds more than 131072 bytes\n" : line.pResult;
    if (sResult.empty())
    {
        EXPECT_EQ("ok", sTokens) << line.pName << " at " << uiBytes << " bytes";
        return;
    }
    EXPECT_EQ(0u, sTokens.find("failed: shader.hlsl(")) << line.pName << " at " << uiBytes << " bytes";
    EXPECT_NE(std::string::npos, sTokens.find(sResult))
        << line.pName << " at " << uiBytes << " bytes: " << sTokens.substr(0, 400);
    // One line, which quotes a few hundred bytes of the text at the most.
    EXPECT_EQ(sTokens.find('\n'), sTokens.size() - 1) << line.pName;
    EXPECT_LT(sTokens.size(), 400u) << line.pName;
}

} // namespace

TEST_P(D3DCompileLongDirectiveLines, GiveTheirResultBelowTheQuotedLineLimit)
{
    ExpectResult(GetParam(), kv_test::ShapeSize(64u << 10, 64u << 10, 16u << 10));
}

TEST_P(D3DCompileLongDirectiveLines, GiveTheirResultAtTheSourceLimit)
{
    ExpectResult(GetParam(),
                 kv_test::ShapeSize(d3dcompiler_internal::MAX_SOURCE_BYTES, 1u << 18, 160u << 10));
}

INSTANTIATE_TEST_SUITE_P(Kinds, D3DCompileLongDirectiveLines,
                         ::testing::ValuesIn(d3dcompile_test::LongDirectiveLines()),
                         [](const ::testing::TestParamInfo<LongDirectiveLine>& info)
                         { return info.param.pName; });
