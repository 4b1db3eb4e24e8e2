#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlversion.h>
#include <tinyxml.h>

#include <cstring>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// The reference reads a declared name through iconv, then through ICU's aliases, as the loader
// does; a libxml2 built without either reads other names, and these tests would compare the
// loader with another reading.
#if !defined(LIBXML_ICONV_ENABLED) || !defined(LIBXML_ICU_ENABLED)
#error "The XML loading tests need a libxml2 that reads encoding names through iconv and ICU."
#endif

namespace
{

// sBytes converted by libxml2's handler of the named encoding, to UTF-8 (bToUtf8) or from it;
// empty when libxml2 has no handler or cannot convert every byte.
std::string ConvertAsLibxml2(const std::string& sBytes, const char* pName, bool bToUtf8)
{
    xmlCharEncodingHandlerPtr pHandler = xmlFindCharEncodingHandler(pName);
    if (pHandler == nullptr)
        return std::string();
    xmlBufferPtr pIn = xmlBufferCreate();
    xmlBufferPtr pOut = xmlBufferCreate();
    xmlBufferAdd(pIn, reinterpret_cast<const xmlChar*>(sBytes.data()), static_cast<int>(sBytes.size()));
    const int iWritten =
        bToUtf8 ? xmlCharEncInFunc(pHandler, pOut, pIn) : xmlCharEncOutFunc(pHandler, pOut, pIn);
    std::string sOut;
    if (iWritten >= 0 && xmlBufferLength(pIn) == 0)
        sOut.assign(reinterpret_cast<const char*>(xmlBufferContent(pOut)),
                    static_cast<std::size_t>(xmlBufferLength(pOut)));
    xmlBufferFree(pIn);
    xmlBufferFree(pOut);
    xmlCharEncCloseFunc(pHandler);
    return sOut;
}

bool Libxml2ReadsName(const char* pName)
{
    xmlCharEncodingHandlerPtr pHandler = xmlFindCharEncodingHandler(pName);
    if (pHandler != nullptr)
        xmlCharEncCloseFunc(pHandler);
    return pHandler != nullptr;
}

// What libxml2 reads of a document <r a="...">...</r>: the root's attribute a and its text, in
// UTF-8. A text without a declaration that is not UTF-8 is read as ISO-8859-1, as the loader reads it.
struct Content
{
    bool bRead = false;
    std::string sAttribute;
    std::string sText;
};

Content ReadAsLibxml2(const std::string& sText)
{
    const bool bDeclared = sText.compare(0, 6, "<?xml ") == 0;
    const char* pEncoding = bDeclared || xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) != 0
                                ? nullptr
                                : "ISO-8859-1";
    xmlDocPtr pDocument = xmlReadMemory(sText.data(), static_cast<int>(sText.size()), "doc.xml", pEncoding,
                                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    Content content;
    if (pDocument == nullptr)
        return content;
    xmlNodePtr pRoot = xmlDocGetRootElement(pDocument);
    xmlChar* pAttribute = xmlGetProp(pRoot, reinterpret_cast<const xmlChar*>("a"));
    xmlChar* pText = xmlNodeGetContent(pRoot);
    content.bRead = pAttribute != nullptr && pText != nullptr;
    if (content.bRead)
    {
        content.sAttribute = reinterpret_cast<const char*>(pAttribute);
        content.sText = reinterpret_cast<const char*>(pText);
    }
    xmlFree(pAttribute);
    xmlFree(pText);
    xmlFreeDoc(pDocument);
    return content;
}

std::string Declaration(const char* pName)
{
    return pName == nullptr ? std::string() : "<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n";
}

// A file manager over one MemoryRepository, through which it loads texts as "doc.xml".
class Loader
{
public:
    Loader() { m_oFiles.AddRepository(m_pRepository); }

