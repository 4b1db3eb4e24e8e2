#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

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
    // Refused by the loader on purpose: deeper or holding more attributes than its limits, or
    // referring to entities that only an external DTD could declare.
    Exempt
};

// What the loader's limits look at under pNode (whose children are at depth iDepth + 1): the
// deepest element, the most attributes an element holds, and whether a reference to an undeclared
// entity is left in the tree (as libxml2 leaves those an external DTD could declare).
struct Measures
{
    int iDepth = 0;
    int iAttributes = 0;
    bool bReference = false;
};

void Measure(const xmlNode* pNode, int iDepth, Measures* pMeasures)
{
    for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
    {
        pMeasures->bReference = pMeasures->bReference || pChild->type == XML_ENTITY_REF_NODE;
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        pMeasures->iDepth = std::max(pMeasures->iDepth, iDepth + 1);
        int iAttributes = 0;
        for (const xmlAttr* pAttribute = pChild->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            ++iAttributes;
            Measure(reinterpret_cast<const xmlNode*>(pAttribute), iDepth, pMeasures);
        }
        pMeasures->iAttributes = std::max(pMeasures->iAttributes, iAttributes);
        Measure(pChild, iDepth + 1, pMeasures);
    }
}

// Where the reference wraps the top-level elements: after a byte-order mark and the white space,
// declaration, comments, instructions and DOCTYPE before the first element (or before whatever
// else comes first, which then lies in the wrapper).
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
            for (i += 9; i < sText.size() && (cQuote != 0 || sText[i] != '>'); ++i)
                if (sText[i] == '"' || sText[i] == '\'')
                    cQuote = cQuote == 0 ? sText[i] : cQuote == sText[i] ? 0 : cQuote;
            i = i < sText.size() ? i + 1 : std::string::npos;
        }
        else
            return i;
        if (i == std::string::npos) // unterminated: libxml2 refuses it
            return sText.size();
    }
}

// libxml2's verdict on sText, with the loader's two relaxations: several top-level elements (a
// wrapper element after the prolog, holding at least one element and otherwise only white space,
// comments and instructions), and a text without a byte-order mark or declaration that is not
// UTF-8 read as ISO-8859-1.
Verdict Reference(const std::string& sText)
{
    const bool bMark = sText.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const bool bDeclared = sText.compare(0, 5, "<?xml") == 0 && sText.size() > 5 &&
                           std::strchr(" \t\r\n", sText[5]) != nullptr && sText[5] != 0;
    const char* pEncoding = nullptr;
    if (!bMark && !bDeclared && xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) == 0)
        pEncoding = "ISO-8859-1";
    // libxml2 2.9 reads a DOCTYPE without white space after its keyword.
    const std::size_t uiDoctype = sText.find("<!DOCTYPE");
    if (uiDoctype != std::string::npos && std::strchr(" \t\r\n", sText[uiDoctype + 9]) == nullptr)
        return Verdict::Refused;
    const std::size_t uiPrologEnd = PrologEnd(sText);
    const std::string sWrapped =
        sText.substr(0, uiPrologEnd) + "<kv-top>" + sText.substr(uiPrologEnd) + "</kv-top>";

    xmlParserCtxtPtr pContext = xmlNewParserCtxt();
    xmlDocPtr pDocument =
        xmlCtxtReadMemory(pContext, sWrapped.data(), static_cast<int>(sWrapped.size()), "doc.xml", pEncoding,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_OLD10);
    Verdict verdict = Verdict::Refused;
    // libxml2 also reads encoding names that iconv, which reads them for both, does not know.
    iconv_t convert = reinterpret_cast<iconv_t>(-1);
    if (pDocument != nullptr && pDocument->encoding != nullptr)
        convert = iconv_open("UTF-8", reinterpret_cast<const char*>(pDocument->encoding));
    const bool bKnownEncoding =
        pDocument == nullptr || pDocument->encoding == nullptr || convert != reinterpret_cast<iconv_t>(-1);
    if (convert != reinterpret_cast<iconv_t>(-1))
        iconv_close(convert);
    if (pDocument != nullptr && pContext->wellFormed != 0 && bKnownEncoding)
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
            Measure(pTop, 0, &measures);
            verdict = measures.bReference || measures.iDepth > KU_XmlUtilities::MAX_ELEMENT_DEPTH ||
                              measures.iAttributes > KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES
                          ? Verdict::Exempt
                          : Verdict::Accepted;
        }
    }
    xmlFreeDoc(pDocument);
    xmlFreeParserCtxt(pContext);
    return verdict;
}

