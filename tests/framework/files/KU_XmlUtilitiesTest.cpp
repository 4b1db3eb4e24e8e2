#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

std::string Nested(const std::string& sOpen, const std::string& sClose, int iDepth)
{
    std::string sText;
    for (int i = 0; i < iDepth; ++i)
        sText += sOpen;
    for (int i = 0; i < iDepth; ++i)
        sText += sClose;
    return sText;
}

// An element named sName holding iCount attributes a0="0" a1="1" ..., self-closed.
std::string WithAttributes(const std::string& sName, int iCount)
{
    std::string sText = "<" + sName;
    for (int i = 0; i < iCount; ++i)
        sText += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    return sText + "/>";
}

// The most attributes any element of the node's subtree holds.
int MostAttributes(const TiXmlNode* pNode)
{
    int iMost = 0;
    if (const TiXmlElement* pElement = pNode->ToElement())
        for (const TiXmlAttribute* p = pElement->FirstAttribute(); p != nullptr; p = p->Next())
            ++iMost;
    for (const TiXmlNode* pChild = pNode->FirstChild(); pChild != nullptr; pChild = pChild->NextSibling())
        iMost = std::max(iMost, MostAttributes(pChild));
    return iMost;
}

// A small random number source with a fixed seed.
class Random
{
public:
    explicit Random(std::uint32_t uiSeed) : m_uiState(uiSeed) {}
    std::uint32_t Next(std::uint32_t uiRange)
    {
        m_uiState = m_uiState * 1664525u + 1013904223u;
        return (m_uiState >> 8) % uiRange;
    }
    template <typename T, std::size_t N>
    const T& Pick(const T (&aItems)[N])
    {
        return aItems[Next(static_cast<std::uint32_t>(N))];
    }

private:
    std::uint32_t m_uiState;
};

enum class Verdict
{
    Accepted,
    Refused,
    // Refused by the loader on purpose (Exemption says why).
    Exempt
};

// Why a document libxml2 reads is refused on purpose.
enum class Exemption
{
    None,
    // Deeper or holding more attributes than the loader's limits.
    Limits,
    // A reference to an entity that only an external DTD could declare, or an internal subset that
    // declares an entity or refers to a parameter entity.
    Entities,
    // An internal subset that declares an attribute list.
    AttributeLists,
    // An encoding that keeps a state across characters, whose bytes can hide markup (ISO-2022-JP).
    StatefulEncoding,
    // UTF-16, with its byte-order mark.
    Utf16,
    // A CDATA section whose text, in the document's encoding, holds the bytes of "]]>": read a byte
    // at a time it ends early.
    CdataEndedEarly,
    Count
};

const char* const EXEMPTION_NAMES[] = {
    "none", "limits", "entities", "attribute lists", "stateful encoding", "UTF-16", "CDATA ended early"};

