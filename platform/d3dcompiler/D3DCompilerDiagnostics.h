#pragma once
// Internal to the HLSL compiler stand-in's preprocessor: what becomes of each error, warning and
// remark the library raises through the preprocessing hooks.

#include <string>

namespace boost::wave
{
class cpp_exception;
} // namespace boost::wave

namespace d3dcompiler_internal
{

// Whether what the library raised passes: preprocessing goes on as if it had not been raised, and
// it is not reported (the compiler has no channel for warnings). Every code the library has is
// decided in the source, with the text that raises it. The lexer's warnings are thrown past the
// hooks and fail the compile: a comment that the end of a text cuts off (C: an unterminated
// comment is an error), and a long long suffix, which C99 reads and which is never raised here.
bool PassesWarning(const boost::wave::cpp_exception& e);

// The text of the error for what the library raised and did not pass: its own message, where the
// library's says what is wrong, with its severity made "error" (AsErrorText); a message of ours
// where it does not.
std::string ErrorTextOf(const boost::wave::cpp_exception& e);

// A message of the library or its lexer, "severity: what it is: the text concerned", with its
// severity made "error": a warning or remark that fails is an error here ("fatal error" stays).
std::string AsErrorText(const std::string& sDescription);

} // namespace d3dcompiler_internal
