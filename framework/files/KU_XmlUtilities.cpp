#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_XmlEncodings.h"

#include <expat.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace
{

// Zero bytes behind the text: the parser steps up to three bytes past the terminating NUL of an
// unterminated comment, CDATA section or attribute value before it notices the end.
constexpr std::size_t TEXT_PADDING = 8;

// Stand in the parser's copy of the text for each '>' inside a processing instruction or a DOCTYPE
// before its end, where the parser would end it, and for the 'x' or 'X' of an instruction whose
// target begins with "xml", which the parser would read as a declaration. XML 1.0 text never
// holds these bytes. They reach the parser's tree in unknown nodes only.
constexpr char STAND_IN_GREATER_THAN = '\x01';
constexpr char STAND_IN_SMALL_X = '\x02';
constexpr char STAND_IN_CAPITAL_X = '\x03';

// U+FEFF in UTF-8, a byte-order mark only as the first bytes of a text.
constexpr char FEFF[] = "\xEF\xBB\xBF";
constexpr std::size_t FEFF_LENGTH = sizeof(FEFF) - 1;
// Stands in the parser's copy of a text read as UTF-8 for each U+FEFF of its text, as written or by
// reference: the parser skips FEFF's bytes as a byte-order mark wherever it skips white space, and
// would drop the character at the start of a run of text and after the white space that begins one.
// These bytes would be a surrogate, which no UTF-8 text holds; the parser reads them as one
// character of three bytes, and they are put back in the tree's texts.
constexpr char STAND_IN_FEFF[] = "\xED\xBB\xBF";

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the bytes are UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const char* pText, std::size_t uiSize)
{
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const auto* pEnd = p + uiSize;
    while (p < pEnd)
    {
        if (*p < 0x80)
        {
            ++p;
            continue;
        }
        std::ptrdiff_t iLength = 0;
        std::uint32_t uiLeast = 0;
        if ((*p & 0xE0) == 0xC0)
        {
            iLength = 2;
            uiLeast = 0x80;
        }
        else if ((*p & 0xF0) == 0xE0)
        {
            iLength = 3;
            uiLeast = 0x800;
        }
        else if ((*p & 0xF8) == 0xF0)
        {
            iLength = 4;
            uiLeast = 0x10000;
        }
        if (iLength == 0 || pEnd - p < iLength)
            return false;
        std::uint32_t uiCode = *p & (0x7Fu >> iLength);
        for (std::ptrdiff_t i = 1; i < iLength; ++i)
        {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            uiCode = uiCode << 6 | (p[i] & 0x3Fu);
        }
        if (uiCode < uiLeast || uiCode > 0x10FFFF || (uiCode >= 0xD800 && uiCode <= 0xDFFF))
            return false;
        p += iLength;
    }
    return true;
}

// The character of the reference "&#...;" at p, which expat has read as one; 0 where the text up to
// pEnd holds none there.
std::uint32_t ReferencedCharacter(const char* p, const char* pEnd)
{
    if (pEnd - p < 4 || p[0] != '&' || p[1] != '#')
        return 0;
    const bool bHex = p[2] == 'x';
    std::uint32_t uiCharacter = 0;
    for (p += bHex ? 3 : 2; p < pEnd && *p != ';'; ++p)
    {
        const auto c = static_cast<unsigned char>(*p);
        const auto cLower = static_cast<unsigned char>(c | 0x20);
        std::uint32_t uiDigit = 0;
        if (c >= '0' && c <= '9')
            uiDigit = c - '0';
        else if (bHex && cLower >= 'a' && cLower <= 'f')
            uiDigit = cLower - 'a' + 10u;
        else
            return 0;
        uiCharacter = uiCharacter * (bHex ? 16 : 10) + uiDigit;
        if (uiCharacter > 0x10FFFF)
            return 0;
    }
    return p < pEnd ? uiCharacter : 0;
}