    std::unique_ptr<TiXmlDocument> Load(const std::string& sText)
    {
        m_pRepository->SetFile("doc.xml", sText);
        std::unique_ptr<TiXmlDocument> document(KU_XmlUtilities::LoadXmlDocument(&m_oFiles, "doc.xml"));
        EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u); // the reference released on every path
        return document;
    }

private:
    KF_FileManager m_oFiles;
    MemoryRepository* m_pRepository = new MemoryRepository(); // owned by m_oFiles
};

class KU_XmlUtilitiesEncodingTest : public ::testing::Test
{
protected:
    std::unique_ptr<TiXmlDocument> Load(const std::string& sText) { return m_oLoader.Load(sText); }

    // Loads sText, a document <r a="...">...</r> that libxml2 reads, and checks that its attribute a
    // and its text are the same bytes and, decoded from pTreeEncoding (when given) as libxml2 decodes
    // it, what libxml2 reads; gives the attribute's bytes as loaded ("refused" when the loader refuses
    // the text).
    std::string LoadLikeLibxml2(const std::string& sText, const char* pTreeEncoding)
    {
        const auto document = Load(sText);
        const Content content = ReadAsLibxml2(sText);
        EXPECT_TRUE(content.bRead) << sText;
        if (document == nullptr)
            return "refused";
        const char* pAttribute = document->RootElement()->Attribute("a");
        const char* pText = document->RootElement()->GetText();
        if (pAttribute == nullptr || pText == nullptr)
        {
            ADD_FAILURE() << "no attribute or text: " << sText;
            return std::string();
        }
        EXPECT_STREQ(pText, pAttribute) << sText;
        if (pTreeEncoding != nullptr)
        {
            EXPECT_EQ(ConvertAsLibxml2(pAttribute, pTreeEncoding, true), content.sAttribute) << sText;
            EXPECT_EQ(ConvertAsLibxml2(pText, pTreeEncoding, true), content.sText) << sText;
        }
        return pAttribute;
    }

    Loader m_oLoader;
};

} // namespace

