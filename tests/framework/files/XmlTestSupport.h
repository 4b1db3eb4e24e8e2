#pragma once
// What the XML loading tests share: libxml2's verdict on a text and the content it reads, compared
// with the loader's, a small random number source, and the fixture that loads texts through a file
// manager over a memory repository.

#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_XmlUtilities.h"
#include "tests/framework/files/XmlEncodingReading.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace xml_test
{

// U+FEFF in UTF-8: a byte-order mark as the first bytes of a text, a character anywhere else.
constexpr char FEFF[] = "\xEF\xBB\xBF";

// sPattern with each '@' replaced by sWith.
inline std::string Placed(std::string sPattern, const std::string& sWith)
{
    for (std::size_t uiAt = sPattern.find('@'); uiAt != std::string::npos; uiAt = sPattern.find('@', uiAt))
    {
        sPattern.replace(uiAt, 1, sWith);
        uiAt += sWith.size();
    }
    return sPattern;
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
    // UTF-16 or UTF-32 (UCS-2, UCS-4), with a byte-order mark or declared: markup is not written in
    // single bytes.
    WideEncoding,
    // An encoding in which a byte that markup uses reads as another character (EBCDIC; '%' in
    // cp864), or another byte reads as one (0xBC is '<' in ISIRI-3342).
    MarkupChanged,
    // A CDATA section whose text, in the document's encoding, holds the bytes of "]]>": read a byte
    // at a time it ends early.
    CdataEndedEarly,
    // A character, written or referred to, whose bytes in the document's encoding the parser would
    // read as markup or cannot read (Coverage::Misread).
    MisreadCharacter,
    // A reference to a character that the document's encoding has no bytes for, in a text not read
    // as UTF-8.
    LackedCharacter,
    Count
};

const char* const EXEMPTION_NAMES[] = {
    "none",          "limits",         "entities",          "attribute lists",   "stateful encoding",
    "UTF-16 or -32", "markup changed", "CDATA ended early", "character misread", "character lacked"};

// What the loader refuses on purpose under pNode (whose children are at depth iDepth + 1): the
// deepest element, the most attributes an element holds, whether a reference to an undeclared
// entity is left in the tree (as libxml2 leaves those an external DTD could declare), whether a
// CDATA section holds the bytes of "]]>" in the document's encoding, and whether a character of a
// name or of content is one the encoding lacks or writes in bytes the parser would misread (of
// content read by reference, which is how a character the encoding lacks gets there).
struct Measures
{
    int iDepth = 0;
    int iAttributes = 0;
    bool bReference = false;
    bool bCdataEndedEarly = false;
    bool bMisread = false;
    bool bLacking = false;
};

inline void MeasureCharacters(const xmlChar* pText, EncodingReading* pReading, Measures* pMeasures)
{
    if (pText == nullptr)
        return;
    const std::string sText = reinterpret_cast<const char*>(pText);
    for (std::size_t i = 0; i < sText.size();)
    {
        const std::size_t uiStart = i;
        if (NextCodePoint(sText, &i) < 0x80)
            continue;
        const Coverage coverage = pReading->Cover(sText.substr(uiStart, i - uiStart));
        pMeasures->bMisread = pMeasures->bMisread || coverage == Coverage::Misread;
        pMeasures->bLacking = pMeasures->bLacking || coverage == Coverage::Lacking;
    }
}

inline void Measure(const xmlNode* pNode, int iDepth, EncodingReading* pReading, Measures* pMeasures)
{
    for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
    {
        pMeasures->bReference = pMeasures->bReference || pChild->type == XML_ENTITY_REF_NODE;
        MeasureCharacters(pChild->name, pReading, pMeasures);
        MeasureCharacters(pChild->content, pReading, pMeasures);
        if (pChild->type == XML_CDATA_SECTION_NODE && pChild->content != nullptr)
        {
            std::string sBytes;
            pMeasures->bCdataEndedEarly =
                pMeasures->bCdataEndedEarly ||
                (pReading->Encode(reinterpret_cast<const char*>(pChild->content), &sBytes) &&
                 sBytes.find("]]>") != std::string::npos);
        }
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        pMeasures->iDepth = std::max(pMeasures->iDepth, iDepth + 1);
        int iAttributes = 0;
        for (const xmlAttr* pAttribute = pChild->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            ++iAttributes;
            MeasureCharacters(pAttribute->name, pReading, pMeasures);
            Measure(reinterpret_cast<const xmlNode*>(pAttribute), iDepth, pReading, pMeasures);
        }
        pMeasures->iAttributes = std::max(pMeasures->iAttributes, iAttributes);
        Measure(pChild, iDepth + 1, pReading, pMeasures);
    }
}

// Where the reference wraps the top-level elements: after a byte-order mark and the white space,
// declaration, comments, instructions and DOCTYPE (with its internal subset) before the first
// element (or before whatever else comes first, which then lies in the wrapper).
inline std::size_t PrologEnd(const std::string& sText)
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

inline void IgnoreError(void*, const char*, ...)
{
}

// While it lives, notes whether libxml2 reports bytes that its converter cannot read. Where ICU
// converts, libxml2 takes that for the end of the text and may accept what it read before; the text
// is not one it reads.
class ConversionErrors
{
public:
    ConversionErrors() { xmlSetStructuredErrorFunc(this, Note); }
    ~ConversionErrors() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
    ConversionErrors(const ConversionErrors&) = delete;
    ConversionErrors& operator=(const ConversionErrors&) = delete;

    bool Any() const { return m_bAny; }

private:
    static void Note(void* pSelf, xmlErrorPtr pError)
    {
        if (pError->domain == XML_FROM_I18N && pError->code == XML_I18N_CONV_FAILED)
            static_cast<ConversionErrors*>(pSelf)->m_bAny = true;
    }

    bool m_bAny = false;
};

// The content of a document as both sides write it for the comparison, in UTF-8: elements with their
// attributes, text, CDATA sections, comments and instructions, in document order, without the
// declaration and the DOCTYPE. The parser condenses white space (the loader keeps its default): it
// drops the white space at either end of a text and makes each run of it inside one space, and
// leaves out a text of white space only; both sides' texts are written so. Attribute values get
// libxml2's normalisation (each white space character a space), and every line end is written as
// libxml2 reads it (CR LF and a lone CR are LF). CDATA sections with nothing but white space between
// them are written as one, as libxml2 makes one node of adjacent ones. Only white space changes:
// any other character the loader reads wrong still shows.
class ContentWriter
{
public:
    void StartElement(const std::string& sName) { Write("<" + sName); }
    void Attribute(const std::string& sName, const std::string& sValue)
    {
        std::string sNormalised = WithLineFeeds(sValue);
        std::replace_if(
            sNormalised.begin(), sNormalised.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
        Write(" " + sName + "=\"" + sNormalised + "\"");
    }
    void EndStartTag() { Write(">"); }
    void EndElement() { Write("</>"); }
    void Text(const std::string& sText)
    {
        const std::string sCondensed = Condensed(sText);
        if (!sCondensed.empty())
            Write("{" + sCondensed + "}");
    }
    void Cdata(const std::string& sText)
    {
        constexpr std::size_t END_LENGTH = sizeof("]]>") - 1;
        if (m_bCdataLast)
            m_sContent.resize(m_sContent.size() - END_LENGTH);
        else
            Write("<![CDATA[");
        Write(WithLineFeeds(sText) + "]]>");
        m_bCdataLast = true;
    }
    void Comment(const std::string& sText) { Write("<!--" + WithLineFeeds(sText) + "-->"); }
    void Instruction(const std::string& sTarget, const std::string& sData)
    {
        // Appended, not "<?" + sTarget: g++ 12 at -O3 misreads that as an overlapping copy.
        std::string sInstruction = "<?";
        sInstruction.append(sTarget);
        if (!sData.empty())
            sInstruction.append(" ").append(WithLineFeeds(sData));
        Write(sInstruction.append("?>"));
    }
    const std::string& GetContent() const { return m_sContent; }

private:
    void Write(const std::string& sText)
    {
        m_sContent += sText;
        m_bCdataLast = false;
    }

    static std::string WithLineFeeds(const std::string& sText)
    {
        std::string sOut;
        for (std::size_t i = 0; i < sText.size(); ++i)
            if (sText[i] != '\r')
                sOut += sText[i];
            else if (i + 1 == sText.size() || sText[i + 1] != '\n')
                sOut += '\n';
        return sOut;
    }

    static std::string Condensed(const std::string& sText)
    {
        std::string sOut;
        bool bSpace = false;
        for (const char c : sText)
        {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            {
                bSpace = !sOut.empty();
                continue;
            }
            if (bSpace)
                sOut += ' ';
            bSpace = false;
            sOut += c;
        }
        return sOut;
    }

    std::string m_sContent;
    bool m_bCdataLast = false; // whether the content ends in a CDATA section
};

inline void WriteContent(const xmlNode* pNode, ContentWriter* pWriter)
{
    const auto text = [](const xmlChar* p)
    { return std::string(p != nullptr ? reinterpret_cast<const char*>(p) : ""); };
    switch (pNode->type)
    {
    case XML_ELEMENT_NODE:
        pWriter->StartElement(text(pNode->name));
        for (const xmlAttr* pAttribute = pNode->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            xmlChar* pValue = xmlGetProp(pNode, pAttribute->name);
            pWriter->Attribute(text(pAttribute->name), text(pValue));
            xmlFree(pValue);
        }
        pWriter->EndStartTag();
        for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
            WriteContent(pChild, pWriter);
        pWriter->EndElement();
        break;
    case XML_TEXT_NODE:
        pWriter->Text(text(pNode->content));
        break;
    case XML_CDATA_SECTION_NODE:
        pWriter->Cdata(text(pNode->content));
        break;
    case XML_COMMENT_NODE:
        pWriter->Comment(text(pNode->content));
        break;
    case XML_PI_NODE:
        pWriter->Instruction(text(pNode->name), text(pNode->content));
        break;
    default:
        break;
    }
}

// libxml2's content of a document read with the wrapper pTop around its top-level elements.
inline std::string Content(const xmlDoc* pDocument, const xmlNode* pTop)
{
    ContentWriter writer;
    for (const xmlNode* pNode = pDocument->children; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode != pTop)
            WriteContent(pNode, &writer);
        else
            for (const xmlNode* pChild = pTop->children; pChild != nullptr; pChild = pChild->next)
                WriteContent(pChild, &writer);
    }
    return writer.GetContent();
}

// The same of TinyXML's tree, its bytes read as the loader reads the text's encoding (bytes that are
// no characters in it written as \xNN).
inline void WriteContent(const TiXmlNode* pNode, const EncodingReading& reading, ContentWriter* pWriter)
{
    const auto text = [&reading](const std::string& sBytes)
    {
        std::string sUtf8;
        return reading.DecodeLoaded(sBytes, &sUtf8) ? sUtf8 : Printable(sBytes);
    };
    if (const TiXmlElement* pElement = pNode->ToElement())
    {
        pWriter->StartElement(text(pElement->ValueStr()));
        for (const TiXmlAttribute* pAttribute = pElement->FirstAttribute(); pAttribute != nullptr;
             pAttribute = pAttribute->Next())
        {
            pWriter->Attribute(text(pAttribute->NameTStr()), text(pAttribute->ValueStr()));
        }
        pWriter->EndStartTag();
        for (const TiXmlNode* pChild = pNode->FirstChild(); pChild != nullptr; pChild = pChild->NextSibling())
            WriteContent(pChild, reading, pWriter);
        pWriter->EndElement();
    }
    else if (const TiXmlText* pText = pNode->ToText())
    {
        if (pText->CDATA())
            pWriter->Cdata(text(pText->ValueStr()));
        else
            pWriter->Text(text(pText->ValueStr()));
    }
    else if (pNode->ToComment() != nullptr)
        pWriter->Comment(text(pNode->ValueStr()));
    else if (pNode->ToUnknown() != nullptr && pNode->ValueStr().size() >= 2 && pNode->ValueStr()[0] == '?')
    {
        // An instruction, "?target data?"; a DOCTYPE's node begins with '!'.
        const std::string sInside = text(pNode->ValueStr().substr(1, pNode->ValueStr().size() - 2));
        const std::size_t uiTargetEnd = std::min(sInside.find_first_of(" \t\r\n"), sInside.size());
        const std::size_t uiData =
            std::min(sInside.find_first_not_of(" \t\r\n", uiTargetEnd), sInside.size());
        pWriter->Instruction(sInside.substr(0, uiTargetEnd), sInside.substr(uiData));
    }
}

inline std::string Content(const TiXmlDocument& document, const EncodingReading& reading)
{
    ContentWriter writer;
    for (const TiXmlNode* pNode = document.FirstChild(); pNode != nullptr; pNode = pNode->NextSibling())
        WriteContent(pNode, reading, &writer);
    return writer.GetContent();
}

// libxml2's verdict on sText, read in `reading` (EncodingReadings::Of), with the loader's two
// relaxations: several top-level elements (a wrapper element after the prolog, holding at least
// one element and otherwise only white space, comments and instructions), and a text without a
// byte-order mark or declaration that is not UTF-8 read as ISO-8859-1. What the loader refuses on
// purpose is exempt, and *pExemption (when given) says why. *pContent (when given) receives the
// content of a text accepted, as Content writes it.
inline Verdict Reference(const std::string& sText, EncodingReading& reading, Exemption* pExemption = nullptr,
                         std::string* pContent = nullptr)
{
    // libxml2 reports a text it cannot convert even when told to report no error.
    static const bool s_bQuiet = (xmlSetGenericErrorFunc(nullptr, IgnoreError), true);
    (void)s_bQuiet;
    Exemption exemption = Exemption::None;
    if (pExemption == nullptr)
        pExemption = &exemption;
    *pExemption = Exemption::None;
    const ConversionErrors conversionErrors;
    const EncodingKind kind = reading.GetKind();
    const bool bWide = sText.compare(0, 2, "\xFF\xFE") == 0 || sText.compare(0, 2, "\xFE\xFF") == 0 ||
                       sText.find('\0') != std::string::npos || kind == EncodingKind::WideUnits;
    if (bWide || kind == EncodingKind::MarkupChanged)
    {
        // Markup not in ASCII's bytes, which the wrapper (in ASCII) would break: libxml2 reads the
        // text whole or not.
        xmlDocPtr pDocument = xmlReadMemory(sText.data(), static_cast<int>(sText.size()), "doc.xml", nullptr,
                                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        const bool bRead = pDocument != nullptr && !conversionErrors.Any();
        xmlFreeDoc(pDocument);
        *pExemption = !bRead ? Exemption::None : bWide ? Exemption::WideEncoding : Exemption::MarkupChanged;
        return bRead ? Verdict::Exempt : Verdict::Refused;
    }
    const bool bMark = sText.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const char* pUndeclared = nullptr;
    if (!bMark && !IsDeclared(sText) && xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) == 0)
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
    if (pDocument != nullptr && pContext->wellFormed != 0 && !conversionErrors.Any())
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
            for (const xmlNode* pNode = pDocument->children; pNode != nullptr; pNode = pNode->next)
                if (pNode != pTop && pNode->type != XML_DTD_NODE)
                    MeasureCharacters(pNode->content, &reading, &measures);
            Measure(pTop, 0, &reading, &measures);
            if (pContent != nullptr)
                *pContent = Content(pDocument, pTop);
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
            else if (kind == EncodingKind::Stateful)
                *pExemption = Exemption::StatefulEncoding;
            else if (measures.bCdataEndedEarly)
                *pExemption = Exemption::CdataEndedEarly;
            else if (measures.bMisread)
                *pExemption = Exemption::MisreadCharacter;
            else if (measures.bLacking)
                *pExemption = Exemption::LackedCharacter;
            verdict = *pExemption == Exemption::None ? Verdict::Accepted : Verdict::Exempt;
        }
    }
    xmlFreeDoc(pDocument);
    xmlFreeParserCtxt(pContext);
    return verdict;
}

// The same for a text whose encoding is not otherwise at hand.
inline Verdict Reference(const std::string& sText)
{
    EncodingReadings readings;
    return Reference(sText, readings.Of(sText));
}

// libxml2's and the loader's verdicts on a text and, where they read it, the contents they read.
struct Outcome
{
    Verdict reference = Verdict::Refused;
    Exemption exemption = Exemption::None;
    bool bLoaded = false;
    std::string sExpected; // libxml2's content, where it accepts the text
    std::string sLoaded;   // the loader's, where it loads the text
};

// The loader's tests: texts loaded as "doc.xml" through a file manager over one memory repository.
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

    // libxml2's and the loader's verdicts on sText, read in `reading` (EncodingReadings::Of).
    Outcome Judge(const std::string& sText, EncodingReading& reading)
    {
        Outcome outcome;
        outcome.reference = Reference(sText, reading, &outcome.exemption, &outcome.sExpected);
        const auto document = Load(sText);
        outcome.bLoaded = document != nullptr;
        if (document != nullptr)
            outcome.sLoaded = Content(*document, reading);
        return outcome;
    }

    KF_FileManager m_manager;
    MemoryRepository* m_pRepository = nullptr; // owned by m_manager
};

} // namespace xml_test