// sText converted by iconv between the named encodings; empty when iconv cannot.
std::string Convert(const std::string& sText, const char* pFrom, const char* pTo)
{
    const iconv_t convert = iconv_open(pTo, pFrom);
    if (convert == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::string sOut(sText.size() * 4 + 16, '\0');
    char* pIn = const_cast<char*>(sText.data());
    char* pOut = sOut.data();
    std::size_t uiIn = sText.size();
    std::size_t uiOut = sOut.size();
    const bool bConverted = iconv(convert, &pIn, &uiIn, &pOut, &uiOut) != static_cast<std::size_t>(-1) &&
                            iconv(convert, nullptr, nullptr, &pOut, &uiOut) != static_cast<std::size_t>(-1);
    iconv_close(convert);
    sOut.resize(bConverted ? sOut.size() - uiOut : 0);
    return sOut;
}

// What the loader's limits look at under pNode (whose children are at depth iDepth + 1): the
// deepest element, the most attributes an element holds, and whether a reference to an undeclared
// entity is left in the tree (as libxml2 leaves those an external DTD could declare); and whether a
// CDATA section holds the bytes of "]]>" in the document's encoding.
struct Measures
{
    int iDepth = 0;
    int iAttributes = 0;
    bool bReference = false;
    bool bCdataEndedEarly = false;
};

void Measure(const xmlNode* pNode, int iDepth, const char* pEncoding, Measures* pMeasures)
{
    for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
    {
        pMeasures->bReference = pMeasures->bReference || pChild->type == XML_ENTITY_REF_NODE;
        if (pChild->type == XML_CDATA_SECTION_NODE && pEncoding != nullptr && pChild->content != nullptr)
        {
            const std::string sBytes =
                Convert(reinterpret_cast<const char*>(pChild->content), "UTF-8", pEncoding);
            pMeasures->bCdataEndedEarly =
                pMeasures->bCdataEndedEarly || sBytes.find("]]>") != std::string::npos;
        }
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        pMeasures->iDepth = std::max(pMeasures->iDepth, iDepth + 1);
        int iAttributes = 0;
        for (const xmlAttr* pAttribute = pChild->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            ++iAttributes;
            Measure(reinterpret_cast<const xmlNode*>(pAttribute), iDepth, pEncoding, pMeasures);
        }
        pMeasures->iAttributes = std::max(pMeasures->iAttributes, iAttributes);
        Measure(pChild, iDepth + 1, pEncoding, pMeasures);
    }
}

// Where the reference wraps the top-level elements: after a byte-order mark and the white space,
// declaration, comments, instructions and DOCTYPE (with its internal subset) before the first
// element (or before whatever else comes first, which then lies in the wrapper).
std::size_t PrologEnd(const std::string& sText)
{
    std::size_t i = sText.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const auto after = [&sText](std::size_t uiFrom, const char* pEnd)
    {
        const std::size_t uiAt = sText.find(pEnd, uiFrom);
        return uiAt == std::string::npos ? uiAt : uiAt + std::strlen(pEnd);
    };
    for (;;)
    {
        i = sText.find_first_not_of(" \t\r\n", i);
        if (i == std::string::npos)
            return sText.size();
        if (sText.compare(i, 4, "<!--") == 0)
            i = after(i + 4, "-->");
        else if (sText.compare(i, 2, "<?") == 0)
            i = after(i + 2, "?>");
        else if (sText.compare(i, 9, "<!DOCTYPE") == 0)
        {
            char cQuote = 0;
            bool bSubset = false;
            for (i += 9; i < sText.size() && (cQuote != 0 || bSubset || sText[i] != '>'); ++i)
            {
                if (cQuote != 0)
                    cQuote = sText[i] == cQuote ? 0 : cQuote;
                else if (sText[i] == '"' || sText[i] == '\'')
                    cQuote = sText[i];
                else if (!bSubset)
                    bSubset = sText[i] == '[';
                else if (sText[i] == ']')
                    bSubset = false;
                else if (sText.compare(i, 4, "<!--") == 0 || sText.compare(i, 2, "<?") == 0)
                {
                    const bool bComment = sText[i + 1] == '!';
                    i = bComment ? after(i + 4, "-->") : after(i + 2, "?>");
                    if (i == std::string::npos)
                        break;
                    --i;
                }
            }
            i = i < sText.size() ? i + 1 : std::string::npos;
        }
        else
            return i;
        if (i == std::string::npos) // unterminated: libxml2 refuses it
            return sText.size();
    }
}

void IgnoreError(void*, const char*, ...)
{
}

// The names of the elements under pNode, in document order, each with its attributes' names and
// values, in UTF-8.
std::string Elements(const xmlNode* pNode)
{
    std::string sElements;
    for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
    {
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        sElements.append("<").append(reinterpret_cast<const char*>(pChild->name));
        for (const xmlAttr* pAttribute = pChild->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            xmlChar* pValue = xmlGetProp(pChild, pAttribute->name);
            sElements.append(" ")
                .append(reinterpret_cast<const char*>(pAttribute->name))
                .append("=[")
                .append(reinterpret_cast<const char*>(pValue))
                .append("]");
            xmlFree(pValue);
        }
        sElements.append(">").append(Elements(pChild));
    }
    return sElements;
}

// The same of TinyXML's tree, in the bytes the parser read.
std::string Elements(const TiXmlNode* pNode)
{
    std::string sElements;
    for (const TiXmlElement* pChild = pNode->FirstChildElement(); pChild != nullptr;
         pChild = pChild->NextSiblingElement())
    {
        sElements.append("<").append(pChild->ValueStr());
        for (const TiXmlAttribute* pAttribute = pChild->FirstAttribute(); pAttribute != nullptr;
             pAttribute = pAttribute->Next())
        {
            sElements.append(" ")
                .append(pAttribute->Name())
                .append("=[")
                .append(pAttribute->Value())
                .append("]");
        }
        sElements.append(">").append(Elements(pChild));
    }
    return sElements;
}

// libxml2's verdict on sText, with the loader's two relaxations: several top-level elements (a
// wrapper element after the prolog, holding at least one element and otherwise only white space,
// comments and instructions), and a text without a byte-order mark or declaration that is not
// UTF-8 read as ISO-8859-1. What the loader refuses on purpose is exempt, and *pExemption (when
// given) says why; pEncoding, when given, is iconv's name of the encoding the text is read in.
// *pElements (when given) receives the elements of a text accepted, as Elements writes them.
Verdict Reference(const std::string& sText, const char* pEncoding = nullptr, Exemption* pExemption = nullptr,
                  std::string* pElements = nullptr)
{
    // libxml2 reports a text it cannot convert even when told to report no error.
    static const bool s_bQuiet = (xmlSetGenericErrorFunc(nullptr, IgnoreError), true);
    (void)s_bQuiet;
    Exemption exemption = Exemption::None;
    if (pExemption == nullptr)
        pExemption = &exemption;
    *pExemption = Exemption::None;
    if (sText.compare(0, 2, "\xFF\xFE") == 0 || sText.compare(0, 2, "\xFE\xFF") == 0)
    {
        // UTF-16, which the wrapper (in ASCII) would break: libxml2 reads the text whole or not.
        xmlDocPtr pDocument = xmlReadMemory(sText.data(), static_cast<int>(sText.size()), "doc.xml", nullptr,
                                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        const bool bRead = pDocument != nullptr;
        xmlFreeDoc(pDocument);
        *pExemption = bRead ? Exemption::Utf16 : Exemption::None;
        return bRead ? Verdict::Exempt : Verdict::Refused;
    }
    const bool bMark = sText.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const bool bDeclared = sText.compare(0, 5, "<?xml") == 0 && sText.size() > 5 &&
                           std::strchr(" \t\r\n", sText[5]) != nullptr && sText[5] != 0;
    const char* pUndeclared = nullptr;
    if (!bMark && !bDeclared && xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) == 0)
        pUndeclared = "ISO-8859-1";
    // libxml2 2.9 reads a DOCTYPE without white space after its keyword.
    const std::size_t uiDoctype = sText.find("<!DOCTYPE");
    if (uiDoctype != std::string::npos && std::strchr(" \t\r\n", sText[uiDoctype + 9]) == nullptr)
        return Verdict::Refused;
    const std::size_t uiPrologEnd = PrologEnd(sText);
    const std::string sWrapped =
        sText.substr(0, uiPrologEnd) + "<kv-top>" + sText.substr(uiPrologEnd) + "</kv-top>";

    xmlParserCtxtPtr pContext = xmlNewParserCtxt();
    xmlDocPtr pDocument = xmlCtxtReadMemory(
        pContext, sWrapped.data(), static_cast<int>(sWrapped.size()), "doc.xml", pUndeclared,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_OLD10);
    Verdict verdict = Verdict::Refused;
    if (pDocument != nullptr && pContext->wellFormed != 0)
    {
        const xmlNode* pTop = xmlDocGetRootElement(pDocument);
        int iElements = 0;
        bool bClean = true;
        for (const xmlNode* pChild = pTop->children; pChild != nullptr; pChild = pChild->next)
            if (pChild->type == XML_ELEMENT_NODE)
                ++iElements;
            else if (pChild->type == XML_TEXT_NODE)
                bClean = bClean && xmlIsBlankNode(pChild) != 0;
            else if (pChild->type != XML_ENTITY_REF_NODE) // libxml2 puts here those of attributes too
                bClean = bClean && (pChild->type == XML_COMMENT_NODE || pChild->type == XML_PI_NODE);
        if (bClean && iElements > 0)
        {
            Measures measures;
            Measure(pTop, 0, pEncoding, &measures);
            if (pElements != nullptr)
                *pElements = Elements(pTop);
            bool bEntities = measures.bReference || pContext->hasPErefs != 0;
            bool bAttributeLists = false;
            if (pDocument->intSubset != nullptr)
            {
                for (const xmlNode* p = pDocument->intSubset->children; p != nullptr; p = p->next)
                {
                    bEntities = bEntities || p->type == XML_ENTITY_DECL;
                    bAttributeLists = bAttributeLists || p->type == XML_ATTRIBUTE_DECL;
                }
            }
            if (measures.iDepth > KU_XmlUtilities::MAX_ELEMENT_DEPTH ||
                measures.iAttributes > KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES)
                *pExemption = Exemption::Limits;
            else if (bEntities)
                *pExemption = Exemption::Entities;
            else if (bAttributeLists)
                *pExemption = Exemption::AttributeLists;
            else if (pEncoding != nullptr && std::strcmp(pEncoding, "ISO-2022-JP") == 0)
                *pExemption = Exemption::StatefulEncoding;
            else if (measures.bCdataEndedEarly)
                *pExemption = Exemption::CdataEndedEarly;
            verdict = *pExemption == Exemption::None ? Verdict::Accepted : Verdict::Exempt;
        }
    }
    xmlFreeDoc(pDocument);
    xmlFreeParserCtxt(pContext);
    return verdict;
}

// What a generated document is written in and holds, for the differential test's counts.
enum class Group
{
    Utf8,
    Latin1,    // ISO-8859-1 without a declaration, or declared by any of its names
    Windows,   // a Windows code page
    MultiByte, // Shift_JIS, cp932, EUC-JP, EUC-KR, GB2312, Big5
    Stateful,  // ISO-2022-JP
    Utf16,
    Count
};

const char* const GROUP_NAMES[] = {"UTF-8", "ISO-8859-1", "Windows", "multi-byte", "ISO-2022-JP", "UTF-16"};

// Encodings the generated documents declare: names written (libxml2 reads each), iconv's name,
// letters (which may stand in names) and other characters of text, each list separated by spaces.
struct DeclaredEncoding
{
    const char* pNames;
    const char* pIconvName;
    Group group;
    const char* pLetters;
    const char* pOthers;
};

const DeclaredEncoding DECLARED_ENCODINGS[] = {
    {"ISO-8859-1 latin1 latin-1 Latin-1 iso8859_1 iso_8859_1 ISO_8859-1 l1 iso-latin-1", "ISO-8859-1",
     Group::Latin1, "é ü ß Ø", "½ «"},
    {"windows-1250", "CP1250", Group::Windows, "ő ł Ž", "„"},
    {"windows-1251", "CP1251", Group::Windows, "ж Я", "№"},
    {"windows-1252 cp1252 windows_1252", "CP1252", Group::Windows, "é Œ", "€ “"},
    {"windows-1253", "CP1253", Group::Windows, "λ Ω", "΅"},
    {"windows-1254", "CP1254", Group::Windows, "ğ ş", "‰"},
    {"windows-1255 cp1255", "CP1255", Group::Windows, "ש ל ם", "₪ שׁ בְּ"},
    {"windows-1256", "CP1256", Group::Windows, "ع پ", "،"},
    {"windows-1257", "CP1257", Group::Windows, "ą ž", "’"},
    {"windows-1258 cp1258", "CP1258", Group::Windows, "ă đ ơ", "ế ệ ₫"},
    // In Shift_JIS and cp932 ソ, 表 and 本 end in '\', '\' and '{', which the parser does not read
    // in a name, ゾ and ‐ in ']'; in Big5 功 ends in '\', 也 and （ in ']'.
    {"Shift_JIS shift_jis", "SHIFT_JIS", Group::MultiByte, "あ い 日 語", "表 ソ 本 ゾ ‐"},
    {"cp932", "CP932", Group::MultiByte, "あ い 日 語", "表 ゾ ① ‐"},
    {"EUC-JP euc-jp", "EUC-JP", Group::MultiByte, "あ 日 本 表 ソ", "「 」"},
    {"EUC-KR", "EUC-KR", Group::MultiByte, "한 국 어", "、"},
    {"GB2312", "GB2312", Group::MultiByte, "中 文 字", "。"},
    {"Big5 big5", "BIG5", Group::MultiByte, "中 文 字", "功 也 （"},
    {"ISO-2022-JP", "ISO-2022-JP", Group::Stateful, "あ 日 語", "表 ゾ"},
    {"UTF-16", "UTF-16", Group::Utf16, "é 日", "€"}};

// The words of a list separated by spaces.
std::vector<std::string> Words(const char* pList)
{
    std::vector<std::string> words;
    std::string sWord;
    for (const char* p = pList;; ++p)
    {
        if (*p == ' ' || *p == 0)
        {
            if (!sWord.empty())
                words.push_back(sWord);
            sWord.clear();
            if (*p == 0)
                return words;
        }
        else
            sWord += *p;
    }
}

// Well-formed documents of the kinds the engine's files hold (several top-level elements or one),
// with DOCTYPEs and internal subsets, in UTF-8, ISO-8859-1 without a declaration and the encodings
// of DECLARED_ENCODINGS, then cut or given markup fragments at random places.
class DocumentMaker
{
public:
    explicit DocumentMaker(std::uint32_t uiSeed) : m_random(uiSeed) {}

    std::string Make()
    {
        static const char* const s_apDeclarations[] = {
            "",
            "",
            "<?xml version=\"1.0\"?>",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>",
            "\xEF\xBB\xBF"};
        static const char* const s_apDoctypes[] = {
            "", "", "<!DOCTYPE r>\n", "<!DOCTYPE r SYSTEM \"r.dtd\">",
            "<!DOCTYPE r PUBLIC \"-//KV//r\" \"a>b.dtd\" >\n",
            // Internal subsets that declare nothing the parser leaves out.
            "<!DOCTYPE r [ ]>", "<!DOCTYPE r [\n]>\n", "<!DOCTYPE r SYSTEM \"r.dtd\" [ ]>",
            "<!DOCTYPE r [ <!-- a > b [c] --> ]>\n",
            "<!DOCTYPE r [\n  <?tool a>b?>\n  <!ELEMENT r ANY>\n  <!NOTATION n SYSTEM \"n>m\">\n]>",
            "<!DOCTYPE r SYSTEM \"r.dtd\" [ <!ELEMENT r (#PCDATA|a)*> ] >",
            // And those that do.
            "<!DOCTYPE r [ <!ENTITY e \"x\"> ]>", "<!DOCTYPE r [ <!ATTLIST r a CDATA \"d\"> ]>\n",
            "<!DOCTYPE r SYSTEM \"r.dtd\" [ %pe; ]>"};
        // Half the texts declare one of DECLARED_ENCODINGS.
        const DeclaredEncoding* pEncoding = nullptr;
        std::string sText;
        if (m_random.Next(2) == 0)
        {
            pEncoding = &m_random.Pick(DECLARED_ENCODINGS);
            const std::vector<std::string> names = Words(pEncoding->pNames);
            const std::string& sName = names[m_random.Next(static_cast<std::uint32_t>(names.size()))];
            sText = m_random.Next(2) == 0 ? "<?xml version='1.0' encoding='" + sName + "'?>\n"
                                          : "<?xml version=\"1.0\" encoding=\"" + sName + "\"?>";
            m_group = pEncoding->group;
            m_pIconvName = pEncoding->pIconvName;
            m_letters = Words(pEncoding->pLetters);
            m_others = Words(pEncoding->pOthers);
        }
        else
        {
            // Without a declaration, half the texts are ISO-8859-1 (not UTF-8).
            const std::uint32_t uiKind = m_random.Next(6);
            m_group = uiKind == 1 ? Group::Latin1 : Group::Utf8;
            m_pIconvName = nullptr;
            sText = s_apDeclarations[uiKind];
            m_letters = m_group == Group::Latin1 ? Words("é ü") : Words("é €");
            m_others = Words("½");
        }
        sText += Misc();
        const std::uint32_t uiDoctype = m_random.Next(static_cast<std::uint32_t>(std::size(s_apDoctypes)));
        m_bSubset = std::strchr(s_apDoctypes[uiDoctype], '[') != nullptr;
        sText += s_apDoctypes[uiDoctype];
        sText += Misc();
        for (int i = 1 + static_cast<int>(m_random.Next(3)); i > 0; --i)
        {
            sText += Element(1);
            sText += Misc();
        }
        if (pEncoding != nullptr)
            return Convert(sText, "UTF-8", pEncoding->pIconvName);
        return m_group == Group::Latin1 ? Convert(sText, "UTF-8", "ISO-8859-1") : sText;
    }

    // What the last document made is written in, and whether it has an internal subset.
    Group GetGroup() const { return m_group; }
    bool HasSubset() const { return m_bSubset; }
    // iconv's name of the encoding the last document made declares; null for none.
    const char* GetDeclaredEncoding() const { return m_pIconvName; }

    // sText unchanged, cut short, given one or two fragments of markup, one byte replaced or a few
    // bytes taken out, at random places.
    std::string Mutate(std::string sText)
    {
        static const char* const s_apFragments[] = {"<!--",
                                                    "-->",
                                                    "<![CDATA[",
                                                    "]]>",
                                                    "<?tool",
                                                    "?>",
                                                    "<?tool a>b?>",
                                                    "<!DOCTYPE r>",
                                                    "</r>",
                                                    "<r>",
                                                    "</a>",
                                                    "<a>",
                                                    "<b/>",
                                                    "<!x ",
                                                    "<?xml version=\"1.0\"?>",
                                                    "&",
                                                    "&amp;",
                                                    "&#65;",
                                                    "<",
                                                    ">",
                                                    "\"",
                                                    "'",
                                                    "=",
                                                    " x=\"1\"",
                                                    "text",
                                                    "\xE9",
                                                    "\xC3\xA9",
                                                    "--",
                                                    "\n",
                                                    "<!-- c -->",
                                                    "</",
                                                    "/>",
                                                    "]]",
                                                    "<![CDATA[ ]]>",
                                                    "<?xml-x?>",
                                                    "[ ]",
                                                    "]>",
                                                    "<!ELEMENT r ANY>",
                                                    "<!ENTITY e \"x\">",
                                                    "&e;",
                                                    "%pe;"};
        const auto at = [&]()
        { return static_cast<std::size_t>(m_random.Next(static_cast<std::uint32_t>(sText.size() + 1))); };
        // The place first, then the fragment (as every compiler calls them).
        const auto insert = [&]()
        {
            const std::size_t uiAt = at();
            sText.insert(uiAt, m_random.Pick(s_apFragments));
        };
        switch (m_random.Next(8))
        {
        case 2:
            sText.resize(at());
            break;
        case 3:
        case 4:
            insert();
            break;
        case 5:
            insert();
            insert();
            break;
        case 6:
            if (!sText.empty())
            {
                static const char s_acBytes[] = "<>&;\"'/=!?-[] x\xE9\x01";
                sText[at() % sText.size()] = s_acBytes[m_random.Next(sizeof(s_acBytes) - 1)];
            }
            break;
        case 7:
        {
            const std::size_t uiAt = at();
            sText.erase(uiAt, 1 + m_random.Next(8));
            break;
        }
        default:
            break;
        }
        return sText;
    }

private:
    // A letter, which may stand in a name.
    std::string Letter() { return m_letters[m_random.Next(static_cast<std::uint32_t>(m_letters.size()))]; }

    // A character of text: a letter or another.
    std::string NonAscii()
    {
        if (m_random.Next(2) == 0)
            return Letter();
        return m_others[m_random.Next(static_cast<std::uint32_t>(m_others.size()))];
    }

    std::string Misc()
    {
        static const char* const s_apMisc[] = {"",
                                               "\n",
                                               " \r\n\t",
                                               "<!-- note -->",
                                               "<!-- a > b -->\n",
                                               "<?tool run?>",
                                               "<?tool a>b?>",
                                               "<?tool?>",
                                               "<?xml-stylesheet href=\"a>b.css\"?>"};
        std::string sMisc = m_random.Pick(s_apMisc);
        return m_random.Next(3) == 0 ? sMisc + m_random.Pick(s_apMisc) : sMisc;
    }

    std::string Element(int iDepth)
    {
        static const char* const s_apNames[] = {"r", "scene", "m-1", "x.y", "_z", "a", "caf"};
        static const char* const s_apAttributes[] = {"a", "b", "name", "x.y", "_c"};
        static const char* const s_apValues[] = {"\"1\"",   "'two'", "\"a &amp; b\"", "\"&#65;&lt;\"",
                                                 "\"x>y\"", "'\"'",  "\"\""};
        std::string sName = m_random.Pick(s_apNames);
        if (sName == "caf")
            sName += Letter();
        std::string sText = "<" + sName;
        const std::uint32_t uiFirst = m_random.Next(5);
        for (std::uint32_t i = 0, n = m_random.Next(4); i < n; ++i)
        {
            sText += m_random.Next(4) == 0 ? "\n  " : " ";
            sText += s_apAttributes[(uiFirst + i) % 5];
            sText += m_random.Next(4) == 0 ? " = " : "=";
            if (m_random.Next(5) == 0)
                sText.append("\"").append(NonAscii()).append("\"");
            else
                sText += m_random.Pick(s_apValues);
        }
        const int iItems = static_cast<int>(m_random.Next(5));
        if (iItems == 0 && m_random.Next(2) == 0)
            return sText + (m_random.Next(2) == 0 ? "/>" : " />");
        sText += ">";
        static const char* const s_apContent[] = {
            "7",          "a &amp; b",    "&#65;&#x42;", "<![CDATA[ x<y ]]>",
            "<!-- c -->", "<?tool a>b?>", "\n  ",        "&gt;]"};
        for (int i = 0; i < iItems; ++i)
        {
            const std::uint32_t uiItem = m_random.Next(11);
            if (uiItem < 8)
                sText += s_apContent[uiItem];
            else if (uiItem == 8)
                sText += NonAscii();
            else if (uiItem == 9)
            // Ended early, read a byte at a time, where the character ends in a ']'.
            {
                static const char* const s_apEnds[] = {"]]>", "]>]]>", "]><b/>]]>"};
                sText += "<![CDATA[" + NonAscii();
                sText += m_random.Pick(s_apEnds);
            }
            else if (iDepth < 4)
                sText += Element(iDepth + 1);
        }
        return sText + "</" + sName + (m_random.Next(4) == 0 ? " >" : ">");
    }

    Random m_random;
    Group m_group = Group::Utf8;
    bool m_bSubset = false;
    const char* m_pIconvName = nullptr;
    std::vector<std::string> m_letters;
    std::vector<std::string> m_others;
};

class KU_XmlUtilitiesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pRepository = new MemoryRepository();
        m_manager.AddRepository(m_pRepository);
    }

    // Loads sText as "doc.xml"; checks that no reference is left behind.
    std::unique_ptr<TiXmlDocument> Load(const std::string& sText)
    {
        m_pRepository->SetFile("doc.xml", sText);
        std::unique_ptr<TiXmlDocument> document(KU_XmlUtilities::LoadXmlDocument(&m_manager, "doc.xml"));
        EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
        return document;
    }

    KF_FileManager m_manager;
    MemoryRepository* m_pRepository = nullptr; // owned by m_manager
};

} // namespace