// Judges with expat whether a text is well-formed XML in the encoding it declares (as libxml2
// reads the encoding's name), with two relaxations the engine's files need: several top-level
// elements (the scene configuration holds one per scene), and a text without a byte-order mark or
// declaration that is not UTF-8 is read as ISO-8859-1, as the parser reads such a text, a byte a
// character. The parser reads every declared encoding other than UTF-8 a byte a character, which
// finds the markup expat finds: in an encoding of several bytes a character no byte but a
// character's first lies below 0x40, where white space, digits and the markup the parser looks for
// lie (expat refuses a character with such a later byte), but for a ']' that ends a character inside
// a CDATA section. Refused on purpose, beyond what is not well-formed: an internal DTD subset that
// declares an entity or an attribute list or refers to a parameter entity, and a reference to an
// entity that only an external DTD can declare (the parser reads neither, and would drop the
// reference's '&'); an encoding that keeps a state across characters (ISO-2022-JP, UTF-7) or whose
// bytes of markup are other characters (UTF-16); a CDATA section holding the bytes of "]]>", which
// the parser ends early. It also counts the elements and refuses nesting and elements beyond the
// loader's limits, which bound the parser's recursion and its cost: the parser reads a well-formed
// text's elements as expat does (a name it cannot read, such as one holding a character of several
// bytes that ends in a '\' or '[', is an error of its own). It notes where the character references
// outside ASCII of text and attribute values stand, which the parser would write as one byte in a
// text it does not read as UTF-8, and the encoding their characters are to be written in.
//
// Expat reads the text twice. The first reading stops at the first element. The second wraps an
// element of its own around the top-level elements: its start tag goes before the first element,
// after any declaration and DOCTYPE, its end tag after the text. Its direct content may be white
// space, comments and instructions besides the elements, as the top level's may; expat refuses a
// declaration after the first element and anything after the wrapper.
class WellFormedness
{
public:
    // A character reference outside ASCII in text or an attribute value.
    struct Reference
    {
        std::size_t uiAt = 0;  // where it begins
        bool bStandIn = false; // to be written as STAND_IN_FEFF
    };

    struct Verdict
    {
        std::uint64_t uiElements = 0;     // elements of the text
        std::uint64_t uiStandIns = 0;     // bytes written in for the parser in instructions and DOCTYPEs
        std::uint64_t uiFeffStandIns = 0; // U+FEFF of text given STAND_IN_FEFF, as written or by reference
        // The character references outside ASCII of text and attribute values, in order, and the
        // encoding the text is read in.
        std::vector<Reference> vReferences;
        KU_XmlEncodings::Encoding oEncoding;
    };

    // Judges the text, writing the stand-ins into it as expat reads it (a refused text is not
    // read further).
    static bool Judge(char* pText, std::size_t uiSize, Verdict* pVerdict)
    {
        const char* pEncoding = ChooseEncoding(pText, uiSize);
        WellFormedness check(pText, uiSize);
        if (check.Run(pEncoding, pVerdict))
            return true;
        if (pEncoding != nullptr || check.m_pOwnEncoding == nullptr)
            return false;
        // A name of an encoding expat reads itself that expat does not know ("UTF8", "utf_8",
        // "latin1", "ascii").
        WellFormedness retry(pText, uiSize);
        return retry.Run(check.m_pOwnEncoding, pVerdict);
    }

private:
    // The element wrapped around the top-level elements.
    static constexpr char WRAPPER_START[] = "<w>";
    static constexpr char WRAPPER_END[] = "</w>";
    static constexpr std::size_t WRAPPER_START_LENGTH = sizeof(WRAPPER_START) - 1;

    WellFormedness(char* pText, std::size_t uiSize) : m_pText(pText), m_uiSize(uiSize) {}

    // The encoding expat reads the text in, as the parser reads it: a byte-order mark makes it
    // UTF-8 whatever a declaration says; else a declaration decides (null: UTF-8 when it names
    // none); a text with neither is read a byte a character, which is UTF-8 where the text is
    // UTF-8 and ISO-8859-1 otherwise.
    static const char* ChooseEncoding(const char* pText, std::size_t uiSize)
    {
        if (IsMarked(pText, uiSize))
            return "UTF-8";
        if (uiSize > 5 && std::memcmp(pText, "<?xml", 5) == 0 && IsXmlSpace(pText[5]))
            return nullptr;
        return IsUtf8(pText, uiSize) ? "UTF-8" : "ISO-8859-1";
    }

