#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"

#include <tinyxml.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{

// Zero bytes behind the text: the parser steps up to three bytes past the terminating NUL of an
// unterminated comment, CDATA section or attribute value before it notices the end.
constexpr std::size_t TEXT_PADDING = 8;

// Retraces TinyXML's document parse without its recursion, counting open elements and each
// element's attributes, so a document nested too deeply is refused before the recursive parser can
// run out of stack, and one with an element of too many attributes before the parser spends time
// on it that grows with the square of their number. It follows the
// parser step for step: the same encoding (a leading byte-order mark or the first declaration of
// the document decides it, as in the parser), and TinyXML's own routines for everything that does
// not nest (white space, names, attributes, text, comments, CDATA, declarations, unknown markup),
// so multi-byte characters and character references end where the parser ends them. Only the
// element structure is walked here, with an explicit stack of end tags. Wherever the parser stops
// with an error the walk stops too: the parser goes no deeper than that point.
class LimitWalk : private TiXmlBase
{
public:
    // True when the parser cannot nest deeper than the limit nor read more attributes into one
    // element than the limit.
    static bool IsWithinLimit(const char* p)
    {
        TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN;
        const auto* pU = reinterpret_cast<const unsigned char*>(p);
        if (pU[0] == 0xEF && pU[1] == 0xBB && pU[2] == 0xBF)
            encoding = TIXML_ENCODING_UTF8;
        p = SkipWhiteSpace(p, encoding);
        while (p != nullptr && *p != 0)
        {
            const Kind kind = Identify(p, encoding);
            if (kind == Kind::None)
                break;
            if (kind == Kind::Element)
            {
                bool bOverLimit = false;
                p = WalkElement(p, encoding, &bOverLimit);
                if (bOverLimit)
                    return false;
            }
            else if (kind == Kind::Declaration)
            {
                TiXmlDeclaration declaration;
                p = declaration.Parse(p, nullptr, encoding);
                if (encoding == TIXML_ENCODING_UNKNOWN)
                    encoding = EncodingDeclared(declaration.Encoding());
            }
            else
            {
                p = ParseLeaf(kind, p, encoding);
            }
            p = SkipWhiteSpace(p, encoding);
        }
        return true;
    }

private:
    enum class Kind
    {
        None,
        Declaration,
        Comment,
        CData,
        Unknown,
        Element
    };

    // What the node starting at p is, as the parser identifies it.
    static Kind Identify(const char* p, TiXmlEncoding encoding)
    {
        p = SkipWhiteSpace(p, encoding);
        if (p == nullptr || *p != '<')
            return Kind::None;
        if (StringEqual(p, "<?xml", true, encoding))
            return Kind::Declaration;
        if (StringEqual(p, "<!--", false, encoding))
            return Kind::Comment;
        if (StringEqual(p, "<![CDATA[", false, encoding))
            return Kind::CData;
        if (StringEqual(p, "<!", false, encoding))
            return Kind::Unknown;
        if (IsAlpha(static_cast<unsigned char>(p[1]), encoding) != 0 || p[1] == '_')
            return Kind::Element;
        return Kind::Unknown;
    }