// Well-formed documents of the kinds the engine's files hold (several top-level elements or one),
// in the encodings the loader reads, then cut or given markup fragments at random places.
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
            "<?xml version='1.0' encoding='ISO-8859-1'?>",
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>",
            "\xEF\xBB\xBF"};
        static const char* const s_apDoctypes[] = {"", "", "<!DOCTYPE r>\n", "<!DOCTYPE r SYSTEM \"r.dtd\">",
                                                   "<!DOCTYPE r PUBLIC \"-//KV//r\" \"a>b.dtd\" >\n"};
        const std::uint32_t uiKind = m_random.Next(7);
        // Without a declaration, half the texts are ISO-8859-1 (not UTF-8), as is the declared one.
        m_bLatin1 = uiKind == 1 || uiKind == 4;
        std::string sText = s_apDeclarations[uiKind];
        sText += Misc();
        sText += m_random.Pick(s_apDoctypes);
        sText += Misc();
        for (int i = 1 + static_cast<int>(m_random.Next(3)); i > 0; --i)
            sText += Element(1) + Misc();
        return sText;
    }

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
                                                    "<?xml-x?>"};
        const auto at = [&]()
        { return static_cast<std::size_t>(m_random.Next(static_cast<std::uint32_t>(sText.size() + 1))); };
        switch (m_random.Next(8))
        {
        case 2:
            sText.resize(at());
            break;
        case 3:
        case 4:
            sText.insert(at(), m_random.Pick(s_apFragments));
            break;
        case 5:
            sText.insert(at(), m_random.Pick(s_apFragments));
            sText.insert(at(), m_random.Pick(s_apFragments));
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
    std::string NonAscii()
    {
        return m_bLatin1 ? (m_random.Next(2) == 0 ? "\xE9" : "\xFC")
                         : (m_random.Next(2) == 0 ? "\xC3\xA9" : "\xE2\x82\xAC");
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
        return std::string(m_random.Pick(s_apMisc)) + (m_random.Next(3) == 0 ? m_random.Pick(s_apMisc) : "");
    }

    std::string Element(int iDepth)
    {
        static const char* const s_apNames[] = {"r", "scene", "m-1", "x.y", "_z", "a", "caf"};
        static const char* const s_apAttributes[] = {"a", "b", "name", "x.y", "_c"};
        static const char* const s_apValues[] = {"\"1\"",   "'two'", "\"a &amp; b\"", "\"&#65;&lt;\"",
                                                 "\"x>y\"", "'\"'",  "\"\""};
        std::string sName = m_random.Pick(s_apNames);
        if (sName == "caf")
            sName += NonAscii();
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
            const std::uint32_t uiItem = m_random.Next(10);
            if (uiItem < 8)
                sText += s_apContent[uiItem];
            else if (uiItem == 8)
                sText += NonAscii();
            else if (iDepth < 4)
                sText += Element(iDepth + 1);
        }
        return sText + "</" + sName + (m_random.Next(4) == 0 ? " >" : ">");
    }

    Random m_random;
    bool m_bLatin1 = false;
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
          // A DOCTYPE's internal subset ends the parser's reading at its first '>'.
          "<?xml version=\"1.0\"?><!DOCTYPE COLLADA [ <!ENTITY x \"y\"> ]><COLLADA/>"s,
          "<!DOCTYPE material_library [ <!ELEMENT material_library ANY> ]>\n<material_library/>"s,
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
                              // An instruction the parser would read as a declaration, and so
                              // read on as UTF-8.
                              "<?xml-stylesheet href=\"s.css\"?><r>Caf\xE9</r>"})
    {
        const auto document = Load(pText);
        ASSERT_NE(document, nullptr) << pText;
        EXPECT_NE(document->RootElement()->GetText(), nullptr) << pText;
    }
    // Refused: a declaration without an encoding, or a byte-order mark, says UTF-8, and so does the
    // parser; an encoding of several bytes a character is not read a byte a character.
    for (const char* pText :
         {"<?xml version=\"1.0\"?><r>Caf\xE9</r>", "\xEF\xBB\xBF<r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>Caf\xE9</r>",
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x82\xA0</r>",
          "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><r/>", "<r>\xC3\xA9\x01</r>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
}

TEST_F(KU_XmlUtilitiesTest, VerdictsAgreeWithAnIndependentParser)
{
    // The loader reads with TinyXML and judges with expat; libxml2 is the reference.
    DocumentMaker maker(77);
    int aiVerdicts[3] = {};
    const int iDocuments = 20000;
    for (int i = 0; i < iDocuments; ++i)
    {
        const std::string sText = maker.Mutate(maker.Make());
        const Verdict reference = Reference(sText);
        ++aiVerdicts[static_cast<int>(reference)];
        if (reference == Verdict::Exempt)
            continue;
        const bool bLoaded = Load(sText) != nullptr;
        EXPECT_EQ(bLoaded, reference == Verdict::Accepted) << "\"" << sText << "\"";
    }
    EXPECT_GT(aiVerdicts[static_cast<int>(Verdict::Accepted)], iDocuments / 4);
    EXPECT_GT(aiVerdicts[static_cast<int>(Verdict::Refused)], iDocuments / 2);
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