    static bool IsMarked(const char* pText, std::size_t uiSize)
    {
        return uiSize >= FEFF_LENGTH && std::memcmp(pText, FEFF, FEFF_LENGTH) == 0;
    }

    XML_Parser NewParser(const char* pEncoding)
    {
        XML_Parser parser = XML_ParserCreate(pEncoding);
        if (parser != nullptr)
            XML_SetUnknownEncodingHandler(parser, OnUnknownEncoding, this);
        return parser;
    }

    // Hands expat the bytes in pieces its length type holds; false on an error or a stop.
    static bool Feed(XML_Parser parser, const char* p, std::size_t uiSize, bool bFinal)
    {
        constexpr std::size_t PIECE = std::size_t{1} << 30;
        for (; uiSize > PIECE; p += PIECE, uiSize -= PIECE)
            if (XML_Parse(parser, p, static_cast<int>(PIECE), XML_FALSE) != XML_STATUS_OK)
                return false;
        return XML_Parse(parser, p, static_cast<int>(uiSize), bFinal ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    }

    bool Run(const char* pEncoding, Verdict* pVerdict)
    {
        std::size_t uiFirst = 0;
        if (!FindFirstElement(pEncoding, &uiFirst))
            return false;
        m_pParser = NewParser(pEncoding);
        if (m_pParser == nullptr)
            return false;
        m_uiWrapperAt = uiFirst;
        m_bReadAsDeclared = pEncoding == nullptr;
        if (pEncoding != nullptr)
            m_oReading = KU_XmlEncodings::Find(pEncoding);
        XML_SetUserData(m_pParser, this);
        XML_SetXmlDeclHandler(m_pParser, OnDeclaration);
        XML_SetDoctypeDeclHandler(m_pParser, OnDoctypeStart, OnDoctypeEnd);
        XML_SetElementHandler(m_pParser, OnStart, OnEnd);
        XML_SetCharacterDataHandler(m_pParser, OnText);
        XML_SetCdataSectionHandler(m_pParser, OnCdataStart, OnCdataEnd);
        XML_SetEntityDeclHandler(m_pParser, OnEntityDeclaration);
        XML_SetAttlistDeclHandler(m_pParser, OnAttributeListDeclaration);
        XML_SetProcessingInstructionHandler(m_pParser, OnInstruction);
        XML_SetCommentHandler(m_pParser, OnComment);
        XML_SetSkippedEntityHandler(m_pParser, OnSkippedEntity);
        const bool bRead = Feed(m_pParser, m_pText, uiFirst, false) &&
                           Feed(m_pParser, WRAPPER_START, WRAPPER_START_LENGTH, false) &&
                           Feed(m_pParser, m_pText + uiFirst, m_uiSize - uiFirst, false) &&
                           Feed(m_pParser, WRAPPER_END, sizeof(WRAPPER_END) - 1, true);
        XML_ParserFree(m_pParser);
        m_pParser = nullptr;
        if (!bRead || m_bRefused)
            return false;
        pVerdict->uiElements = m_uiElements;
        pVerdict->uiStandIns = m_uiStandIns;
        pVerdict->uiFeffStandIns = m_uiFeffStandIns;
        pVerdict->vReferences = std::move(m_vReferences);
        pVerdict->oEncoding = m_oReading;
        return true;
    }

    // The offset of the first element's start tag; false when the text holds none or is not
    // well-formed before it.
    bool FindFirstElement(const char* pEncoding, std::size_t* pFirst)
    {
        struct Search
        {
            XML_Parser parser;
            std::size_t uiFirst;
            bool bFound;
        } search{NewParser(pEncoding), 0, false};
        if (search.parser == nullptr)
            return false;
        XML_SetUserData(search.parser, &search);
        XML_SetStartElementHandler(search.parser,
                                   [](void* pUser, const XML_Char*, const XML_Char**)
                                   {
                                       auto* pSearch = static_cast<Search*>(pUser);
                                       pSearch->uiFirst =
                                           static_cast<std::size_t>(XML_GetCurrentByteIndex(pSearch->parser));
                                       pSearch->bFound = true;
                                       XML_StopParser(pSearch->parser, XML_FALSE);
                                   });
        Feed(search.parser, m_pText, m_uiSize, true);
        XML_ParserFree(search.parser);
        *pFirst = search.uiFirst;
        return search.bFound;
    }

    void Refuse()
    {
        m_bRefused = true;
        XML_StopParser(m_pParser, XML_FALSE);
    }

    // Where the current event begins in the text (events inside the wrapper lie behind its start
    // tag).
    std::size_t EventStart() const
    {
        const auto uiIndex = static_cast<std::size_t>(XML_GetCurrentByteIndex(m_pParser));
        return std::min(uiIndex < m_uiWrapperAt ? uiIndex : uiIndex - WRAPPER_START_LENGTH, m_uiSize);
    }

    std::size_t EventEnd() const
    {
        return std::min(EventStart() + static_cast<std::size_t>(XML_GetCurrentByteCount(m_pParser)),
                        m_uiSize);
    }

    // Every '>' of the text from uiFrom up to uiTo, which expat has read, gets its stand-in.
    void StandInGreaterThan(std::size_t uiFrom, std::size_t uiTo)
    {
        for (std::size_t i = uiFrom; i < uiTo; ++i)
        {
            if (m_pText[i] == '>')
            {
                m_pText[i] = STAND_IN_GREATER_THAN;
                ++m_uiStandIns;
            }
        }
    }

    static WellFormedness* Self(void* pUser) { return static_cast<WellFormedness*>(pUser); }

    // Notes the encoding declared (UTF-8 where the declaration names none). Refused beyond what
    // expat refuses: a version other than "1." and digits, and after a byte-order mark, an encoding
    // other than UTF-8.
    static void OnDeclaration(void* pUser, const XML_Char* pVersion, const XML_Char* pEncoding, int)
    {
        WellFormedness* p = Self(pUser);
        p->m_uiPrologEnd = p->EventEnd();
        if (pEncoding != nullptr)
            p->m_oDeclared = KU_XmlEncodings::Find(pEncoding);
        if (p->m_bReadAsDeclared)
            p->m_oReading = p->m_oDeclared;
        const bool bVersion = pVersion != nullptr && std::strncmp(pVersion, "1.", 2) == 0 &&
                              pVersion[2] != 0 &&
                              std::strspn(pVersion + 2, "0123456789") == std::strlen(pVersion + 2);
        if (!bVersion ||
            (IsMarked(p->m_pText, p->m_uiSize) && p->m_oDeclared.eReading != KU_XmlEncodings::Reading::Utf8))
            p->Refuse();
    }

    // Called at the '[' of an internal subset, or else at the DOCTYPE's closing '>'.
    static void OnDoctypeStart(void* pUser, const XML_Char*, const XML_Char* pSystemId, const XML_Char*,
                               int iInternalSubset)
    {
        WellFormedness* p = Self(pUser);
        p->m_bExternalDtd = pSystemId != nullptr;
        p->m_uiDoctypeStart = p->m_uiPrologEnd;
        if (iInternalSubset != 0)
            XML_SetDefaultHandlerExpand(p->m_pParser, OnInternalSubset);
    }

    // Called at the DOCTYPE's closing '>'. Every '>' between the end of what comes before the
    // DOCTYPE and this one lies inside the DOCTYPE (its subset's comments and instructions
    // included), where the parser would end it.
    static void OnDoctypeEnd(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        XML_SetDefaultHandlerExpand(p->m_pParser, nullptr);
        p->StandInGreaterThan(p->m_uiDoctypeStart, p->EventStart());
    }

    // The parser reads an internal subset as text only. One that declares no entity and no
    // attribute list means nothing more to expat either (the element and notation declarations
    // change nothing it reads); an entity's or an attribute list's declaration, or a reference to a
    // parameter entity, which could declare them, is refused: expat would expand or add what the
    // parser leaves out.
    static void OnEntityDeclaration(void* pUser, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                    const XML_Char*, const XML_Char*, const XML_Char*)
    {
        Self(pUser)->Refuse();
    }

    static void OnAttributeListDeclaration(void* pUser, const XML_Char*, const XML_Char*, const XML_Char*,
                                           const XML_Char*, int)
    {
        Self(pUser)->Refuse();
    }

    // What the internal subset holds beyond declarations, comments and instructions: white space and
    // references to parameter entities.
    static void OnInternalSubset(void* pUser, const XML_Char* pData, int iLength)
    {
        if (iLength > 0 && pData[0] == '%')
            Self(pUser)->Refuse();
    }

    // Counts the elements and refuses beyond the limits: the parser reads the elements of a
    // well-formed text as expat does, so it nests as deep and reads as many attributes.
    static void OnStart(void* pUser, const XML_Char*, const XML_Char** apAttributes)
    {
        WellFormedness* p = Self(pUser);
        if (p->m_iDepth++ == 0)
            return; // the wrapper
        ++p->m_uiElements;
        int iAttributes = 0;
        while (apAttributes[2 * iAttributes] != nullptr)
            ++iAttributes;
        if (p->m_iDepth - 1 > KU_XmlUtilities::MAX_ELEMENT_DEPTH ||
            iAttributes > KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES ||
            (p->ReadTagReferences(p->EventStart(), p->EventEnd()) && p->m_bExternalDtd))
        {
            p->Refuse();
        }
    }

    // Notes the character references outside ASCII of a start tag's attribute values, where alone a
    // '&' stands in a tag (no later byte of a character is below KU_XmlEncodings::LOWEST_LATER_BYTE);
    // true where one refers to an entity other than the predefined ones, which expat, given an
    // external DTD, leaves out without a word.
    bool ReadTagReferences(std::size_t uiStart, std::size_t uiEnd)
    {
        bool bUndeclared = false;
        const char* const pEnd = m_pText + uiEnd;
        for (const char* p = m_pText + uiStart;
             (p = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(pEnd - p)))) !=
             nullptr;
             ++p)
        {
            if (p[1] == '#')
                NoteReference(static_cast<std::size_t>(p - m_pText), false);
            else if (std::strncmp(p + 1, "amp;", 4) != 0 && std::strncmp(p + 1, "lt;", 3) != 0 &&
                     std::strncmp(p + 1, "gt;", 3) != 0 && std::strncmp(p + 1, "apos;", 5) != 0 &&
                     std::strncmp(p + 1, "quot;", 5) != 0)
            {
                bUndeclared = true;
            }
        }
        return bUndeclared;
    }

    // Notes the character reference at uiAt, which expat has read, where its character is outside
    // ASCII; one to U+FEFF in text gets its stand-in where the text is read as UTF-8.
    void NoteReference(std::size_t uiAt, bool bInText)
    {
        const std::uint32_t uiCharacter = ReferencedCharacter(m_pText + uiAt, m_pText + m_uiSize);
        if (uiCharacter < 0x80)
            return;
        const bool bStandIn = bInText && uiCharacter == 0xFEFF && IsReadAsUtf8();
        // Nothing is thrown through expat.
        try
        {
            m_vReferences.push_back(Reference{uiAt, bStandIn});
            m_uiFeffStandIns += bStandIn ? 1 : 0;
        }
        catch (const std::bad_alloc&)
        {
            Refuse();
        }
    }

    static void OnEnd(void* pUser, const XML_Char*) { --Self(pUser)->m_iDepth; }

    bool IsReadAsUtf8() const { return m_oReading.eReading == KU_XmlEncodings::Reading::Utf8; }

    // Every U+FEFF of the text from uiFrom up to uiTo, which expat has read, gets its stand-in in a
    // text read as UTF-8.
    void StandInFeff(std::size_t uiFrom, std::size_t uiTo)
    {
        if (!IsReadAsUtf8())
            return;
        char* const pEnd = m_pText + uiTo;
        for (char* p = std::search(m_pText + uiFrom, pEnd, FEFF, FEFF + FEFF_LENGTH); p != pEnd;
             p = std::search(p + FEFF_LENGTH, pEnd, FEFF, FEFF + FEFF_LENGTH))
        {
            std::memcpy(p, STAND_IN_FEFF, FEFF_LENGTH);
            ++m_uiFeffStandIns;
        }
    }

    // Between the top-level elements only white space, as written (no character references).
    // Inside them expat reports a character reference as text of its own, where the text holds it.
    static void OnText(void* pUser, const XML_Char*, int)
    {
        WellFormedness* p = Self(pUser);
        const std::size_t uiStart = p->EventStart();
        if (p->m_iDepth != 1)
        {
            if (p->m_bInCdata)
                return;
            if (p->EventEnd() - uiStart > 2 && p->m_pText[uiStart] == '&' && p->m_pText[uiStart + 1] == '#')
                p->NoteReference(uiStart, true);
            else
                p->StandInFeff(uiStart, p->EventEnd());
            return;
        }
        for (std::size_t i = uiStart, uiEnd = p->EventEnd(); i < uiEnd; ++i)
        {
            if (!IsXmlSpace(p->m_pText[i]))
            {
                p->Refuse();
                return;
            }
        }
    }

    static void OnCdataStart(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        if (p->m_iDepth == 1)
            p->Refuse();
        p->m_uiCdataStart = p->EventStart();
        p->m_bInCdata = true;
    }

    // A CDATA section whose text holds the bytes of "]]>": in an encoding whose characters of several
    // bytes may end in a ']' (Shift_JIS, cp932, Big5), such a character followed by "]>" ends the
    // section where the parser, reading a byte at a time, reads it.
    static void OnCdataEnd(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        p->m_bInCdata = false;
        constexpr std::size_t START_LENGTH = sizeof("<![CDATA[") - 1;
        const std::size_t uiFrom = std::min(p->m_uiCdataStart + START_LENGTH, p->m_uiSize);
        const std::size_t uiTo = std::max(uiFrom, p->EventStart());
        const char* const pFrom = p->m_pText + uiFrom;
        const char* const pEnd = p->m_pText + uiTo;
        constexpr char END[] = "]]>";
        if (std::search(pFrom, pEnd, END, END + 3) != pEnd)
            p->Refuse();
    }

    // A reference in text to an entity that only the external DTD, which is not read, could declare.
    static void OnSkippedEntity(void* pUser, const XML_Char*, int) { Self(pUser)->Refuse(); }

    static void OnComment(void* pUser, const XML_Char*)
    {
        if (Self(pUser)->m_iDepth == 0)
            Self(pUser)->m_uiPrologEnd = Self(pUser)->EventEnd();
    }

    static void OnInstruction(void* pUser, const XML_Char* pTarget, const XML_Char*)
    {
        WellFormedness* p = Self(pUser);
        const std::size_t uiStart = p->EventStart();
        const std::size_t uiEnd = p->EventEnd();
        if (std::strlen(pTarget) >= 3 && (pTarget[0] | 0x20) == 'x' && (pTarget[1] | 0x20) == 'm' &&
            (pTarget[2] | 0x20) == 'l')
        {
            char& cX = p->m_pText[uiStart + 2];
            cX = cX == 'x' ? STAND_IN_SMALL_X : STAND_IN_CAPITAL_X;
            ++p->m_uiStandIns;
        }
        p->StandInGreaterThan(uiStart, uiEnd - 1);
        if (p->m_iDepth == 0)
            p->m_uiPrologEnd = uiEnd;
    }

    // A declared encoding expat does not know, read through a table in the encoding the name gives,
    // as libxml2 reads the name; a name of an encoding expat reads itself ("UTF8", "utf_8", "latin1")
    // is noted for a second reading in it (expat reads no character beyond U+FFFF through a table).
    static int OnUnknownEncoding(void* pUser, const XML_Char* pName, XML_Encoding* pInfo)
    {
        const KU_XmlEncodings::Encoding encoding = KU_XmlEncodings::Find(pName);
        switch (encoding.eReading)
        {
        case KU_XmlEncodings::Reading::Table:
            return KU_XmlEncodings::Describe(encoding.pTable, pInfo) ? XML_STATUS_OK : XML_STATUS_ERROR;
        case KU_XmlEncodings::Reading::Utf8:
            Self(pUser)->m_pOwnEncoding = "UTF-8";
            break;
        case KU_XmlEncodings::Reading::Ascii:
            Self(pUser)->m_pOwnEncoding = "US-ASCII";
            break;
        case KU_XmlEncodings::Reading::Latin1:
            Self(pUser)->m_pOwnEncoding = "ISO-8859-1";
            break;
        default:
            break;
        }
        return XML_STATUS_ERROR;
    }

    char* m_pText;
    std::size_t m_uiSize;
    XML_Parser m_pParser = nullptr;
    std::size_t m_uiWrapperAt = 0;    // where the wrapper's start tag goes
    std::size_t m_uiPrologEnd = 0;    // end of the last declaration, comment or instruction before it
    std::size_t m_uiDoctypeStart = 0; // where the DOCTYPE begins, with white space before it
    std::size_t m_uiCdataStart = 0;   // where the CDATA section being read begins
    int m_iDepth = 0;                 // 1 in the wrapper
    std::uint64_t m_uiElements = 0;   // not counting the wrapper
    std::uint64_t m_uiStandIns = 0;
    std::uint64_t m_uiFeffStandIns = 0;
    std::vector<Reference> m_vReferences; // as Verdict holds them
    KU_XmlEncodings::Encoding m_oDeclared{KU_XmlEncodings::Reading::Utf8,
                                          nullptr}; // as the declaration names it
    KU_XmlEncodings::Encoding m_oReading{KU_XmlEncodings::Reading::Utf8,
                                         nullptr}; // the encoding the text is read in
    bool m_bReadAsDeclared = false;                // whether the declaration decides m_oReading
    const char* m_pOwnEncoding =
        nullptr; // the name expat knows of the encoding declared, for a second reading
    bool m_bExternalDtd = false;
    bool m_bRefused = false;
    bool m_bInCdata = false;
};

