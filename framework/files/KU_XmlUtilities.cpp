#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"

#include <tinyxml.h>

#include <cctype>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace
{

// Zero bytes behind the text: the parser steps up to three bytes past the terminating NUL of an
// unterminated comment, CDATA section or attribute value before it notices the end.
constexpr std::size_t TEXT_PADDING = 8;

// Follows the text the way TinyXML reads it (same markup kinds, same ends, same white space) and
// counts open elements, so a document nested too deeply is refused before the recursive parser
// can run out of stack. Wherever TinyXML would stop with an error the walk may end too: the
// parser goes no deeper than that point either.
class NestingWalk
{
public:
    explicit NestingWalk(const char* pText) : m_p(reinterpret_cast<const unsigned char*>(pText)) {}

    // True when the parser cannot nest deeper than the limit.
    bool IsWithinLimit()
    {
        // A byte-order mark opens the text; it is skipped like white space.
        if (IsByteOrderMark(m_p))
            m_p += 3;
        if (HasAmbiguousBytes())
            return false;
        int iDepth = 0;
        SkipWhiteSpace();
        while (*m_p != 0)
        {
            if (*m_p != '<')
            {
                if (iDepth == 0)
                    return true; // the parser stops at text outside the root
                SkipTo("<");
                continue;
            }
            if (iDepth > 0 && m_p[1] == '/')
            {
                // An end tag that does not match ends the parse with an error, so whatever
                // follows it is never nested.
                if (!SkipPast(">"))
                    return true;
                --iDepth;
            }
            else if (StartsWith("<?xml", true))
            {
                if (!WalkDeclaration())
                    return true;
            }
            else if (StartsWith("<!--", false))
            {
                m_p += 4;
                if (!SkipPast("-->"))
                    return true;
            }
            else if (StartsWith("<![CDATA[", false))
            {
                m_p += 9;
                if (!SkipPast("]]>"))
                    return true;
            }
            else if (IsNameStart(m_p[1]))
            {
                const Tag tag = WalkStartTag();
                if (tag == Tag::Broken)
                    return true;
                if (tag == Tag::Open && ++iDepth > KU_XmlUtilities::MAX_ELEMENT_DEPTH)
                    return false;
            }
            else if (!SkipPast(">")) // any other markup is read up to the next '>'
            {
                return true;
            }
            SkipWhiteSpace();
        }
        return true;
    }

private:
    enum class Tag
    {
        Open,
        SelfClosed,
        Broken
    };

    static bool IsWhite(unsigned char c) { return std::isspace(c) != 0; }
    static bool IsNameStart(unsigned char c) { return c >= 127 || std::isalpha(c) != 0 || c == '_'; }
    static bool IsNameChar(unsigned char c)
    {
        return c >= 127 || std::isalnum(c) != 0 || c == '_' || c == '-' || c == '.' || c == ':';
    }

    // The three-byte sequences the parser skips as white space in UTF-8 mode.
    static bool IsByteOrderMark(const unsigned char* p)
    {
        return p[0] == 0xEF &&
               ((p[1] == 0xBB && p[2] == 0xBF) || (p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF)));
    }

    // Text this walk could read differently from the parser, which it refuses:
    // - In UTF-8 mode the parser takes a byte from 0xC0 up as the start of a 2- to 4-byte sequence
    //   and skips the bytes it claims; those must not include a character that ends text or an
    //   attribute value. Valid UTF-8 never does.
    // - Whether the parser skips a byte-order mark past the start depends on the encoding it
    //   settled on; such marks do not occur in real documents.
    bool HasAmbiguousBytes() const
    {
        for (const unsigned char* p = m_p; *p != 0; ++p)
        {
            if (*p < 0xC0)
                continue;
            if (IsByteOrderMark(p))
                return true;
            const int iLength = *p >= 0xF0 ? 4 : (*p >= 0xE0 ? 3 : 2);
            for (int i = 1; i < iLength && p[i] != 0; ++i)
                if (p[i] == '<' || p[i] == '"' || p[i] == '\'')
                    return true;
        }
        return false;
    }

    void SkipWhiteSpace()
    {
        while (*m_p != 0 && IsWhite(*m_p))
            ++m_p;
    }

    bool StartsWith(const char* pTag, bool bIgnoreCase) const
    {
        for (std::size_t i = 0; pTag[i] != 0; ++i)
        {
            const unsigned char c = m_p[i];
            const unsigned char t = static_cast<unsigned char>(pTag[i]);
            if (c == 0 || (bIgnoreCase ? std::tolower(c) != std::tolower(t) : c != t))
                return false;
        }
        return true;
    }

    // Moves to the first occurrence of pEnd (or the NUL).
    void SkipTo(const char* pEnd)
    {
        const char* pFound = std::strstr(reinterpret_cast<const char*>(m_p), pEnd);
        m_p = pFound != nullptr ? reinterpret_cast<const unsigned char*>(pFound)
                                : m_p + std::strlen(reinterpret_cast<const char*>(m_p));
    }

    // Moves past the first occurrence of pEnd; false when the text ends first.
    bool SkipPast(const char* pEnd)
    {
        SkipTo(pEnd);
        if (*m_p == 0)
            return false;
        m_p += std::strlen(pEnd);
        return true;
    }

    // name = value, with the value quoted or bare; false where the parser reports an error.
    bool WalkAttribute()
    {
        if (!IsNameStart(*m_p))
            return false;
        while (IsNameChar(*m_p))
            ++m_p;
        SkipWhiteSpace();
        if (*m_p != '=')
            return false;
        ++m_p;
        SkipWhiteSpace();
        if (*m_p == '"' || *m_p == '\'')
        {
            const char quote[2] = {static_cast<char>(*m_p), 0};
            ++m_p;
            return SkipPast(quote);
        }
        while (*m_p != 0 && !IsWhite(*m_p) && *m_p != '/' && *m_p != '>')
        {
            if (*m_p == '"' || *m_p == '\'')
                return false;
            ++m_p;
        }
        return *m_p != 0;
    }

    Tag WalkStartTag()
    {
        ++m_p;
        while (IsNameChar(*m_p))
            ++m_p;
        for (;;)
        {
            SkipWhiteSpace();
            if (*m_p == 0)
                return Tag::Broken;
            if (*m_p == '/')
            {
                if (m_p[1] != '>')
                    return Tag::Broken;
                m_p += 2;
                return Tag::SelfClosed;
            }
            if (*m_p == '>')
            {
                ++m_p;
                return Tag::Open;
            }
            if (!WalkAttribute())
                return Tag::Broken;
        }
    }

    // "<?xml" up to its '>'; version, encoding and standalone are read as attributes (their
    // quoted values may hold a '>'), anything else word by word.
    bool WalkDeclaration()
    {
        m_p += 5;
        while (*m_p != 0)
        {
            if (*m_p == '>')
            {
                ++m_p;
                return true;
            }
            SkipWhiteSpace();
            if (StartsWith("version", true) || StartsWith("encoding", true) || StartsWith("standalone", true))
            {
                if (!WalkAttribute())
                    return false;
            }
            else
            {
                while (*m_p != 0 && *m_p != '>' && !IsWhite(*m_p))
                    ++m_p;
            }
        }
        return false;
    }

    const unsigned char* m_p; // not owned; current position
};
} // namespace