TEST_F(KU_XmlUtilitiesTest, LoadsAWellFormedDocument)
{
    const auto document = Load("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<!-- library -->\n"
                               "<materials count=\"2\"><material name=\"st\xC3\xB6ne\"/>"
                               "<material name='wood'><![CDATA[</material>]]></material></materials>");
    ASSERT_NE(document, nullptr);
    const TiXmlElement* pRoot = document->RootElement();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_STREQ(pRoot->Value(), "materials");
    int iCount = 0;
    EXPECT_EQ(pRoot->QueryIntAttribute("count", &iCount), TIXML_SUCCESS);
    EXPECT_EQ(iCount, 2);
    const TiXmlElement* pSecond = pRoot->FirstChildElement("material")->NextSiblingElement("material");
    ASSERT_NE(pSecond, nullptr);
    EXPECT_STREQ(pSecond->Attribute("name"), "wood");
    EXPECT_STREQ(pSecond->GetText(), "</material>");
}

TEST_F(KU_XmlUtilitiesTest, MalformedOrMissingGivesNull)
{
    for (const char* pText : {"", "   ", "plain text", "<a>", "<a></b>", "<a x=\"1></a>", "<a x=1 x=2/>",
                              "<a><!-- open comment", "<a><![CDATA[ open", "<a x='"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
    EXPECT_EQ(KU_XmlUtilities::LoadXmlDocument(&m_manager, "missing.xml"), nullptr);
    EXPECT_EQ(KU_XmlUtilities::LoadXmlDocument(nullptr, "doc.xml"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, TextTheParserStopsReadingEarlyIsRefused)
{
    using namespace std::string_literals;
    const std::string sScene = "<scene><duration>3</duration></scene>";
    for (const std::string& sText :
         {sScene + "x" + sScene,
          // A DOCTYPE's internal subset that declares an entity or an attribute list, which the
          // parser does not read.
          "<?xml version=\"1.0\"?><!DOCTYPE COLLADA [ <!ENTITY x \"y\"> ]><COLLADA/>"s,
          "<!DOCTYPE material_library [ <!ATTLIST material_library a CDATA \"b\"> ]>\n<material_library/>"s,
          sScene + "\n trailing text\n",
          // The parser ends the text at the first NUL byte.
          sScene + "\0"s + sScene, sScene + "\0"s, sScene + " \0 "s,
          // A declaration's attribute the parser cannot read ends its reading without an error.
          "<?xml version \"1.0\"?>" + sScene, "<?xml version='1.0' encoding=x\"?>" + sScene})
    {
        EXPECT_EQ(Load(sText), nullptr) << sText;
    }
}

TEST_F(KU_XmlUtilitiesTest, SeveralTopLevelElementsAndTrailingCommentsLoad)
{
    const std::string sScene = "<scene><duration>3</duration></scene>";
    for (const std::string& sText :
         {sScene, sScene + sScene + sScene, sScene + "\r\n", sScene + "<!-- end -->",
          sScene + " <!-- end --> \n", "<?xml version=\"1.0\"?>\n<!DOCTYPE scene>\n" + sScene,
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + sScene + "<?tool run?>"})
    {
        const auto document = Load(sText);
        ASSERT_NE(document, nullptr) << sText;
        int iScenes = 0;
        for (const TiXmlElement* p = document->FirstChildElement("scene"); p != nullptr;
             p = p->NextSiblingElement("scene"))
        {
            ++iScenes;
        }
        EXPECT_EQ(iScenes, sText == sScene + sScene + sScene ? 3 : 1) << sText;
    }
}

TEST_F(KU_XmlUtilitiesTest, MalformedMarkupTheParserReadsAsNodesIsRefused)
{
    // A mistake between the scenes of a configuration, which the parser would read to the end of
    // the text as nodes of its own, leaving scenes 2 and 3 out without a word.
    const std::string sScene1 = "<scene1><duration>7</duration></scene1>\n";
    const std::string sRest =
        "<scene2><duration>8</duration></scene2>\n<scene3><duration>9</duration></scene3>\n";
    for (const char* pMistake :
         {"<!-- scene 2 is off for now\n", "<![CDATA[ notes\n", "<?tool run\n", "<!DOCTYPE scenes\n",
          "</scene1>\n", "<!x \n", "<![CDATA[ notes ]]>\n", "<?xml version=\"1.0\"?>\n",
          // What lies between top-level elements is white space, comments and instructions only.
          "&#32;", "&amp;", "\xEF\xBB\xBF", "<!-- a -- b -->", "<!DOCTYPE scenes>"})
    {
        EXPECT_EQ(Load(sScene1 + pMistake + sRest), nullptr) << pMistake;
    }
    // The same mistakes after the only element of a material library or a model.
    const std::string sLibrary =
        "<?xml version=\"1.0\"?>\n<materials><material name=\"stone\"/></materials>\n";
    for (const char* pMistake : {"<!-- off", "<![CDATA[", "<?tool", "<!DOCTYPE materials", "</materials>",
                                 "<!x ", "<![CDATA[ ]]>", "<?xml version=\"1.0\"?>"})
    {
        EXPECT_EQ(Load(sLibrary + pMistake), nullptr) << pMistake;
    }
    // A name the parser does not read as an element's, and declarations expat reads.
    for (const char* pText :
         {"<r><:a/></r>", "\n<?xml version=\"1.0\"?><r/>", "<?xml version=\"1-0\"?><r/>",
          "<?XML version=\"1.0\"?><r/>", "<?xml version=\"1.0\" standalone=\"maybe\"?><r/>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
    // A reference to an entity that only the DTD, which is not read, can declare (the parser
    // would drop its '&').
    const std::string sDoctype = "<!DOCTYPE scene1 SYSTEM \"scenes.dtd\">\n";
    EXPECT_NE(Load(sDoctype + "<scene1 a=\"&amp;&lt;&gt;&apos;&quot;&#65;\">&amp;</scene1>"), nullptr);
    for (const char* pReference : {"<scene1>&name;</scene1>", "<scene1 a=\"&x;\"/>",
                                   "<scene1 a=\"&amp;\" b=\"&ampx;\"/>", "<scene1/>&x;"})
    {
        EXPECT_EQ(Load(sDoctype + pReference), nullptr) << pReference;
    }
}

TEST_F(KU_XmlUtilitiesTest, InstructionsAndDoctypesHoldingAGreaterThanSignLoad)
{
    const std::string sLibrary = "<?xml version=\"1.0\"?>\n<materials><material name=\"stone\"/>"
                                 "<material name=\"wood\"/></materials>\n";
    for (const std::string& sText :
         {sLibrary + "<?tool a>b?>", sLibrary + "<?tool a>b?>\n<?tool >><<?>",
          "<!DOCTYPE materials SYSTEM \"a>b.dtd\">" + sLibrary.substr(sLibrary.find('<', 1)),
          "<?xml-stylesheet href=\"a>b.css\"?>" + sLibrary.substr(sLibrary.find('<', 1))})
    {
        const auto document = Load(sText);
        ASSERT_NE(document, nullptr) << sText;
        const TiXmlElement* pRoot = document->RootElement();
        ASSERT_NE(pRoot, nullptr) << sText;
        EXPECT_STREQ(pRoot->FirstChildElement("material")->NextSiblingElement("material")->Attribute("name"),
                     "wood")
            << sText;
    }
    // Before the root element each is one unknown node, as written.
    for (const std::string sMarkup :
         {"<!DOCTYPE materials SYSTEM \"a>b.dtd\">", "<?xml-stylesheet href=\"a>b.css\"?>", "<?XML-x a>b?>"})
    {
        const auto document = Load(sMarkup + "\n<materials/>");
        ASSERT_NE(document, nullptr) << sMarkup;
        ASSERT_NE(document->FirstChild()->ToUnknown(), nullptr) << sMarkup;
        EXPECT_EQ("<" + document->FirstChild()->ValueStr() + ">", sMarkup);
    }
    // Inside an element, the instruction is one node, as written, and the text around it stays apart.
    const auto document = Load("<scene><duration>7<?tool a>b<c>?>8</duration><far>400</far></scene>");
    ASSERT_NE(document, nullptr);
    const TiXmlNode* pInstruction =
        document->RootElement()->FirstChildElement("duration")->FirstChild()->NextSibling();
    ASSERT_NE(pInstruction, nullptr);
    ASSERT_NE(pInstruction->ToUnknown(), nullptr);
    EXPECT_STREQ(pInstruction->Value(), "?tool a>b<c>?");
    ASSERT_NE(pInstruction->NextSibling(), nullptr);
    EXPECT_STREQ(pInstruction->NextSibling()->Value(), "8");
    EXPECT_STREQ(document->RootElement()->FirstChildElement("far")->GetText(), "400");
}

TEST_F(KU_XmlUtilitiesTest, TextIsJudgedInTheEncodingTheParserReadsItIn)
{
    // Loaded: without a byte-order mark or declaration, text that is not valid UTF-8 is read as
    // ISO-8859-1, a byte a character; a declared single-byte encoding is read as declared.
    for (const char* pText : {"<r>Caf\xE9</r>", "<r>Caf\xC3\xA9</r>", "<r a='\xC3'>\xA9\xED\xA0\x80</r>",
                              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80 Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"latin1\"?><r>Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"UTF8\"?><r>Caf\xC3\xA9 \xF0\x9F\x99\x82</r>",
                              "<?xml version=\"1.0\" encoding=\"utf_8\"?><r>Caf\xC3\xA9 \xF0\x9F\x99\x82</r>",
                              "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x82\xA0</r>",
                              // An instruction the parser would read as a declaration, and so
                              // read on as UTF-8.
                              "<?xml-stylesheet href=\"s.css\"?><r>Caf\xE9</r>"})
    {
        const auto document = Load(pText);
        ASSERT_NE(document, nullptr) << pText;
        EXPECT_NE(document->RootElement()->GetText(), nullptr) << pText;
    }
    // Refused: a declaration without an encoding, or a byte-order mark, says UTF-8, and so does the
    // parser; bytes that are no character in the encoding declared.
    for (const char* pText :
         {"<?xml version=\"1.0\"?><r>Caf\xE9</r>", "\xEF\xBB\xBF<r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>Caf\xE9</r>",
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x82\xA0\x82</r>",
          "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><r/>", "<r>\xC3\xA9\x01</r>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
}

TEST_F(KU_XmlUtilitiesTest, InternalSubsetsThatDeclareNoEntityOrAttributeListLoad)
{
    // The parser reads the DOCTYPE as one node, as written, whatever its subset holds.
    const std::string sScenes =
        "<scene1><duration>7</duration></scene1>\n<scene2><duration>8</duration></scene2>\n"
        "<scene3><duration>9</duration></scene3>\n";
    for (const std::string sDoctype :
         {"<!DOCTYPE scenes [ ]>", "<!DOCTYPE scenes [\n]>", "<!DOCTYPE scenes SYSTEM \"scenes.dtd\" [ ]>",
          "<!DOCTYPE scenes [ <!-- scenes > 3 are off [for now] --> ]>",
          "<!DOCTYPE scenes [ <?tool a>b?> ] >",
          "<!DOCTYPE scenes [\n  <!ELEMENT scenes ANY>\n  <!ELEMENT scene1 (duration)>\n"
          "  <!NOTATION png SYSTEM \"image/png\">\n  <?xml-stylesheet href=\"a>b.css\"?>\n]>",
          "<!DOCTYPE scenes PUBLIC \"-//KV//scenes\" \"a>b.dtd\" [ <!-- ]> --> <!ELEMENT duration (#PCDATA)> "
          "]>"})
    {
        for (const std::string sDeclaration : {"", "<?xml version=\"1.0\"?>\n"})
        {
            const auto document = Load(sDeclaration + sDoctype + "\n" + sScenes);
            ASSERT_NE(document, nullptr) << sDoctype;
            const TiXmlNode* pDoctype =
                sDeclaration.empty() ? document->FirstChild() : document->FirstChild()->NextSibling();
            ASSERT_NE(pDoctype->ToUnknown(), nullptr) << sDoctype;
            EXPECT_EQ("<" + pDoctype->ValueStr() + ">", sDoctype);
            int iScenes = 0;
            for (const TiXmlElement* p = document->FirstChildElement(); p != nullptr;
                 p = p->NextSiblingElement())
                EXPECT_STREQ(p->FirstChildElement("duration")->GetText(),
                             std::to_string(7 + iScenes++).c_str());
            EXPECT_EQ(iScenes, 3) << sDoctype;
        }
    }
    // Refused: a subset that declares an entity or an attribute list (expat would expand the one and
    // add the other's defaults, which the parser leaves out), used or not, or refers to a parameter
    // entity, which could declare either.
    for (const std::string sDoctype :
         {"<!DOCTYPE scenes [ <!ENTITY d \"7\"> ]>", "<!DOCTYPE scenes [ <!ENTITY % d \"7\"> ]>",
          "<!DOCTYPE scenes [ <!ENTITY logo SYSTEM \"logo.png\" NDATA png> <!NOTATION png SYSTEM \"p\"> ]>",
          "<!DOCTYPE scenes [ <!ATTLIST scene1 fade CDATA \"1\"> ]>",
          "<!DOCTYPE scenes [ <!ATTLIST scene1 fade CDATA #IMPLIED> ]>", "<!DOCTYPE scenes [ %extra; ]>",
          "<!DOCTYPE scenes SYSTEM \"scenes.dtd\" [ %extra; <!ELEMENT scenes ANY> ]>"})
    {
        EXPECT_EQ(Load(sDoctype + "\n" + sScenes), nullptr) << sDoctype;
    }
    EXPECT_EQ(Load("<!DOCTYPE scene1 [ <!ENTITY d \"7\"> ]><scene1><duration>&d;</duration></scene1>"),
              nullptr);
    // Not well-formed.
    for (const char* pText :
         {"<!DOCTYPE scenes [ <!ELEMENT scenes> ]><scenes/>", "<!DOCTYPE scenes [ x ]><scenes/>",
          "<!DOCTYPE scenes [ <!-- a -- b --> ]><scenes/>", "<!DOCTYPE scenes [ ]<scenes/>",
          "<!DOCTYPE scenes [ <scenes/>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
}

TEST_F(KU_XmlUtilitiesTest, EncodingNamesAreReadAsLibxml2ReadsThem)
{
    // As Python's ElementTree writes a declaration: the name it was given.
    const std::string sText = "<scene name=\"Caf\xE9\"><duration>\xE9t\xE9 7</duration></scene>";
    TiXmlPrinter reference;
    const auto latin1 = Load("<?xml version='1.0' encoding='latin1'?>\n" + sText);
    ASSERT_NE(latin1, nullptr);
    latin1->RootElement()->Accept(&reference);
    for (const char* pName :
         {"latin-1", "Latin-1", "iso8859_1", "iso_8859_1", "ISO_8859-1", "l1", "L_1", "iso-latin-1",
          "ISO-LATIN-1", "IBM819", "cp-819", "csISOLatin1", "iso-ir-100", "iso-8859-01"})
    {
        const auto document = Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n" + sText);
        ASSERT_NE(document, nullptr) << pName;
        TiXmlPrinter printer;
        document->RootElement()->Accept(&printer);
        EXPECT_EQ(printer.Str(), reference.Str()) << pName;
    }
    // Each name loads where libxml2 reads it (iconv's names as they are, ICU's ignoring case and
    // all but letters and digits), in the encoding libxml2 reads.
    int aiOutcomes[2] = {};
    for (const char* pName :
         {"latin_9", "Latin-5", "l6", "latin-8", "iso8859_15", "ISO_8859_2", "iso8859-10", "ISO8859_13",
          "windows_1252", "WINDOWS1255", "Windows-1258", "cp-1250", "windows_874", "shiftjis", "Shift-JIS",
          "s_jis", "ms_932", "Windows-31J", "euc_jp", "EUC_KR", "gb_2312", "big-5", "us_ascii", "a_scii",
          "iso-latin-2", "UTF_8", "utf8",
          // Not read by libxml2.
          "latin-7", "latin_10", "iso8859_16", "iso-latin-3", "latin1x", "no-such-encoding", "utf-9",
          "x-no-such"})
    {
        xmlCharEncodingHandlerPtr pHandler = xmlFindCharEncodingHandler(pName);
        const bool bRead = pHandler != nullptr;
        if (pHandler != nullptr)
            xmlCharEncCloseFunc(pHandler);
        ++aiOutcomes[bRead];
        EXPECT_EQ(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<r a='1'>x</r>") !=
                      nullptr,
                  bRead)
            << pName;
    }
    EXPECT_GT(aiOutcomes[1], 20);
    EXPECT_GT(aiOutcomes[0], 5);
    // Read in the encoding named: ISO-8859-15's euro sign where ISO-8859-1 has a currency sign, UTF-8's
    // characters of several bytes, US-ASCII without any above 0x7F.
    for (const char* pName : {"latin_9", "iso8859_15"})
    {
        EXPECT_NE(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?><r>\xA4</r>"), nullptr)
            << pName;
    }
    EXPECT_NE(Load("<?xml version='1.0' encoding='utf_8'?><r>\xE2\x82\xAC</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='utf_8'?><r>\xA4</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='us_ascii'?><r>\xA4</r>"), nullptr);
}

TEST(KU_XmlUtilitiesAssets, TheMaterialLibraryReSavedInLatin1LoadsItsMaterials)
{
    // assets/Materials/KV27_Materials.xml as ElementTree writes it with encoding='latin-1'.
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Materials/KV27_Materials.xml",
                       std::ios::binary);
    std::string sText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(sText.compare(0, 5, "<?xml"), 0);
    KF_FileManager files;
    auto* pRepository = new MemoryRepository();
    files.AddRepository(pRepository);
    const auto count = [&](const std::string& sLibrary)
    {
        pRepository->SetFile("library.xml", sLibrary);
        const std::unique_ptr<TiXmlDocument> document(
            KU_XmlUtilities::LoadXmlDocument(&files, "library.xml"));
        if (document == nullptr)
            return -1;
        int iMaterials = 0;
        for (const TiXmlElement* p = document->RootElement()->FirstChildElement(); p != nullptr;
             p = p->NextSiblingElement())
        {
            ++iMaterials;
        }
        return iMaterials;
    };
    const int iShipped = count(sText);
    EXPECT_EQ(iShipped, 42);
    sText.replace(0, sText.find("?>") + 2, "<?xml version='1.0' encoding='latin-1'?>");
    EXPECT_EQ(count(sText), iShipped);
}

TEST_F(KU_XmlUtilitiesTest, WindowsCodePagesAreReadAsDeclared)
{
    // iconv's converters for windows-1255 and -1258 combine a letter with the marks after it; expat
    // reads a byte a character, as the parser does.
    for (const auto& [pName, pText] :
         std::initializer_list<std::pair<const char*, const char*>>{{"windows-1250", "Příliš žluťoučký kůň"},
                                                                    {"windows-1251", "Съешь же ещё"},
                                                                    {"windows-1252", "Café € “quoted”"},
                                                                    {"windows-1253", "Ελληνικά"},
                                                                    {"windows-1254", "Türkçe ğış"},
                                                                    {"windows-1255", "שָׁלוֹם עוֹלָם ₪"},
                                                                    {"windows-1256", "العربية پ"},
                                                                    {"windows-1257", "Lietuvių ąčę"},
                                                                    {"windows-1258", "Tiếng Việt ₫"},
                                                                    {"cp1255", "בְּרֵאשִׁית"},
                                                                    {"CP1258", "Xin chào"}})
    {
        const std::string sValue = Convert(pText, "UTF-8", pName);
        ASSERT_FALSE(sValue.empty()) << pName;
        const auto document =
            Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<scene title=\"" + sValue +
                 "\"><note>" + sValue + "</note><!-- " + sValue + " --></scene>");
        ASSERT_NE(document, nullptr) << pName;
        EXPECT_EQ(document->RootElement()->Attribute("title"), sValue) << pName;
        EXPECT_EQ(document->RootElement()->FirstChildElement("note")->GetText(), sValue) << pName;
    }
    // Bytes that are no character in the code page.
    EXPECT_EQ(Load("<?xml version='1.0' encoding='windows-1255'?><r>\xFF</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='windows-1258'?><r>\xEC\x81</r>"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, MultiByteEncodingsAreReadAsWritten)
{
    // As ElementTree writes them. In these encodings no byte of a character of several bytes is
    // markup to the parser, which reads the bytes a byte at a time, as written: in Shift_JIS and
    // cp932 ソ and 表 end in a '\', ゾ in a ']', in Big5 功 ends in a '\' and 也 in a ']'.
    for (const auto& [pName, pLetters, pText] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"shift_jis", "あい", "日本語のテキスト ソ 表 ゾ ‐"},
             {"Shift_JIS", "あい", "ソース表示"},
             {"cp932", "あい", "日本語 ① ゾ"},
             {"euc-jp", "日本", "日本語のテキスト ソ 表"},
             {"EUC-KR", "한국", "한국어 텍스트"},
             {"gb2312", "中文", "中文文本"},
             {"big5", "中文", "中文 功 也 （）"}})
    {
        const std::string sLetters = Convert(pLetters, "UTF-8", pName);
        const std::string sText = Convert(pText, "UTF-8", pName);
        ASSERT_FALSE(sText.empty()) << pName;
        const auto document = Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<scenes><" +
                                   sLetters + " title=\"" + sText + "\">" + sText + "<![CDATA[" + sText +
                                   "]]]]><!-- " + sText + " --></" + sLetters + "><scene>7</scene></scenes>");
        ASSERT_NE(document, nullptr) << pName;
        const TiXmlElement* pElement = document->RootElement()->FirstChildElement();
        EXPECT_EQ(pElement->ValueStr(), sLetters) << pName;
        EXPECT_EQ(pElement->Attribute("title"), sText) << pName;
        EXPECT_EQ(pElement->FirstChild()->ValueStr(), sText) << pName;
        EXPECT_EQ(pElement->FirstChild()->NextSibling()->ValueStr(), sText + "]]") << pName;
        EXPECT_STREQ(pElement->NextSiblingElement("scene")->GetText(), "7") << pName;
    }
    const std::string sShiftJis = "<?xml version='1.0' encoding='shift_jis'?>\n";
    // Refused on purpose: a CDATA section that a character ending in ']' followed by "]>" ends
    // early, read a byte at a time (the parser would read the rest as markup and text).
    for (const auto& [pName, pCharacter] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Shift_JIS", "ゾ"}, {"cp932", "‐"}, {"Big5", "也"}})
    {
        const std::string sDeclaration = "<?xml version='1.0' encoding='" + std::string(pName) + "'?>";
        const std::string sCharacter = Convert(pCharacter, "UTF-8", pName);
        ASSERT_EQ(sCharacter.back(), ']') << pName;
        EXPECT_NE(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]]></r>"), nullptr) << pName;
        EXPECT_NE(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]]]></r>"), nullptr) << pName;
        EXPECT_EQ(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]>]]></r>"), nullptr) << pName;
        EXPECT_EQ(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]><b/>]]></r>"), nullptr) << pName;
    }
    // Refused on purpose: a stateful encoding, whose bytes in a shifted state may be '<' (ISO-2022-JP
    // writes 日本 as ESC $ B F | K \ ESC ( B); UTF-16, as written or declared in a text of one byte a
    // character.
    const std::string sJapanese =
        Convert("<?xml version='1.0' encoding='iso-2022-jp'?>\n<r>日本</r>", "UTF-8", "ISO-2022-JP");
    ASSERT_FALSE(sJapanese.empty());
    EXPECT_EQ(Load(sJapanese), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='ISO-2022-JP'?><r>x</r>"), nullptr);
    EXPECT_EQ(Load(Convert("<?xml version='1.0' encoding='utf-16'?>\n<r>x</r>", "UTF-8", "UTF-16")), nullptr);
    for (const char* pName : {"UTF-16", "utf16", "UTF-16LE", "UCS-2", "UTF-7", "UTF-32"})
    {
        EXPECT_EQ(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?><r>x</r>"), nullptr)
            << pName;
    }
    // Refused as not well-formed: a character cut short, or whose later byte is not one.
    EXPECT_EQ(Load(sShiftJis + "<r>\x82</r>"), nullptr);
    EXPECT_EQ(Load(sShiftJis + "<r>\x82<b/></r>"), nullptr);
    EXPECT_EQ(Load(sShiftJis + "<r a='\x82'/>"), nullptr);
    // Refused on purpose: where the encoding has characters with a later byte below 0x40 (Johab),
    // such a character, whose later byte the parser would read as markup or white space.
    const std::string sJohab = "<?xml version='1.0' encoding='johab'?>";
    EXPECT_NE(Load(sJohab + "<r>" + Convert("한국어", "UTF-8", "JOHAB") + "</r>"), nullptr);
    EXPECT_EQ(Load(sJohab + "<r>\xD9\x3C/r></r>"), nullptr);
    EXPECT_EQ(Load(sJohab + "<r>\xD9\x31</r>"), nullptr);
    // As before: a name holding a character that ends in a byte the parser does not read in a name
    // (表 ends in '\') is refused by the parser.
    EXPECT_EQ(Load(sShiftJis + "<" + Convert("表", "UTF-8", "SHIFT_JIS") + "/>"), nullptr);
}

TEST(KU_XmlUtilitiesThreads, DeclaredEncodingsLoadOnSeveralThreadsAtOnce)
{
    // The encodings' tables are made on first use and kept for every thread.
    const char* const apNames[] = {"cp932", "Big5", "EUC-KR", "windows-1255", "iso8859_15", "sjis"};
    std::vector<std::thread> threads;
    std::atomic<int> iLoaded{0};
    for (int iThread = 0; iThread < 4; ++iThread)
    {
        threads.emplace_back(
            [&]()
            {
                KF_FileManager files;
                auto* pRepository = new MemoryRepository();
                files.AddRepository(pRepository);
                for (int i = 0; i < 3; ++i)
                    for (const char* pName : apNames)
                    {
                        pRepository->SetFile("doc.xml", "<?xml version='1.0' encoding='" +
                                                            std::string(pName) + "'?><r a='x'>y</r>");
                        iLoaded += std::unique_ptr<TiXmlDocument>(
                                       KU_XmlUtilities::LoadXmlDocument(&files, "doc.xml")) != nullptr
                                       ? 1
                                       : 0;
                    }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(iLoaded, 4 * 3 * static_cast<int>(std::size(apNames)));
}

TEST_F(KU_XmlUtilitiesTest, VerdictsAgreeWithAnIndependentParser)
{
    // The loader reads with TinyXML and judges with expat; libxml2 is the reference, but for what
    // the loader refuses on purpose, which is exempt by kind.
    DocumentMaker maker(77);
    const int iDocuments = 24000;
    int aiLoaded[static_cast<int>(Group::Count)] = {}; // by both, by group
    int iLoadedWithSubset = 0;
    int iRefused = 0; // by both
    int aiDisagreed[static_cast<int>(Group::Count)] = {};
    int iDisagreedWithSubset = 0;
    int aiExempt[static_cast<int>(Exemption::Count)] = {};
    for (int i = 0; i < iDocuments; ++i)
    {
        const std::string sMade = maker.Make();
        ASSERT_FALSE(sMade.empty()); // every character written in its encoding
        const std::string sText = maker.Mutate(sMade);
        // The encoding the text is read in: the one declared, unless a change took the
        // declaration out.
        const bool bDeclared = sText.compare(0, 6, "<?xml ") == 0 || sText.compare(0, 6, "<?xml\n") == 0;
        const char* pEncoding = bDeclared ? maker.GetDeclaredEncoding() : nullptr;
        if (pEncoding == nullptr)
            pEncoding =
                xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) != 0 ? "UTF-8" : "ISO-8859-1";
        Exemption exemption = Exemption::None;
        std::string sExpected;
        const Verdict reference = Reference(sText, pEncoding, &exemption, &sExpected);
        const auto document = Load(sText);
        const bool bLoaded = document != nullptr;
        if (reference == Verdict::Exempt)
        {
            ++aiExempt[static_cast<int>(exemption)];
            // Refused on purpose.
            EXPECT_FALSE(bLoaded) << EXEMPTION_NAMES[static_cast<int>(exemption)] << ": \"" << sText << "\"";
            continue;
        }
        EXPECT_EQ(bLoaded, reference == Verdict::Accepted) << "\"" << sText << "\"";
        if (bLoaded != (reference == Verdict::Accepted))
        {
            ++aiDisagreed[static_cast<int>(maker.GetGroup())];
            iDisagreedWithSubset += maker.HasSubset() ? 1 : 0;
        }
        else if (!bLoaded)
            ++iRefused;
        else
        {
            // The parser read the elements and attributes libxml2 read, in the bytes as written
            // (with white space in attribute values as written, which libxml2 makes spaces).
            std::string sLoaded = Convert(Elements(document.get()), pEncoding, "UTF-8");
            for (std::size_t uiAt = 0; (uiAt = sLoaded.find("\r\n", uiAt)) != std::string::npos;)
                sLoaded.erase(uiAt, 1);
            std::replace_if(
                sLoaded.begin(), sLoaded.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
                ' ');
            EXPECT_EQ(sLoaded, sExpected) << "\"" << sText << "\"";
            ++aiLoaded[static_cast<int>(maker.GetGroup())];
            iLoadedWithSubset += maker.HasSubset() ? 1 : 0;
        }
    }
    int iLoaded = 0;
    int iDisagreed = 0;
    for (int i = 0; i < static_cast<int>(Group::Count); ++i)
    {
        iLoaded += aiLoaded[i];
        iDisagreed += aiDisagreed[i];
    }
    std::printf("%d documents: %d loaded and %d refused as libxml2 reads them, %d otherwise;", iDocuments,
                iLoaded, iRefused, iDisagreed);
    for (int i = 1; i < static_cast<int>(Exemption::Count); ++i)
        std::printf(" %d exempt (%s)%s", aiExempt[i], EXEMPTION_NAMES[i],
                    i + 1 < static_cast<int>(Exemption::Count) ? "," : "");
    std::printf("\nloaded by both:");
    for (int i = 0; i < static_cast<int>(Group::Count); ++i)
        std::printf(" %d %s,", aiLoaded[i], GROUP_NAMES[i]);
    std::printf(" %d with an internal subset\n", iLoadedWithSubset);
    if (iDisagreed > 0)
    {
        std::printf("otherwise:");
        for (int i = 0; i < static_cast<int>(Group::Count); ++i)
            std::printf(" %d %s,", aiDisagreed[i], GROUP_NAMES[i]);
        std::printf(" %d with an internal subset\n", iDisagreedWithSubset);
    }
    // Floors on both outcomes, and on each kind of text loaded and refused on purpose.
    EXPECT_GT(iLoaded, iDocuments / 5);
    EXPECT_GT(iRefused, iDocuments * 2 / 5);
    EXPECT_GT(iLoadedWithSubset, iDocuments / 50);
    for (const Group group : {Group::Utf8, Group::Latin1, Group::Windows, Group::MultiByte})
        EXPECT_GT(aiLoaded[static_cast<int>(group)], iDocuments / 50) << GROUP_NAMES[static_cast<int>(group)];
    for (const Exemption exemption :
         {Exemption::Entities, Exemption::AttributeLists, Exemption::StatefulEncoding, Exemption::Utf16,
          Exemption::CdataEndedEarly})
        EXPECT_GT(aiExempt[static_cast<int>(exemption)], iDocuments / 800)
            << EXEMPTION_NAMES[static_cast<int>(exemption)];
}

TEST(KU_XmlUtilitiesAssets, EveryXmlAndColladaFileOfTheAssetsLoads)
{
    KF_FileManager files;
    files.AddRepository(new KF_DirectoryRepository(KV_SOURCE_ROOT));
    int iFiles = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(KV_SOURCE_ROOT) + "/assets"))
    {
        std::string sExtension = entry.path().extension().string();
        std::transform(sExtension.begin(), sExtension.end(), sExtension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (sExtension != ".xml" && sExtension != ".dae")
            continue;
        const std::string sPath =
            std::filesystem::relative(entry.path(), std::string(KV_SOURCE_ROOT)).generic_string();
        EXPECT_NE(std::unique_ptr<TiXmlDocument>(KU_XmlUtilities::LoadXmlDocument(&files, sPath.c_str())),
                  nullptr)
            << sPath;
        ++iFiles;
    }
    EXPECT_GE(iFiles, 13);
}

TEST_F(KU_XmlUtilitiesTest, NestingUpToTheLimitLoads)
{
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_DEPTH;
    EXPECT_NE(Load(Nested("<a>", "</a>", iLimit)), nullptr);
    EXPECT_NE(Load(Nested("<a b='>'>", "</a>", iLimit)), nullptr);
    EXPECT_EQ(Load(Nested("<a>", "</a>", iLimit + 1)), nullptr);
    // Siblings and self-closed elements do not nest.
    std::string sWide = "<r>";
    for (int i = 0; i < 5000; ++i)
        sWide += "<a><b/></a>";
    EXPECT_NE(Load(sWide + "</r>"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, DeepNestingIsRefusedWithoutCrashing)
{
    EXPECT_EQ(Load(Nested("<a>", "</a>", 200000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>", "", 200000)), nullptr);
    // End tags hidden where the parser does not read them as end tags.
    EXPECT_EQ(Load(Nested("<a><!--</a>-->", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a><![CDATA[</a>]]>", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a x=\"</a>\">", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a><?xml version='</a>'?>", "</a>", 100000)), nullptr);
    // End tags swallowed by what the parser reads as one character: in UTF-8 a lead byte takes
    // the next two bytes with it, and a character reference runs to the next ';'.
    const std::string sUtf8 = "<?xml version=\"1.0\"?>";
    EXPECT_EQ(Load(sUtf8 + Nested("<a>\xE0</a>", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>&#</a>#1;", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>&#x</a>x1;", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a b=\"&#\"></a>#1;\">", "</a>", 100000)), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, NestingIsCountedInTheDocumentsEncoding)
{
    // Latin-1 as declared: every byte is one character.
    auto document = Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><name a=\"Caf\xE9\">Caf\xE9</name>");
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->RootElement()->GetText(), "Caf\xE9");
    EXPECT_STREQ(document->RootElement()->Attribute("a"), "Caf\xE9");
    // UTF-8 holding U+FEFF inside text, an attribute and between elements (not before the root:
    // there it is text outside the elements).
    document = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"x\xEF\xBB\xBF\">"
                    "x\xEF\xBB\xBFy<b/>\xEF\xBB\xBF<c/></r>");
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->RootElement()->GetText(), "x\xEF\xBB\xBFy");
    EXPECT_NE(document->RootElement()->FirstChildElement("c"), nullptr);
    EXPECT_EQ(Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xEF\xBB\xBF<r/>"), nullptr);
    // A lead byte that would take the '<' of an end tag with it is not UTF-8, which the declaration
    // implies: refused at any depth.
    EXPECT_EQ(Load("<?xml version=\"1.0\"?>" + Nested("<a>\xE0</a>", "</a>", 50)), nullptr);
    EXPECT_EQ(Load("<?xml version=\"1.0\"?>" +
                   Nested("<a>\xE0</a>", "</a>", KU_XmlUtilities::MAX_ELEMENT_DEPTH + 1)),
              nullptr);
    // The same bytes in Latin-1 are closed where they stand.
    EXPECT_NE(
        Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>" + Nested("<a>\xE0</a>", "", 1000) + "</r>"),
        nullptr);
}

TEST_F(KU_XmlUtilitiesTest, ElementsHoldingMoreAttributesThanTheLimitAreRefused)
{
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    auto document = Load("<r>" + WithAttributes("a", iLimit) + "</r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(MostAttributes(document.get()), iLimit);
    EXPECT_EQ(Load("<r>" + WithAttributes("a", iLimit + 1) + "</r>"), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", iLimit + 1)), nullptr);
    // 64 bounds what 10 MB of elements cost the parser; the engine's files hold at most 15.
    EXPECT_NE(Load(WithAttributes("r", 64)), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", 65)), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", 256)), nullptr);
    // Refused before the parser checks each attribute against all earlier ones.
    EXPECT_EQ(Load(WithAttributes("r", 200000)), nullptr);
    // Also when the element is open, and when the text ends or breaks off after the attributes.
    std::string sOpen = WithAttributes("r", iLimit + 1);
    sOpen.replace(sOpen.size() - 2, 2, ">");
    EXPECT_EQ(Load(sOpen + "</r>"), nullptr);
    EXPECT_EQ(Load(sOpen), nullptr);
    EXPECT_EQ(Load(sOpen.substr(0, sOpen.size() - 1) + " x"), nullptr);

    // The limit is per element: many elements at the limit load.
    std::string sMany = "<r>";
    for (int i = 0; i < 8; ++i)
        sMany += WithAttributes("a", iLimit);
    EXPECT_NE(Load(sMany + "</r>"), nullptr);
    // What only looks like attributes does not count: text, comments, CDATA, instructions and
    // attribute values.
    std::string sLookAlikes = WithAttributes("r", iLimit);
    sLookAlikes.replace(sLookAlikes.size() - 2, 2, " z='b=\"1\" c=\"2\"'>");
    for (const char* pLookAlike :
         {"x=\"1\"", "<!-- x=\"1\" -->", "<![CDATA[ x=\"1\" ]]>", "<?pi x=\"1\"?>", "<?pi a='>' x=\"1\"?>"})
    {
        sLookAlikes += pLookAlike;
    }
    EXPECT_EQ(Load(sLookAlikes + "</r>"), nullptr); // z is one past the limit
    sLookAlikes.erase(sLookAlikes.find(" z="), sLookAlikes.find("'>") + 1 - sLookAlikes.find(" z="));
    document = Load(sLookAlikes + "</r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(MostAttributes(document.get()), iLimit);
}

TEST_F(KU_XmlUtilitiesTest, AttributesAreCountedAsTheParserReadsThem)
{
    // Generated documents around the limit, in every quoting and spacing the parser reads, with
    // markup and look-alikes before and between, some with bytes changed. Whatever the parser
    // reads into one element (it keeps what it read even when it then fails) decides: more than
    // the limit is refused, and a well-formed document it reads whole within the limits loads.
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    Random random(66);
    const auto next = [&random](std::uint32_t uiRange) { return random.Next(uiRange); };
    const char* const apValues[] = {"\"v\"",  "'v'",       "'-->'",   "\"a'b\"",
                                    "'a\"b'", "\">/>\"",   "'!--'",   "\"&amp;&#x3c;\"",
                                    "\"\"",   "'x=\"1\"'", "\"]]>\"", "'&lt;'"};
    const char* const apSpaces[] = {" ", "\t", "\n", "\r\n", "  "};
    const char* const apBetween[] = {"",
                                     "text a=\"1\"",
                                     "<!-- b=\"1\" c='2' -->",
                                     "<![CDATA[ <e f=\"1\"> ]]>",
                                     "<?pi g=\"1\"?>",
                                     "<?pi h='>' i=\"1\"?>",
                                     "<e/>",
                                     "&#65;"};
    int aiOutcomes[2][2] = {}; // [loaded][parser read more than the limit]
    for (int iDocument = 0; iDocument < 160; ++iDocument)
    {
        std::string sText = next(2) == 0 ? "<?xml version=\"1.0\"?>" : "";
        sText += "<r>";
        const int iElements = 1 + static_cast<int>(next(3));
        for (int iElement = 0; iElement < iElements; ++iElement)
        {
            sText += apBetween[next(8)];
            sText += "<e";
            const int iCount = iLimit - 3 + static_cast<int>(next(7));
            for (int i = 0; i < iCount; ++i)
            {
                sText += apSpaces[next(5)];
                sText += (next(4) == 0 ? "_n:" : "n.") + std::to_string(i) + "-";
                sText += next(3) == 0 ? " = " : "=";
                sText += apValues[next(12)];
            }
            sText += next(2) == 0 ? "/>" : "></e>";
        }
        sText += "</r>";
        if (next(3) == 0)
        {
            // Inside the root element, where the parser either reads on to the root's end tag (no
            // change makes another) or reports an error.
            const char acBytes[] = "<>/='\"!-?[] x";
            const std::size_t uiFirst = sText.find("<r>") + 3;
            for (int i = 1 + static_cast<int>(next(3)); i > 0; --i)
                sText[uiFirst + next(static_cast<std::uint32_t>(sText.size() - 4 - uiFirst))] =
                    acBytes[next(14)];
        }

        TiXmlDocument parsed;
        parsed.Parse(sText.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
        const bool bMore = MostAttributes(&parsed) > iLimit;
        const bool bLoaded = Load(sText) != nullptr;
        EXPECT_FALSE(bMore && bLoaded) << sText;
        EXPECT_TRUE(bMore || parsed.Error() || Reference(sText) != Verdict::Accepted || bLoaded) << sText;
        ++aiOutcomes[bLoaded][bMore];
    }
    // The documents reach both sides of the limit.
    EXPECT_GT(aiOutcomes[1][0], 20);
    EXPECT_GT(aiOutcomes[0][1], 20);
}
