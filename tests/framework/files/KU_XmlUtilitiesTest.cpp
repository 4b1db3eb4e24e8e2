#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "tests/framework/files/XmlTestSupport.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <libxml/encoding.h>
#include <tinyxml.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using namespace xml_test;

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
