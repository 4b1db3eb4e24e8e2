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
    std::size_t Cost = 0;          // of all the preprocessing did, against MAX_PREPROCESS_COST
};

// Includes may nest this deep; a file that includes itself fails instead of running away.
constexpr std::size_t MAX_INCLUDE_DEPTH = 32;

// Limits on what one text may make the preprocessor do. The library follows each level of macro
// expansion with one more level of recursion, and keeps every token it makes until the end (#if
// expressions are evaluated without recursion, their depth and length bounded only by the cost
// limit below); text beyond a limit fails with an X1000 error instead of exhausting the
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
// with each level without adding a token. The copies of its arguments a macro call's replacement
// list will hold count before the library makes them (see D3DCompilerArgumentCopies.h).
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
// What one preprocessing may cost in all, counted as it goes, each text's directive lines before
// the library reads any of the text; a text that would pass it fails where it does. One unit is
// about a microsecond of preprocessing (Release). What costs and what it is charged:
// - Each 4 bytes of text read (TEXT_BYTES_PER_COST), the source, each read of an include and the
//   definitions of the caller's macro table alike: the library and the check of directive lines
//   each lex it, at up to 0.3 microseconds a byte (1 MiB of "a " skipped in an #if 0 group).
// - Each token of a directive line, whitespace and comments included: 1 more. The library parses
//   a directive line whole before it acts on it, at about 1 microsecond and up to 360 bytes for
//   each of its tokens, and keeps the tokens of a definition (about 170 bytes each): a 1 MiB #if
//   or #define line takes 1.3 s and 330 MB. Of some lines it makes text, one token at a time into
//   a string that grows each time, at a cost that grows with the line's tokens times its bytes
//   (about 0.07 s for a line of 64 KiB of commas): #error, #warning, #line, #include, the
//   directives that quote what follows them when it is ill-formed (#ifdef, #ifndef, #undef, #else,
//   #endif, # and unknown directives). A line of those kinds costs its tokens times its bytes /
//   65,536 (QUOTED_LINE_COST_BYTES) more, and holds at most MAX_QUOTED_LINE_BYTES (one line of
//   128 KiB costs up to 0.4 s, one of 1 MiB 18 s). #define, #if, #elif and #pragma lines are
//   parsed, not quoted: one the library cannot read (a #define's name or parameter list, a defined
//   operator without a name) is refused with its first 64 bytes quoted, the evaluator quotes at
//   most the first 256 bytes of an expression in its error, and no pragma is made into text (a
//   #pragma or _Pragma other than once is dropped unread). The tokens of a definition of the
//   caller's macro table cost as a #define line's.
// - Each lexer the library makes for a text of its own: 1 (LEXER_COST), about 1.5 microseconds,
//   and its text as text read (the text of each _Pragma operator, what each paste (##) makes, each
//   definition of the caller's macro table).
// - Each include opened: 8 (INCLUDE_COST), about 7 microseconds in kvfxc, whose include handler
//   reads the file each time (3 with a handler that holds its files in memory): the include's
//   context, its two lexers and the handler's Open and Close.
// A guarded header that is not read again (see PreprocessHooks::found_include_directive) costs its
// #include line alone. Any one text of the source limit passes (a 1 MiB #if line costs 1,310,000),
// as the source or as an include; what macro expansion does is bounded by the limits above, at well
// under 0.1 s. The slowest text found that spends the whole limit takes 1.6 s in kvfxc: 1 MiB of
// identifiers in a function body and 4.5 MiB of included text in groups that are skipped.
constexpr std::size_t MAX_PREPROCESS_COST = 11u << 17;
constexpr std::size_t TEXT_BYTES_PER_COST = 4;
constexpr std::size_t LEXER_COST = 1;
constexpr std::size_t INCLUDE_COST = 8;
constexpr std::size_t QUOTED_LINE_COST_BYTES = 1u << 16;
constexpr std::size_t MAX_QUOTED_LINE_BYTES = 1u << 17;
// Bytes of preprocessed output.
constexpr std::size_t MAX_OUTPUT_BYTES = 1u << 20;
// Bytes of the text being compiled, and of the definitions of the caller's macro table, each
// checked before anything is read.
constexpr std::size_t MAX_SOURCE_BYTES = D3DCompilerLimits::MAX_SOURCE_BYTES;
// Bytes of one include, as the caller's ID3DInclude gives it (the library and the check of
// directive lines each hold a copy while it is read). How often includes are opened and read is
// bounded by their cost (MAX_PREPROCESS_COST), how deep they nest by MAX_INCLUDE_DEPTH.
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
// evaluates the line, as C does). *pDirectiveCost carries the cost of the preprocessing
// (MAX_PREPROCESS_COST) from text to text (start at 0); the text read itself is not charged here.
bool CheckDirectiveLines(const char* pText, std::size_t uiSize, const char* pName,
                         std::size_t* pDirectiveCost, std::string* pErrors);

// "file(line,col): error Xcode: text" with a line break.
std::string FormatError(const std::string& sFile, std::uint32_t uiLine, std::uint32_t uiColumn, int iCode,
                        const std::string& sText);

} // namespace d3dcompiler_internal
