#include "platform/d3dcompiler/D3DCompilerDiagnostics.h"

#include <boost/wave/cpp_exceptions.hpp>

#include <string_view>

namespace d3dcompiler_internal
{

namespace
{

using boost::wave::preprocess_exception;

enum class Decision
{
    Passes,
    Fails,
    FailsWithOurText, // the library's text does not say what is wrong
};

// What becomes of each code the library has (a code added to the library is a compile error here,
// through the switch without a default). Codes the preprocessing never raises fail.
Decision DecisionOf(const boost::wave::cpp_exception& e)
{
    switch (static_cast<preprocess_exception::error_code>(e.get_errorcode()))
    {
    // #warning: the line is done with. #pragma message and _Pragma("message(...)"), and a message
    // of a form the library does not know, are never raised: no pragma is made into text (see
    // interpret_pragma in the preprocessor), each is dropped as one the library does not know.
    case preprocess_exception::warning_directive:
    case preprocess_exception::pragma_message_directive:
    case preprocess_exception::ill_formed_pragma_message:
    // A text that ends in a line splice: the library ends the line.
    case preprocess_exception::last_line_not_terminated:
    // A predefined macro defined again (a macro of the text takes its new body, see
    // Context::add_macro_definition): the predefined one keeps its body.
    case preprocess_exception::macro_redefinition:
    // #undef __FILE__ and the like: the built-in macro is kept.
    case preprocess_exception::bad_undefine_statement:
        return Decision::Passes;
    // #define __LINE__ and the like: the built-in macro is kept. "defined" is no macro name in C,
    // which refuses its definition.
    case preprocess_exception::illegal_redefinition:
        return std::string_view(e.get_related_name()) == "defined" ? Decision::Fails : Decision::Passes;
    // A _Pragma whose operand is not one string literal fails (C requires a diagnostic, and past it
    // the library reads a replacement it never made); the library names the operator alone there.
    // An option of the library's own keyword ("wave") it does not know, which its message would
    // quote, is never raised: such a pragma is dropped unread, as above.
    case preprocess_exception::ill_formed_pragma_option:
    {
        const std::string_view sText = e.description();
        constexpr std::string_view OPERATOR = ": _Pragma";
        const bool bOperator =
            sText.size() >= OPERATOR.size() && sText.substr(sText.size() - OPERATOR.size()) == OPERATOR;
        return bOperator ? Decision::Fails : Decision::Passes;
    }
    // #line whose line number and file name are followed by more tokens. Where they are written out
    // the lexer adapter drops the rest and the line is read as C reads it (C warns); the library
    // raises this where macros made them, and does not read the line: it fails, with a text of ours
    // (the library's says "no error").
    case preprocess_exception::no_error:
        return Decision::FailsWithOurText;
    // #line without a line number from 1 to 2147483647, or with something other than a file name
    // after it: errors, as C requires.
    case preprocess_exception::bad_line_statement:
    case preprocess_exception::bad_line_number:
    case preprocess_exception::bad_line_filename:
    // An include left an #if open or closed one of its includer's: the hooks raise an error first
    // at the directive concerned; otherwise the includer's text would be skipped or its group
    // flipped.
    case preprocess_exception::unbalanced_if_endif:
    // An #if character constant beyond its type: an error, as C requires.
    case preprocess_exception::character_literal_out_of_range:
    // Macro calls with the wrong count of arguments, or none where C needs one: the library cannot
    // go on after them.
    case preprocess_exception::too_few_macroarguments:
    case preprocess_exception::too_many_macroarguments:
    case preprocess_exception::empty_macroarguments:
    case preprocess_exception::improperly_terminated_macro:
    // Ill-formed directives, definitions, names, operators and expressions, #error, a failed or
    // ill-formed #include, includes nested too deep: errors.
    case preprocess_exception::unexpected_error:
    case preprocess_exception::macro_insertion_error:
    case preprocess_exception::bad_include_file:
    case preprocess_exception::bad_include_statement:
    case preprocess_exception::bad_has_include_expression:
    case preprocess_exception::ill_formed_directive:
    case preprocess_exception::error_directive:
    case preprocess_exception::ill_formed_expression:
    case preprocess_exception::missing_matching_if:
    case preprocess_exception::missing_matching_endif:
    case preprocess_exception::ill_formed_operator:
    case preprocess_exception::bad_define_statement:
    case preprocess_exception::bad_define_statement_va_args:
    case preprocess_exception::bad_define_statement_va_opt:
    case preprocess_exception::bad_define_statement_va_opt_parens:
    case preprocess_exception::bad_define_statement_va_opt_recurse:
    case preprocess_exception::bad_macro_definition:
    case preprocess_exception::duplicate_parameter_name:
    case preprocess_exception::invalid_concat:
    case preprocess_exception::include_nesting_too_deep:
    case preprocess_exception::misplaced_operator:
    case preprocess_exception::alreadydefined_name:
    case preprocess_exception::undefined_macroname:
    case preprocess_exception::invalid_macroname:
    case preprocess_exception::unexpected_qualified_name:
    case preprocess_exception::division_by_zero:
    case preprocess_exception::integer_overflow:
    case preprocess_exception::illegal_operator_redefinition:
    case preprocess_exception::ill_formed_integer_literal:
    case preprocess_exception::ill_formed_character_literal:
    // Raised only where no preprocessing here goes: an output file, a saved state loaded.
    case preprocess_exception::could_not_open_output_file:
    case preprocess_exception::incompatible_config:
        return Decision::Fails;
    }
    return Decision::Fails;
}

} // namespace

bool PassesWarning(const boost::wave::cpp_exception& e)
{
    return e.is_recoverable() && e.get_severity() < boost::wave::util::severity_error &&
           DecisionOf(e) == Decision::Passes;
}

std::string ErrorTextOf(const boost::wave::cpp_exception& e)
{
    const std::string sDescription = e.description();
    if (DecisionOf(e) != Decision::FailsWithOurText)
        return AsErrorText(sDescription);
    // The line the library quotes after its severity and its "no error".
    const std::size_t uiSeverity = sDescription.find(": ");
    std::string sText = uiSeverity == std::string::npos ? sDescription : sDescription.substr(uiSeverity + 2);
    constexpr std::string_view NO_ERROR = "no error: ";
    if (sText.compare(0, NO_ERROR.size(), NO_ERROR) == 0)
        sText.erase(0, NO_ERROR.size());
    return "error: tokens after the file name of #line: " + sText;
}

std::string AsErrorText(const std::string& sDescription)
{
    const std::size_t uiSeverity = sDescription.find(": ");
    if (uiSeverity == std::string::npos)
        return sDescription;
    const std::string_view sSeverity = std::string_view(sDescription).substr(0, uiSeverity);
    if (sSeverity == "error" || sSeverity == "fatal error")
        return sDescription;
    return "error: " + sDescription.substr(uiSeverity + 2);
}

} // namespace d3dcompiler_internal