TiXmlDocument* KU_XmlUtilities::LoadXmlDocument(KF_FileManager* pFileManager, const KB_String& sPath)
{
    if (pFileManager == nullptr)
        return nullptr;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFileManager->ReadFile(sPath, &uiSize, &pData))
        return nullptr;
    // The parser reads a little past the end of malformed text: parse a padded copy.
    char* pText = nullptr;
    if (uiSize < std::numeric_limits<std::size_t>::max() - TEXT_PADDING)
        pText = new (std::nothrow) char[static_cast<std::size_t>(uiSize) + TEXT_PADDING];
    if (pText != nullptr)
    {
        std::memcpy(pText, pData, static_cast<std::size_t>(uiSize));
        std::memset(pText + uiSize, 0, TEXT_PADDING);
    }
    pFileManager->RemoveReference(sPath);
    const std::unique_ptr<char[]> text(pText);
    if (pText == nullptr || !NestingWalk(pText).IsWithinLimit())
        return nullptr;

    auto* pDocument = new (std::nothrow) TiXmlDocument();
    if (pDocument == nullptr)
        return nullptr;
    pDocument->Parse(pText, nullptr, TIXML_ENCODING_UNKNOWN);
    if (pDocument->Error())
    {
        delete pDocument;
        return nullptr;
    }
    return pDocument;
}