    static TiXmlEncoding EncodingDeclared(const char* pEncoding)
    {
        if (*pEncoding == 0 || StringEqual(pEncoding, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
            StringEqual(pEncoding, "UTF8", true, TIXML_ENCODING_UNKNOWN))
        {
            return TIXML_ENCODING_UTF8;
        }
        return TIXML_ENCODING_LEGACY;
    }

    // A node that does not nest, parsed by the parser's own code; its end, or null on an error.
    static const char* ParseLeaf(Kind kind, const char* p, TiXmlEncoding encoding)
    {
        switch (kind)
        {
        case Kind::Declaration:
            return TiXmlDeclaration().Parse(p, nullptr, encoding);
        case Kind::Comment:
            return TiXmlComment().Parse(p, nullptr, encoding);
        case Kind::CData:
        {
            TiXmlText text("");
            text.SetCDATA(true);
            return text.Parse(p, nullptr, encoding);
        }
        default:
            return TiXmlUnknown().Parse(p, nullptr, encoding);
        }
    }

    // Element start tag at p (name, attributes, "/>" or ">"); the position after it, or null on an
    // error. *pName receives the name, *pOpen whether content follows. *pOverLimit is set (and null
    // returned) when the tag holds more attributes than the limit.
    static const char* WalkStartTag(const char* p, TiXmlEncoding encoding, std::string* pName, bool* pOpen,
                                    bool* pOverLimit)
    {
        p = SkipWhiteSpace(p, encoding);
        if (p == nullptr || *p != '<')
            return nullptr;
        p = SkipWhiteSpace(p + 1, encoding);
        if (p == nullptr)
            return nullptr;
        p = ReadName(p, pName, encoding);
        if (p == nullptr || *p == 0)
            return nullptr;
        for (int iAttributes = 0;; ++iAttributes)
        {
            p = SkipWhiteSpace(p, encoding);
            if (p == nullptr || *p == 0)
                return nullptr;
            if (*p == '/')
            {
                *pOpen = false;
                return p[1] == '>' ? p + 2 : nullptr;
            }
            if (*p == '>')
            {
                *pOpen = true;
                return p + 1;
            }
            // The parser adds an attribute once it has read it whole; counted before that, the
            // count is never behind the parser's. A repeated attribute name is an error for the
            // parser; walking on is only cautious.
            if (iAttributes >= KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES)
            {
                *pOverLimit = true;
                return nullptr;
            }
            TiXmlAttribute attribute;
            p = attribute.Parse(p, nullptr, encoding);
            if (p == nullptr || *p == 0)
                return nullptr;
        }
    }

    // The element at p with everything inside it; the position after its end tag, or null where
    // the parser reports an error. *pOverLimit is set when open elements nest beyond the limit or
    // an element holds more attributes than the limit.
    static const char* WalkElement(const char* p, TiXmlEncoding encoding, bool* pOverLimit)
    {
        std::vector<std::string> endTags; // of the open elements, outermost first
        std::string sName;
        bool bOpen = false;
        p = WalkStartTag(p, encoding, &sName, &bOpen, pOverLimit);
        if (p == nullptr || !bOpen)
            return p;
        endTags.push_back("</" + sName);
        p = SkipWhiteSpace(p, encoding);
        while (p != nullptr && *p != 0)
        {
            if (*p != '<')
            {
                TiXmlText text("");
                p = text.Parse(p, nullptr, encoding);
            }
            else if (StringEqual(p, "</", false, encoding))
            {
                // The end tag of the innermost open element, or an error.
                const std::string& sEndTag = endTags.back();
                if (!StringEqual(p, sEndTag.c_str(), false, encoding))
                    return nullptr;
                p = SkipWhiteSpace(p + sEndTag.size(), encoding);
                if (p == nullptr || *p != '>')
                    return nullptr;
                ++p;
                endTags.pop_back();
                if (endTags.empty())
                    return p;
            }
            else
            {
                const Kind kind = Identify(p, encoding);
                if (kind == Kind::Element)
                {
                    p = WalkStartTag(p, encoding, &sName, &bOpen, pOverLimit);
                    if (p != nullptr && bOpen)
                    {
                        if (endTags.size() >= static_cast<std::size_t>(KU_XmlUtilities::MAX_ELEMENT_DEPTH))
                        {
                            *pOverLimit = true;
                            return nullptr;
                        }
                        endTags.push_back("</" + sName);
                    }
                }
                else
                {
                    p = ParseLeaf(kind, p, encoding);
                }
            }
            p = SkipWhiteSpace(p, encoding);
        }
        return nullptr; // the text ended inside an element
    }
};

// Whether the parser read a text without NUL bytes to its end, given where its document parse
// stopped (pEnd) without an error. At the top level it stops, without an error, at the first text
// that is no markup: text between or after elements, or what follows the first '>' of a DOCTYPE's
// internal subset. Where it reaches the end it returns the end, or null when the text ends right
// after a node; null too when it breaks off inside a declaration's attribute, again without an
// error. A declaration belongs before the elements, so a text whose last node is one is taken as
// not read whole.
bool IsReadWhole(const TiXmlDocument& document, const char* pEnd)
{
    if (pEnd != nullptr && *pEnd != 0)
        return false;
    const TiXmlNode* pLast = document.LastChild();
    return pLast == nullptr || pLast->ToDeclaration() == nullptr;
}

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
    // The parser takes a NUL byte for the end of the text: it would leave the rest unread.
    if (pText == nullptr || std::memchr(pText, 0, static_cast<std::size_t>(uiSize)) != nullptr ||
        !LimitWalk::IsWithinLimit(pText))
    {
        return nullptr;
    }

    auto* pDocument = new (std::nothrow) TiXmlDocument();
    if (pDocument == nullptr)
        return nullptr;
    // No row and column tracking: nothing reads them, and counting them walks every character of
    // the text a second time (a seventh of a large model document's parse).
    pDocument->SetTabSize(0);
    const char* pEnd = pDocument->Parse(pText, nullptr, TIXML_ENCODING_UNKNOWN);
    if (pDocument->Error() || !IsReadWhole(*pDocument, pEnd))
    {
        delete pDocument;
        return nullptr;
    }
    return pDocument;
}