TEST_F(KU_XmlUtilitiesEncodingTest, CharacterReferencesLoadAsTheTextsEncodingWritesTheirCharacters)
{
    struct Case
    {
        const char* pDeclared;     // null: no declaration
        const char* pOther;        // the bytes of another attribute, as written
        const char* pReferences;   // in attribute a and in the text
        const char* pLoaded;       // the bytes loaded; null: refused
        const char* pTreeEncoding; // what the bytes loaded are written in
    };
    const Case aCases[] = {
        // As ElementTree's default write() gives them: no declaration, every character outside ASCII a
        // reference, so the text is UTF-8.
        {nullptr, "", "Pierre_dor&#233;e",
         "Pierre_dor\xC3\xA9"
         "e",
         "UTF-8"},
        {nullptr, "", "&#x65E5;&#x672C;", "\xE6\x97\xA5\xE6\x9C\xAC", "UTF-8"},
        {nullptr, "", "&#x1F600;!", "\xF0\x9F\x98\x80!", "UTF-8"},
        {nullptr, "caf\xC3\xA9", "&#233;", "\xC3\xA9", "UTF-8"},
        // Without a declaration and not UTF-8: ISO-8859-1, which has no euro sign.
        {nullptr, "caf\xE9", "&#233;&#xFF;", "\xE9\xFF", "ISO-8859-1"},
        {nullptr, "caf\xE9", "&#8364;", nullptr, nullptr},
        // UTF-8 in any spelling libxml2 reads, and US-ASCII, whose texts are UTF-8.
        {"UTF-8", "", "&#x20AC;&#233;&#x1F600;", "\xE2\x82\xAC\xC3\xA9\xF0\x9F\x98\x80", "UTF-8"},
        {"utf_8", "", "&#x20AC;&#233;&#x1F600;", "\xE2\x82\xAC\xC3\xA9\xF0\x9F\x98\x80", "UTF-8"},
        {"UTF_8", "", "&#x20AC;&#233;", "\xE2\x82\xAC\xC3\xA9", "UTF-8"},
        {"US-ASCII", "", "&#233;&#x1F600;", "\xC3\xA9\xF0\x9F\x98\x80", "UTF-8"},
        // Single-byte encodings: the character's byte where the encoding has one.
        {"ISO-8859-1", "", "&#233;", "\xE9", "ISO-8859-1"},
        {"ISO-8859-1", "", "Stahl &#8364;5", nullptr, nullptr},
        {"ISO-8859-1", "", "&#8211;", nullptr, nullptr},
        {"windows-1252", "\x80", "&#8364;&#8211;&#233;", "\x80\x96\xE9", "windows-1252"},
        {"windows-1252", "", "&#937;", nullptr, nullptr},
        {"ISO-8859-15", "", "&#8364;5",
         "\xA4"
         "5",
         "ISO-8859-15"},
        // Multi-byte encodings.
        {"Shift_JIS", "", "&#x3042;&#26085;", "\x82\xA0\x93\xFA", "Shift_JIS"},
        {"Shift_JIS", "", "&#233;", nullptr, nullptr},
        {"EUC-JP", "", "&#x3042;", "\xA4\xA2", "EUC-JP"},
        {"GB2312", "", "&#x4E2D;", "\xD6\xD0", "GB2312"},
        {"Big5", "", "&#x4E2D;", "\xA4\xA4", "Big5"},
        {"EUC-KR", "", "&#xD55C;", "\xC7\xD1", "EUC-KR"},
        // windows-1258 writes e with circumflex and acute as a letter and a mark, which its converter
        // reads as the one character again, as it reads them written out.
        {"windows-1258", "", "&#x1EBF;", "\xEA\xEC", "windows-1258"},
        // Bytes the encoding writes for the character that read back as another (cp932's pound sign
        // is its full-width one) or as none the loader reads (GB18030's four bytes).
        {"cp932", "", "&#xA3;", nullptr, nullptr},
        {"GB18030", "", "&#x1F600;", nullptr, nullptr},
    };
    for (const Case& c : aCases)
    {
        const std::string sText = Declaration(c.pDeclared) + "<r b=\"" + c.pOther + "\" a=\"" +
                                  c.pReferences + "\">" + c.pReferences + "</r>";
        EXPECT_EQ(LoadLikeLibxml2(sText, c.pTreeEncoding), c.pLoaded != nullptr ? c.pLoaded : "refused")
            << sText;
    }
}

TEST_F(KU_XmlUtilitiesEncodingTest, ReferencesInCdataCommentsAndInstructionsStayAsWritten)
{
    // A reference is a character only in text and attribute values; ASCII's load as before.
    const auto document = Load("<r a=\"&#65;&#233;&#x3A;\" b='&amp;&#38;'>&#233;<![CDATA[&#233;]]>"
                               "<!--&#233;--><?pi &#233;?>&#65;&#x3A;&lt;<e c='&#x1F600;'/></r>");
    ASSERT_NE(document, nullptr);
    const TiXmlElement* pRoot = document->RootElement();
    EXPECT_STREQ(pRoot->Attribute("a"), "A\xC3\xA9:");
    EXPECT_STREQ(pRoot->Attribute("b"), "&&");
    const TiXmlNode* pNode = pRoot->FirstChild();
    ASSERT_NE(pNode->ToText(), nullptr);
    EXPECT_EQ(pNode->ValueStr(), "\xC3\xA9");
    pNode = pNode->NextSibling();
    ASSERT_NE(pNode->ToText(), nullptr);
    EXPECT_TRUE(pNode->ToText()->CDATA());
    EXPECT_EQ(pNode->ValueStr(), "&#233;");
    pNode = pNode->NextSibling();
    ASSERT_NE(pNode->ToComment(), nullptr);
    EXPECT_EQ(pNode->ValueStr(), "&#233;");
    pNode = pNode->NextSibling();
    ASSERT_NE(pNode->ToUnknown(), nullptr);
    EXPECT_EQ(pNode->ValueStr(), "?pi &#233;?");
    pNode = pNode->NextSibling();
    ASSERT_NE(pNode->ToText(), nullptr);
    EXPECT_EQ(pNode->ValueStr(), "A:<");
    EXPECT_STREQ(pRoot->FirstChildElement("e")->Attribute("c"), "\xF0\x9F\x98\x80");
    // The same in an encoding read a byte a character, where a reference's character and the bytes
    // around it keep their places.
    const auto latin1 = Load("<?xml version='1.0' encoding='ISO-8859-1'?>\n"
                             "<r a='x&#233;y&#xE9;z'>\xE9&#233;<![CDATA[&#233;\xE9]]>&#233;&#65;</r>");
    ASSERT_NE(latin1, nullptr);
    EXPECT_STREQ(latin1->RootElement()->Attribute("a"), "x\xE9y\xE9z");
    EXPECT_EQ(latin1->RootElement()->FirstChild()->ValueStr(), "\xE9\xE9");
    EXPECT_EQ(latin1->RootElement()->FirstChild()->NextSibling()->ValueStr(), "&#233;\xE9");
    EXPECT_EQ(latin1->RootElement()->LastChild()->ValueStr(), "\xE9"
                                                              "A");
}

