#pragma once
// Internal to the HLSL compiler stand-in's preprocessor: what the function-like macro calls under
// way will copy of their arguments, known before the library copies it. The library expands an
// argument where its parameter is first used other than as an operand of # or ##, and copies the
// expanded argument for each such use; it copies the argument as written for each use as an operand
// of ##, and __VA_ARGS__ stands for all the arguments from its own on with a comma between each
// two. It reports the replacement list only once every copy is made: 3,000 uses of a parameter
// with an argument of 3,000 tokens made 18 million tokens (800 MB) before the expansion limit saw
// any. Here what a call copies is pending from the moment it is known, each copy of the arguments
// as written when the call begins, each copy of an argument expanded when its expansion ends, until
// the call's replacement list is made and counted.

#include <cstddef>
#include <vector>

namespace d3dcompiler_internal
{

// Tokens and their bytes.
struct TokenCount
{
    std::size_t uiTokens = 0;
    std::size_t uiBytes = 0;
};

// One token of a replacement list, as the library reads it to put the arguments in.
enum class ReplacementToken
{
    Blank,     // whitespace or a comment
    Stringize, // #
    Paste,     // ##
    Parameter, // a parameter, or __VA_ARGS__ (the parameter ...)
    Other,
};

// How a replacement list uses its parameters, read a token at a time in order.
class ParameterUses
{
public:
    // uiParameters counts the ..., if any, as the last.
    ParameterUses(std::size_t uiParameters, bool bVariadic);

    // The next token; uiParameter is the index of a Parameter.
    void Read(ReplacementToken eToken, std::size_t uiParameter = 0);

    std::size_t GetParameters() const { return m_vExpanded.size(); }
    bool IsVariadic() const { return m_bVariadic; }
    // Copies of the parameter's argument as macro expansion leaves it, with the last token read.
    std::size_t GetExpandedUses(std::size_t uiParameter) const;
    // Copies of the parameter's argument as written (as an operand of ##).
    std::size_t GetAsWrittenUses(std::size_t uiParameter) const;

private:
    static constexpr std::size_t NONE = ~std::size_t(0);

    std::vector<std::size_t> m_vExpanded;
    std::vector<std::size_t> m_vAsWritten;
    bool m_bVariadic;
    bool m_bAfterPaste = false;     // a ## came before, with blanks at most between
    bool m_bAfterStringize = false; // a # came before, with blanks at most between
    std::size_t m_uiPending = NONE; // a parameter read last, expanded unless a ## follows it
};

// The calls under way and what each will copy. Nesting levels count from 1 for a call in the text.
class ArgumentCopies
{
public:
    // A call at level uiLevel begins, its arguments at pArguments (an address that identifies them
    // until the call ends); vArguments gives the tokens of each argument other than whitespace and
    // the library's mark of an empty argument. Calls that began before at that level or deeper have
    // ended. The copies of its arguments as written are pending from now on, at least the tokens and
    // bytes each paste leaves of them, and the commas __VA_ARGS__ stands for.
    void BeginCall(const void* pArguments, std::size_t uiLevel, const ParameterUses& uses,
                   const std::vector<TokenCount>& vArguments);
    // The argument uiArgument of the call whose arguments are at pArguments is expanded to what is
    // given: its copies are pending from now on. Nothing for arguments of a call not under way.
    void ArgumentExpanded(const void* pArguments, std::size_t uiArgument, TokenCount expanded);
    // The replacement list of the call at level uiLevel, if one is under way, is made: what was
    // pending of it is no longer (the caller counts the list).
    void EndCall(std::size_t uiLevel);

    // What the calls under way will copy that the replacement lists made so far do not hold.
    TokenCount GetPending() const { return m_pending; }

private:
    struct Call
    {
        const void* pArguments = nullptr;
        std::size_t uiLevel = 0;
        std::vector<std::size_t> vExpandedUses; // of each parameter, the ... last
        bool bVariadic = false;
        TokenCount pending;
    };

    void Add(Call& call, std::size_t uiCopies, TokenCount count);

    std::vector<Call> m_vCalls; // the innermost last
    TokenCount m_pending;
};

} // namespace d3dcompiler_internal
