#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

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
    // UTF-8 holding U+FEFF inside text, an attribute and between elements.
    document = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xEF\xBB\xBF<r a=\"x\xEF\xBB\xBF\">"
                    "x\xEF\xBB\xBFy<b/></r>");
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->RootElement()->GetText(), "x\xEF\xBB\xBFy");
    EXPECT_NE(document->RootElement()->FirstChildElement("b"), nullptr);
    // A lead byte that takes the '<' of an end tag with it still nests as the parser nests it.
    EXPECT_NE(Load("<?xml version=\"1.0\"?>" + Nested("<a>\xE0</a>", "</a>", 50)), nullptr);
    EXPECT_EQ(Load("<?xml version=\"1.0\"?>" +
                   Nested("<a>\xE0</a>", "</a>", KU_XmlUtilities::MAX_ELEMENT_DEPTH + 1)),
              nullptr);
    // The same bytes in Latin-1 are closed where they stand.
    EXPECT_NE(
        Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>" + Nested("<a>\xE0</a>", "", 1000) + "</r>"),
        nullptr);
}