TEST_F(KU_XmlUtilitiesEncodingTest, EncodingNamesLoadWhereLibxml2ReadsThem)
{
    // Python's codec names, which ElementTree writes as given, and common aliases: names that only
    // ICU's alias table knows. Each document holds the letters as the encoding writes them and a
    // reference to one of them.
    struct Named
    {
        const char* pName;
        const char* pLetters; // in UTF-8
        const char* pReference;
        const char* pReferenced; // in UTF-8
    };
    const Named aNames[] = {{"x-sjis", "日本語", "&#x3042;", "あ"},
                            {"windows-932", "日本語", "&#x3042;", "あ"},
                            {"csBig5", "中文字", "&#x4E2D;", "中"},
                            {"big5_hkscs", "中文", "&#x4E2D;", "中"},
                            {"KS_C_5601-1987", "한국어", "&#xD55C;", "한"},
                            {"ms949", "한국어", "&#xD55C;", "한"},
                            {"euc_cn", "中文", "&#x4E2D;", "中"},
                            {"koi8_r", "Жизнь", "&#x416;", "Ж"},
                            {"mac_cyrillic", "Жизнь", "&#x416;", "Ж"},
                            {"mac_roman", "Café", "&#233;", "é"},
                            {"mac-roman", "Café", "&#233;", "é"},

                            {"tis_620", "ภาษา", "&#xE20;", "ภ"},
                            {"iso8859_11", "ภาษา", "&#xE20;", "ภ"},
                            {"UTF_8", "Café", "&#x1F600;", "😀"},
                            {"a_scii", "Cafe", "&#233;", "é"}};
    for (const Named& named : aNames)
    {
        ASSERT_TRUE(Libxml2ReadsName(named.pName)) << named.pName;
        const bool bUtf8 = std::strcmp(named.pName, "UTF_8") == 0 || std::strcmp(named.pName, "a_scii") == 0;
        const std::string sLetters = ConvertAsLibxml2(named.pLetters, named.pName, false);
        ASSERT_FALSE(sLetters.empty()) << named.pName;
        const std::string sValue = sLetters + " " + named.pReference;
        const std::string sLoaded =
            LoadLikeLibxml2(Declaration(named.pName) + "<r a=\"" + sValue + "\">" + sValue + "</r>",
                            bUtf8 ? "UTF-8" : named.pName);
        EXPECT_EQ(ConvertAsLibxml2(sLoaded, bUtf8 ? "UTF-8" : named.pName, true),
                  std::string(named.pLetters) + " " + named.pReferenced)
            << named.pName;
    }
    // Names libxml2 does not read stay refused.
    for (const char* pName :
         {"latin-7", "latin_10", "iso8859_16", "koi8_x", "mac_romanx", "x-no-such", "utf-9"})
    {
        EXPECT_FALSE(Libxml2ReadsName(pName)) << pName;
        EXPECT_EQ(Load(Declaration(pName) + "<r a='1'>x</r>"), nullptr) << pName;
    }
    // Refused on purpose though libxml2 reads them: encodings that keep a state across characters
    // or do not read ASCII's bytes as ASCII (UTF-16, EBCDIC), ones that read a byte of markup as
    // another character ('%' in cp864, '[' and ']' in ISO646-DE), and HP Roman-8, which ICU reads
    // with a second '-' (0xF6), which would end a comment where the parser, reading bytes, reads on.
    for (const char* pName : {"hz", "utf_7", "scsu", "bocu-1", "ISO-2022-KR", "utf_16", "utf_32_le", "ibm-37",
                              "cp864", "ISO646-DE", "hp_roman8"})
    {
        EXPECT_TRUE(Libxml2ReadsName(pName)) << pName;
        EXPECT_EQ(Load(Declaration(pName) + "<r a='1'>x</r>"), nullptr) << pName;
    }
}