// What the parser's tree holds of what the loader wrote in for it.
struct Restored
{
    std::uint64_t uiElements = 0;
    std::uint64_t uiStandIns = 0;     // put back in unknown nodes
    std::uint64_t uiFeffStandIns = 0; // put back in texts
};

// Counts the document's elements and the stand-ins of its unknown nodes (instructions and DOCTYPEs)
// and, where the verdict has any, of its texts, putting back the bytes they stand in for. Without
// recursion: depth costs no stack.
void CountElementsRestoring(TiXmlDocument* pDocument, const WellFormedness::Verdict& verdict,
                            Restored* pRestored)
{
    TiXmlNode* pNode = pDocument->FirstChild();
    while (pNode != nullptr)
    {
        if (pNode->ToElement() != nullptr)
        {
            ++pRestored->uiElements;
        }
        else if (verdict.uiFeffStandIns != 0 && pNode->ToText() != nullptr)
        {
            std::string sValue = pNode->ValueStr();
            const std::uint64_t uiBefore = pRestored->uiFeffStandIns;
            for (std::size_t uiAt = sValue.find(STAND_IN_FEFF); uiAt != std::string::npos;
                 uiAt = sValue.find(STAND_IN_FEFF, uiAt + FEFF_LENGTH))
            {
                sValue.replace(uiAt, FEFF_LENGTH, FEFF);
                ++pRestored->uiFeffStandIns;
            }
            if (pRestored->uiFeffStandIns != uiBefore)
                pNode->SetValue(sValue);
        }
        else if (verdict.uiStandIns != 0 && pNode->ToUnknown() != nullptr)
        {
            std::string sValue = pNode->ValueStr();
            for (char& c : sValue)
            {
                if (c == STAND_IN_GREATER_THAN || c == STAND_IN_SMALL_X || c == STAND_IN_CAPITAL_X)
                {
                    c = c == STAND_IN_GREATER_THAN ? '>' : c == STAND_IN_SMALL_X ? 'x' : 'X';
                    ++pRestored->uiStandIns;
                }
            }
            pNode->SetValue(sValue);
        }
        if (pNode->FirstChild() != nullptr)
        {
            pNode = pNode->FirstChild();
            continue;
        }
        while (pNode != nullptr && pNode->NextSibling() == nullptr)
            pNode = pNode->Parent() != pDocument ? pNode->Parent() : nullptr;
        if (pNode != nullptr)
            pNode = pNode->NextSibling();
    }
}

