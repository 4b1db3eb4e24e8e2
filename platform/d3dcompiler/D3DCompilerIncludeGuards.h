#pragma once
// Internal to the HLSL compiler stand-in's preprocessor: tells whether an include's text is one
// guarded group, so that the text need not be read again while its guard is defined.

#include <string>
#include <string_view>

namespace d3dcompiler_internal
{

// Reads the tokens of one text as the preprocessor reads them and tells, once the end is read,
// whether the text outside comments and whitespace is one group opened by "#ifndef X",
// "#if !defined X" or "#if !defined(X)" and closed by its #endif, with no #else or #elif of its own.
// While X is defined, C reads nothing from such a text: every other text is read again. The #define
// of X need not be there (where it is not, X is rarely defined when the text is next included).
// Directives count where they begin a line; a # elsewhere is text.
class IncludeGuardDetector
{
public:
    enum class Token
    {
        Blank,      // whitespace or a comment
        LineEnd,    // a line break, or a // comment with its line break
        End,        // the end of the text
        If,         // #if at the start of a line
        IfDef,      // #ifdef at the start of a line
        IfNDef,     // #ifndef at the start of a line
        ElseOrElif, // #else or #elif at the start of a line
        EndIf,      // #endif at the start of a line
        Not,        // !
        LeftParen,  // (
        RightParen, // )
        Identifier,
        Other,
    };

    // The next token; sValue is read for identifiers.
    void Add(Token eToken, std::string_view sValue);
    // The guard X once the end is read where the text is one such group; empty otherwise.
    const std::string& GetGuard() const { return m_eState == State::Guarded ? m_sGuard : s_sNone; }

private:
    enum class State
    {
        Start,       // before the group
        Not,         // #if read, ! to come
        Defined,     // #if ! read, defined to come
        NameOrParen, // #if !defined read
        NameInParen, // #if !defined( read
        RightParen,  // #if !defined(X read
        Name,        // #ifndef read
        RestOfLine,  // the condition read, its line to end
        Group,       // inside the group
        After,       // the group closed
        Guarded,     // the end read after the group
        NotGuarded,
    };

    static const std::string s_sNone;

    State m_eState = State::Start;
    std::string m_sGuard;
    std::size_t m_uiDepth = 0; // of the groups open inside the guarded one
};

} // namespace d3dcompiler_internal
