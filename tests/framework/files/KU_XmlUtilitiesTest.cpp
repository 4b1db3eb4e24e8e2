#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + sScene + "<![CDATA[ ]]>"})
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

TEST_F(KU_XmlUtilitiesTest, ElementsHoldingMoreAttributesThanTheLimitAreRefused)
{
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    auto document = Load("<r>" + WithAttributes("a", iLimit) + "</r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(MostAttributes(document.get()), iLimit);
    EXPECT_EQ(Load("<r>" + WithAttributes("a", iLimit + 1) + "</r>"), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", iLimit + 1)), nullptr);
    // 256 bounds what one document costs the parser; the engine's files hold at most 15.
    EXPECT_NE(Load(WithAttributes("r", 256)), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", 257)), nullptr);
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
    // What only looks like attributes does not count: text, comments, CDATA, declarations,
    // unknown markup and attribute values.
    std::string sLookAlikes = WithAttributes("r", iLimit);
    sLookAlikes.replace(sLookAlikes.size() - 2, 2, " z='b=\"1\" c=\"2\"'>");
    for (const char* pLookAlike :
         {"x=\"1\"", "<!-- x=\"1\" -->", "<![CDATA[ x=\"1\" ]]>", "<?xml x=\"1\"?>", "<!DOCTYPE x=\"1\">"})
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
    // the limit is refused, and a document it reads whole within the limits loads.
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    std::uint32_t uiState = 66;
    const auto next = [&uiState](std::uint32_t uiRange)
    {
        uiState = uiState * 1664525u + 1013904223u;
        return (uiState >> 8) % uiRange;
    };
    const char* const apValues[] = {"\"v\"",  "'v'",       "v",       "\"a'b\"",
                                    "'a\"b'", "\">/>\"",   "'<!--'",  "\"&amp;&#x3c;\"",
                                    "\"\"",   "'x=\"1\"'", "\"]]>\"", "&lt;"};
    const char* const apSpaces[] = {" ", "\t", "\n", "\r\n", "  "};
    const char* const apBetween[] = {"",
                                     "text a=\"1\"",
                                     "<!-- b=\"1\" c='2' -->",
                                     "<![CDATA[ <e f=\"1\"> ]]>",
                                     "<?pi g=\"1\"?>",
                                     "<!DOCTYPE h i=\"1\">",
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
        EXPECT_TRUE(bMore || parsed.Error() || bLoaded) << sText;
        ++aiOutcomes[bLoaded][bMore];
    }
    // The documents reach both sides of the limit.
    EXPECT_GT(aiOutcomes[1][0], 20);
    EXPECT_GT(aiOutcomes[0][1], 20);
}
