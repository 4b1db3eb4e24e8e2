#pragma once
// Texts of one long directive line, of each directive kind, well-formed and with each malformation
// the library reports, filled to a size given: the tests check what each gives, the preprocessing
// benchmark times them at 64 KiB and at the source limit.

#include <cstddef>
#include <string>
#include <vector>

namespace d3dcompile_test
{

// The bytes a line of a kind the library quotes may hold (D3DCompilerPreprocessor.h).
constexpr std::size_t QUOTED_LINE_BYTES = 1u << 17;

struct LongDirectiveLine
{
    const char* pName;
    // The text up to the run, the piece the run repeats and the text after it: the line is
    // pStart, pPiece as often as the size allows, then pEnd. Every text ends in a line "ok".
    const char* pStart;
    const char* pPiece;
    const char* pEnd;
    // The error it gives (the text after "error Xnnnn: ", to the end where it quotes the start
    // of the line), or "" where it preprocesses to "ok".
    const char* pResult;
    bool bQuoted; // a line of a kind the library quotes: past QUOTED_LINE_BYTES it is refused
};

// The text of the line filled to uiBytes bytes. A @ in the piece stands for the piece's number
// (parameter names that differ).
inline std::string LongDirectiveText(const LongDirectiveLine& line, std::size_t uiBytes)
{
    const std::string sPiece = line.pPiece;
    const std::string sEnd = line.pEnd;
    const std::size_t uiAt = sPiece.find('@');
    std::string sText = line.pStart;
    sText.reserve(uiBytes);
    for (std::size_t i = 0;; ++i)
    {
        const std::string sNext = uiAt == std::string::npos
                                      ? sPiece
                                      : sPiece.substr(0, uiAt) + std::to_string(i) + sPiece.substr(uiAt + 1);
        if (sText.size() + sNext.size() + sEnd.size() > uiBytes)
            break;
        sText += sNext;
    }
    return sText + sEnd;
}

inline const std::vector<LongDirectiveLine>& LongDirectiveLines()
{
    static const std::vector<LongDirectiveLine> lines = {
        // #define: a body, a parameter list, and each thing the library refuses in them.
        {"define", "#define D 1", " +1", "\nok\n", "", false},
        {"define_parameters", "#define F(a", ",a@", ") a\nok\n", "", false},
        {"define_no_name", "#define", " ", "\nok\n",
         "error: ill formed preprocessor directive: #define                                                  "
         "       ...\n",
         false},
        {"define_number_name", "#define 1 ", ",", "\nok\n",
         "error: ill formed preprocessor directive: #define 1 "
         ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,...\n",
         false},
        {"define_unclosed_parameters", "#define F(a", ",a", "\nok\n",
         "error: ill formed preprocessor directive: #define "
         "F(a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,...\n",
         false},
        {"define_number_parameter", "#define F(a", ",a", ",1) a\nok\n",
         "error: ill formed preprocessor directive: #define "
         "F(a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,a,...\n",
         false},
        {"define_duplicate_parameters", "#define F(a", ",a", ") a\nok\n",
         "error: duplicate macro parameter name: a", false},
        {"define_ellipsis_first", "#define F(...", ",a", ") a\nok\n",
         "error: ill formed #define directive: F", false},
        {"define_va_args_unvaried", "#define F(a) __VA_ARGS__", " ,", "\nok\n",
         "error: __VA_ARGS__ can only appear in the expansion of a C99 variadic macro: F", false},
        // #undef, #ifdef and #ifndef: a name, and nothing after it.
        {"undef_number", "#undef 1", " ,", "\nok\n",
         "error: ill formed preprocessor directive: #undef 1 , , ,", true},
        {"undef_extra", "#undef A", " ,", "\nok\n",
         "error: ill formed preprocessor directive: #undef A , , ,", true},
        {"ifdef_extra", "#ifdef A", " ,", "\n#endif\nok\n",
         "error: ill formed preprocessor directive: #ifdef A , , ,", true},
        {"ifndef_number", "#ifndef 1", " ,", "\n#endif\nok\n",
         "error: ill formed preprocessor directive: #ifndef 1 , , ,", true},
        // #if and #elif: an expression, and each thing that makes one ill-formed.
        {"if", "#if 1", " +1", "\nok\n#endif\n", "", false},
        {"if_defined_parentheses", "#if defined", "(", "\n#endif\nok\n",
         "error: ill formed preprocessor expression: defined(): "
         "defined(((((((((((((((((((((((((((((((((((((((((((((((((((((((((...\n",
         false},
        {"if_or_defined_parentheses", "#if 1 || defined", "(", "\n#endif\nok\n",
         "error: ill formed preprocessor expression: defined(): "
         "defined(((((((((((((((((((((((((((((((((((((((((((((((((((((((((...\n",
         false},
        {"if_defined_nested", "#if ", "defined(", "X\n#endif\nok\n",
         "error: ill formed preprocessor expression: defined(): "
         "defined(defined(defined(defined(defined(defined(defined(defined(...\n",
         false},
        {"if_macro_defined", "#define D defined\n#if D", "(", "\n#endif\nok\n",
         "error: ill formed preprocessor expression: defined(): defined\n", false},
        {"if_ill_formed", "#if 1", " ,", "\n#endif\nok\n",
         "error: ill formed preprocessor expression: ", false},
        {"if_unclosed", "#if ", "(", "1\n#endif\nok\n", "error: ill formed preprocessor expression: ", false},
        {"if_malformed_number", "#if 1", " +1", " + 0xe+1\n#endif\nok\n",
         "#if expression holds a malformed number: 0xe+1", false},
        {"if_division_by_zero", "#if 1", " +1", " / 0\n#endif\nok\n", "error: division by zero", false},
        {"elif", "#if 0\n#elif 1", " +1", "\nok\n#endif\n", "", false},
        {"elif_defined_parentheses", "#if 0\n#elif defined", "(", "\n#endif\nok\n",
         "error: ill formed preprocessor expression: defined(): "
         "defined(((((((((((((((((((((((((((((((((((((((((((((((((((((((((...\n",
         false},
        // An #elif after a group taken is not evaluated, as in C.
        {"elif_after_taken_group", "#if 1\n#elif defined", "(", "\n#endif\nok\n", "", false},
        // #else and #endif: nothing after them.
        {"else_extra", "#if 0\n#else", " ,", "\nok\n#endif\n",
         "error: ill formed preprocessor directive: #else , , ,", true},
        {"endif_extra", "#if 1\n#endif", " ,", "\nok\n",
         "error: ill formed preprocessor directive: #endif , , ,", true},
        // #include, #line, #error and #warning: their text.
        {"include", "#include ", ",", "\nok\n", "error: ill formed #include directive: ,,,", true},
        {"line", "#line ", ",", "\nok\n", "error: ill formed #line directive: ,,,", true},
        {"error", "#error ", ",", "\nok\n",
         "fatal error: encountered #error directive or #pragma wave stop(): ,,,", true},
        {"warning", "#warning ", ",", "\nok\n", "", true},
        // #pragma: a message and the library's own options, also where a macro makes the first
        // word, and others. None is made into text: each is parsed and dropped.
        {"pragma_message", "#pragma message(", ",", ")\nok\n", "", false},
        {"pragma_message_unclosed", "#pragma message(", ",", "\nok\n", "", false},
        {"pragma_macro_message", "#define M message\n#pragma M(", ",", ")\nok\n", "", false},
        {"pragma_wave", "#pragma wave option(", ",", ")\nok\n", "", false},
        {"pragma_macro_wave", "#define M wave\n#pragma M(", ",", ")\nok\n", "", false},
        {"pragma_other", "#pragma pack_matrix(", ",", ")\nok\n", "", false},
        {"pragma_stdc", "#pragma STDC", " ,", "\nok\n", "", false},
        {"pragma_operator_message", "_Pragma(\"message(", "a ", ")\")\nok\n", "", false},
        {"pragma_operator_message_unclosed", "_Pragma(\"message(", "a ", "\")\nok\n", "", false},
        // A # with something after it, and a directive the library does not know.
        {"null_extra", "#", " ,", "\nok\n", "error: ill formed preprocessor directive: # , , ,", true},
        {"unknown", "#frobnicate", " ,", "\nok\n",
         "error: ill formed preprocessor directive: #frobnicate , , ,", true},
    };
    return lines;
}

} // namespace d3dcompile_test