TEST_F(KU_XmlUtilitiesEncodingTest, EncodingsWhoseDifferencesFromAsciiTouchNoMarkupLoad)
{
    // ISO646-CN reads '$' as a yen sign and '~' as an overline, CSN_369103 '$' as a currency sign:
    // neither is markup.
    struct Named
    {
        const char* pName;
        const char* pReference; // of the character '$' is
    };
    for (const Named& named :
         {Named{"ISO646-CN", "&#xA5;"}, Named{"ISO-IR-57", "&#165;"}, Named{"CN", "&#xA5;"},
          Named{"CSN_369103", "&#xA4;"}, Named{"ISO-IR-139", "&#164;"}})
    {
        ASSERT_TRUE(Libxml2ReadsName(named.pName)) << named.pName;
        const std::string sValue = std::string("$5 ~ ") + named.pReference;
        EXPECT_EQ(LoadLikeLibxml2(Declaration(named.pName) + "<r a='" + sValue + "'>" + sValue + "</r>",
                                  named.pName),
                  "$5 ~ $")
            << named.pName;
    }
}

TEST(KU_XmlUtilitiesEncodingThreads, NamesOnlyIcuKnowsLoadOnSeveralThreadsAtOnce)
{
    // ICU's converters are opened, read and closed one thread at a time.
    struct Named
    {
        const char* pName;
        const char* pReference;
        const char* pLoaded; // the character as the encoding writes it
    };
    const Named aNames[] = {
        {"x-sjis", "&#x3042;", "\x82\xA0"},     {"ms949", "&#xD55C;", "\xC7\xD1"},
        {"koi8_r", "&#x416;", "\xF6"},          {"mac_roman", "&#233;", "\x8E"},
        {"big5_hkscs", "&#x4E2D;", "\xA4\xA4"}, {"utf_8", "&#x1F600;", "\xF0\x9F\x98\x80"}};
    // Each thread loads every document three times through a file manager of its own and counts
    // those loaded with the character as the encoding writes it.
    const auto loadEach = [&aNames]()
    {
        Loader loader;
        int iLoaded = 0;
        for (int i = 0; i < 3; ++i)
            for (const Named& named : aNames)
            {
                const auto document =
                    loader.Load(Declaration(named.pName) + "<r a='x" + named.pReference + "'>&#65;</r>");
                iLoaded += document != nullptr &&
                           document->RootElement()->Attribute("a") == std::string("x") + named.pLoaded;
            }
        return iLoaded;
    };
    std::vector<std::future<int>> loads;
    for (int i = 0; i < 4; ++i)
        loads.push_back(std::async(std::launch::async, loadEach));
    for (std::future<int>& load : loads)
        EXPECT_EQ(load.get(), 3 * static_cast<int>(std::size(aNames)));
}
