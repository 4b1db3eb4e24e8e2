#pragma once
// Internal to the HLSL compiler stand-in: the evaluator of #if and #elif expressions, which reads
// the tokens macro expansion left with C's arithmetic, and the check of what ## pastes, each as C
// reads its tokens.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace d3dcompiler_internal
{

enum class ConditionError
{
    None,
    IllFormed,      // not an expression, or a token that is not one of its operands or operators
    Overflow,       // a signed result outside 64 bits, where gcc warns of an integer overflow
    DivisionByZero, // a quotient or remainder by 0 in an operand that is evaluated
    Character,      // a character constant C does not read as one value
};

struct ConditionResult
{
    bool bValue = false;
    ConditionError eError = ConditionError::None;
    std::string sWhat; // for IllFormed and Character: what is wrong, naming the token
};

// Evaluates an #if expression from its tokens, in order, whitespace and comments left out, as C
// evaluates it: each value is a signed or an unsigned 64-bit integer, the usual arithmetic
// conversions apply, comparisons and !, && and || give a signed 0 or 1, an identifier is 0, and
// operands && || and ?: do not evaluate may hold an overflow or a division by 0 without an error.
// The first error of the operands that are evaluated is given. It keeps its own stacks: the depth
// of the expression costs no recursion.
ConditionResult EvaluateCondition(const std::vector<std::string_view>& vTokens);

// An operand of ## in a replacement list as it stands for one expansion: a token, a parameter
// by its argument (none when the argument is empty), or a stringized parameter (a literal); or
// the ## itself.
struct PasteOperand
{
    bool bPaste = false;     // the ## operator
    std::string_view sFirst; // the first and last token of the operand (empty: no token)
    std::string_view sLast;
    bool bSingle = true;    // the operand is one token
    bool bVariadic = false; // __VA_ARGS__
};

// The message for the first ## of the operands that pastes two tokens into text that is not one
// preprocessing token of C ("x" and "+", ")" and "1"), or an empty string. An empty operand
// pastes as nothing, and a comma before ## __VA_ARGS__ is not pasted, as gcc reads it.
std::string InvalidPaste(const std::vector<PasteOperand>& vOperands);

} // namespace d3dcompiler_internal
