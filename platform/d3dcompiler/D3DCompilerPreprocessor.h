#pragma once
// Internal to the HLSL compiler stand-in: the preprocessor, Boost.Wave reading every include
// through the caller's ID3DInclude.

#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "platform/d3dcompiler/d3dcompiler.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace d3dcompiler_internal
{

// One token of the preprocessed source with the place it came from (for a token a macro made,
// the place Boost.Wave gives it). File is the source name, the include name as written or the
// name of a #line directive, one string shared by every token of the output that names it.
struct SourceToken
{
    std::string Text;
    std::shared_ptr<const std::string> File;
    std::uint32_t Line = 0;
    std::uint32_t Column = 0;
};

struct PreprocessedSource
{
    std::string Text;                // the output, whitespace and line breaks included
    std::vector<SourceToken> Tokens; // the same without whitespace, comments and line breaks
    std::size_t ExpandedTokens = 0;  // what macro expansion read and made, against the limits below
    std::size_t ExpandedBytes = 0;
    std::size_t LiteralBytes = 0;  // of the literals stringizing and __FILE__ made, counted before
    std::size_t LiteralCopies = 0; // bytes copied to build those literals, against its own limit
};

// Includes may nest this deep; a file that includes itself fails instead of running away.
constexpr std::size_t MAX_INCLUDE_DEPTH = 32;

// Limits on what one text may make the preprocessor do. The library follows each level of macro
// expansion with one more level of recursion, and keeps every token it makes until the end (#if
// expressions are evaluated without recursion, their depth and length bounded only by the cost of
// directive lines below); text beyond a limit fails with an X1000 error instead of exhausting the
// stack or the memory. At the limits preprocessing needs under 3 MiB of stack (less than half of
// a thread's 8 MiB, also with AddressSanitizer); the engine's own shaders stay far below each.
// Macro expansions inside one another (a macro naming the next, calls in calls' arguments).
constexpr std::size_t MAX_MACRO_NESTING = 256;
// Bytes the macros of one directive line other than #if and #elif make (#include, #line, #pragma,
// #error, #warning), the intermediate expansions included: the library makes a name or a message
// of the line a token at a time, copying what it has so far with each token.
constexpr std::size_t MAX_DIRECTIVE_MACRO_BYTES = 1u << 16;
// Tokens all macro expansions of one preprocessing read as arguments and make, the intermediate
// ones included, and the bytes of those tokens with the bytes that pasting (##), stringizing (#)
// and __FILE__ make on the way, counted before they are made: a pasted token can double in size
// with each level without adding a token.
constexpr std::size_t MAX_EXPANDED_TOKENS = 1u << 17;
constexpr std::size_t MAX_EXPANDED_BYTES = 1u << 21;
// Bytes the library copies to build the literals of all stringizings and __FILE__ expansions:
// it appends a stringized argument to its literal a token at a time, and escapes a quoted token
// or a file name a character at a time, copying what it has so far with each step, so the cost
// of one literal grows with its length times its steps. A literal of 2,000 two-letter words takes
// about a third of it. Each step frees what the last made: under AddressSanitizer all of it is
// held in quarantine (up to 256 MB), which a larger limit would fill.
constexpr std::size_t MAX_LITERAL_COPIES = 1u << 26;
// Bytes of a file name as a #line directive or an #include writes it (the library copies the
// name into tokens, and unescapes and escapes it a character at a time).
constexpr std::size_t MAX_FILE_NAME_BYTES = 4096;
// What the directive lines of one preprocessing may cost, its includes' included (each time one is
// read), counted before the library reads any of a text. The library parses a directive line whole
// before it acts on it, at about 1.7 microseconds and up to 360 bytes for each of its tokens,
// whitespace and comments included, and keeps the tokens of a definition (about 170 bytes each).
// Of some lines it makes text, one token at a time into a string that grows each time, at a cost
// that grows with the line's tokens times its bytes (about 0.07 s for a line of 64 KiB of commas):
// #error, #warning, #pragma (a message and the library's own options are made into text, and
// which a #pragma is shows only once macros have expanded its first word), #line, #include, the
// directives that quote what follows them when it is ill-formed (#ifdef, #ifndef, #undef, #else,
// #endif, # and unknown directives). #define, #if and #elif lines are parsed, not quoted: one the
// library cannot read (a #define's name or parameter list, a defined operator without a name) is
// refused with its first 64 bytes quoted, and the evaluator quotes at most the first 256 bytes of
// an expression in its error (a 1 MiB #if line takes 1.8 s and 330 MB, as a 1 MiB #define line
// does).
// Each token of a directive line costs 1, and a line of the kinds that are made into text costs its
// tokens times its bytes / 65,536 more, as does the text of a _Pragma("message ...") or
// _Pragma("wave ...") operator. The cost in all is bounded so that no text ends past 2 s or 512 MB:
// any one text of the source limit passes, 1 MiB of definitions in the source and 1 MiB more in an
// include would take 3.4 s. A line of the kinds that are quoted holds at most
// MAX_QUOTED_LINE_BYTES (one line of 128 KiB costs up to 0.4 s, one of 1 MiB 18 s).
constexpr std::size_t MAX_DIRECTIVE_COST = 1u << 20;
constexpr std::size_t QUOTED_LINE_COST_BYTES = 1u << 16;
constexpr std::size_t MAX_QUOTED_LINE_BYTES = 1u << 17;
// Bytes of preprocessed output.
constexpr std::size_t MAX_OUTPUT_BYTES = 1u << 20;
// Bytes of the text being compiled, and of the definitions of the caller's macro table, each
// checked before anything is read.
constexpr std::size_t MAX_SOURCE_BYTES = D3DCompilerLimits::MAX_SOURCE_BYTES;
// Includes opened, and the bytes they hold, in all (a file may include another twice, which
// includes the next twice, and so on, without any output).
constexpr std::size_t MAX_INCLUDES = 1024;
constexpr std::size_t MAX_INCLUDED_BYTES = D3DCompilerLimits::MAX_INCLUDED_BYTES;

// False with one "file(line,col): error Xnnnn: text" line in *pErrors when preprocessing fails
// (bad directive, #error, failed include, bad macro in the table, a limit above passed).
// pSourceName may be null.
bool Preprocess(const char* pSource, std::size_t uiSize, const char* pSourceName,
                const D3D_SHADER_MACRO* pDefines, ID3DInclude* pInclude, PreprocessedSource* pOut,
                std::string* pErrors);

// Reads the directive lines of one text (the source or an include) as Preprocess does before the
// library reads the text: false with one error line in *pErrors where a line passes a limit above
// or an #if or #elif line holds a malformed number (which Preprocess refuses only where it
// evaluates the line, as C does). *pDirectiveCost carries the cost of directive lines from text to
// text of one preprocessing (start at 0).
bool CheckDirectiveLines(const char* pText, std::size_t uiSize, const char* pName,
                         std::size_t* pDirectiveCost, std::string* pErrors);

// "file(line,col): error Xcode: text" with a line break.
std::string FormatError(const std::string& sFile, std::uint32_t uiLine, std::uint32_t uiColumn, int iCode,
                        const std::string& sText);

} // namespace d3dcompiler_internal