// Whether the parser read a text without NUL bytes to its end, given where its document parse
// stopped (pEnd) without an error: behind expat's judgement, a check of the parser's own reading. At the top
// level it stops, without an error, at the first text that is no markup: text between or after elements, or
// what follows the first '>' of a DOCTYPE's internal subset. Where it reaches the end it returns the end, or
// null when the text ends right after a node; null too when it breaks off inside a declaration's attribute,
// again without an error. A declaration belongs before the elements, so a text whose last node is one is
// taken as not read whole.
bool IsReadWhole(const TiXmlDocument& document, const char* pEnd)
{
    if (pEnd != nullptr && *pEnd != 0)
        return false;
    const TiXmlNode* pLast = document.LastChild();
    return pLast == nullptr || pLast->ToDeclaration() == nullptr;
}

// Writes in place of each character reference the verdict notes the character's bytes in the text's
// encoding, as if the character stood there (the parser writes the low byte of its number in a text
// it does not read as UTF-8), or the stand-in the verdict asks for, moving the text between them
// forward, and zeroes the bytes it frees at the end. False, for a text the parser cannot read as
// written, where the encoding has no bytes that it reads back as the character.
bool WriteReferencedCharacters(char* pText, std::size_t uiSize, const WellFormedness::Verdict& verdict)
{
    // The shortest references outside ASCII are longer than the bytes of any character.
    static_assert(sizeof("&#128;") - 1 >= KU_XmlEncodings::MAX_CHARACTER_BYTES,
                  "a reference holds its character");
    static_assert(sizeof("&#x80;") - 1 >= KU_XmlEncodings::MAX_CHARACTER_BYTES,
                  "a reference holds its character");
    KU_XmlEncodings::CharacterWriter writer(verdict.oEncoding);
    std::size_t uiTo = 0;
    std::size_t uiFrom = 0;
    for (const WellFormedness::Reference& reference : verdict.vReferences)
    {
        const std::size_t uiAt = reference.uiAt;
        std::memmove(pText + uiTo, pText + uiFrom, uiAt - uiFrom);
        uiTo += uiAt - uiFrom;
        const auto* pSemicolon = static_cast<const char*>(std::memchr(pText + uiAt, ';', uiSize - uiAt));
        unsigned char acBytes[KU_XmlEncodings::MAX_CHARACTER_BYTES] = {};
        std::size_t uiLength = 0;
        if (reference.bStandIn)
        {
            std::memcpy(acBytes, STAND_IN_FEFF, FEFF_LENGTH);
            uiLength = FEFF_LENGTH;
        }
        else
        {
            uiLength = writer.Write(ReferencedCharacter(pText + uiAt, pText + uiSize), acBytes);
        }
        if (pSemicolon == nullptr || uiLength == 0)
            return false;
        std::memcpy(pText + uiTo, acBytes, uiLength);
        uiTo += uiLength;
        uiFrom = static_cast<std::size_t>(pSemicolon - pText) + 1;
    }
    std::memmove(pText + uiTo, pText + uiFrom, uiSize - uiFrom);
    uiTo += uiSize - uiFrom;
    std::memset(pText + uiTo, 0, uiSize - uiTo);
    return true;
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
    // The parser takes a NUL byte for the end of the text: it would leave the rest unread (and
    // it does not read UTF-16).
    WellFormedness::Verdict verdict;
    if (pText == nullptr || std::memchr(pText, 0, static_cast<std::size_t>(uiSize)) != nullptr ||
        !WellFormedness::Judge(pText, static_cast<std::size_t>(uiSize), &verdict) ||
        (!verdict.vReferences.empty() &&
         !WriteReferencedCharacters(pText, static_cast<std::size_t>(uiSize), verdict)))
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
    // Where the parser reads the elements otherwise than expat (a name it does not take for an
    // element's), or finds a stand-in elsewhere than where it was written (instructions and DOCTYPEs,
    // texts), the document is not what the text says.
    Restored restored;
    const bool bRead = !pDocument->Error() && IsReadWhole(*pDocument, pEnd);
    if (bRead)
        CountElementsRestoring(pDocument, verdict, &restored);
    if (!bRead || restored.uiElements != verdict.uiElements || restored.uiStandIns != verdict.uiStandIns ||
        restored.uiFeffStandIns != verdict.uiFeffStandIns)
    {
        delete pDocument;
        return nullptr;
    }
    return pDocument;
}
