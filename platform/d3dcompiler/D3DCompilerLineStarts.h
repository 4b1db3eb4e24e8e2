#pragma once
// Internal to the HLSL compiler stand-in: where a line begins for the preprocessor, as C reads it.

namespace d3dcompiler_internal
{

// A directive begins a line where its # (or the directive token that holds it) is the first token
// of the line, once line splices are taken out and each comment is one space, a comment that spans
// lines too: this rule alone tells a directive line, in groups taken and skipped alike and after
// macros that expand to nothing. Every reader of directive lines follows it with one of these: the
// lexer of a file, which marks the directives for the library and gives every other # as text, and
// the check of a text's directive lines before the library reads the text.
class LineStarts
{
public:
    // Reads the next token, given whether it ends its line (a line break, a // comment, the end of
    // the text) and whether it is blank (whitespace or a /* */ comment): whether it is the first
    // token of its line that is neither.
    bool Next(bool bEndsLine, bool bBlank)
    {
        if (bEndsLine)
        {
            m_bLineHasToken = false;
            return false;
        }
        if (bBlank || m_bLineHasToken)
            return false;
        m_bLineHasToken = true;
        return true;
    }

    // A token that is neither blank nor a line's end has come since the last line's end.
    bool LineHasToken() const { return m_bLineHasToken; }

private:
    bool m_bLineHasToken = false;
};

} // namespace d3dcompiler_internal
