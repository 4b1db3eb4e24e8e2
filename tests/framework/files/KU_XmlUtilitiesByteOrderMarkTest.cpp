// U+FEFF is a byte-order mark only as the first bytes of a document; anywhere else it is a
// character of the text, kept as libxml2 keeps it.

#include "tests/framework/files/XmlTestSupport.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

using namespace xml_test;

namespace
{

class KU_XmlUtilitiesByteOrderMarkTest : public KU_XmlUtilitiesTest
{
protected:
    // Checks that libxml2 reads sText and the loader loads it with libxml2's content.
    void ExpectLoadedAsLibxml2ReadsIt(const std::string& sText)
    {
        const Outcome outcome = Judge(sText, m_oReadings.Of(sText));
        ASSERT_EQ(outcome.reference, Verdict::Accepted) << Printable(sText);
        EXPECT_TRUE(outcome.bLoaded) << Printable(sText);
        EXPECT_EQ(outcome.sLoaded, outcome.sExpected) << Printable(sText);
    }

    // The text of the root element as sText loads; "(refused)" or "(no text)" where there is none.
    std::string RootText(const std::string& sText)
    {
        const auto document = Load(sText);
        if (document == nullptr)
            return "(refused)";
        const char* pText = document->RootElement()->GetText();
        return pText != nullptr ? pText : "(no text)";
    }

    EncodingReadings m_oReadings;
};

} // namespace

TEST_F(KU_XmlUtilitiesByteOrderMarkTest, AtTheStartOfARunOfTextItLoadsAsLibxml2KeepsIt)
{
    // In texts the parser reads as UTF-8, after a start tag, an end tag, a comment, an instruction or
    // a CDATA section, and after the white space that begins a run of text; as the character and
    // by reference.
    const char* const apPrologs[] = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                     "<?xml version='1.0' encoding='utf8'?>\n", "<?xml version=\"1.0\"?>",
                                     "\xEF\xBB\xBF",
                                     "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"};
    const char* const apPlaces[] = {"<t>@</t>",
                                    "<t>@a</t>",
                                    "<t><b>1</b>@</t>",
                                    "<t><b/>@ b</t>",
                                    "<t><!--c-->@</t>",
                                    "<t><?p d?>@x</t>",
                                    "<t><![CDATA[c]]>@</t>",
                                    "<t> @a</t>",
                                    "<t a='@'>\n\t@ <b>@@</b> @</t>"};
    for (const char* pProlog : apPrologs)
        for (const char* pPlace : apPlaces)
            for (const char* pFeff : {FEFF, "&#xFEFF;", "&#65279;", "&#x0feff;"})
                ExpectLoadedAsLibxml2ReadsIt(pProlog + Placed(pPlace, pFeff));
    // A text node of U+FEFF alone, and one after white space.
    EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>&#xFEFF;</t>"), FEFF);
    EXPECT_EQ(RootText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><t> &#xFEFF;a</t>"),
              std::string(FEFF) + "a");
}

TEST_F(KU_XmlUtilitiesByteOrderMarkTest, ItsBytesInTextsNotReadAsUtf8LoadAsWritten)
{
    // In ISO-8859-1 (without a declaration, or declared) and windows-1252, EF BB BF are "ï»¿" and
    // ED BB BF "í»¿": text as any other, beside the markup the loader hands the parser otherwise.
    // (Each text without a declaration holds "é" as ISO-8859-1 writes it, which no UTF-8 text holds.)
    for (const char* pText :
         {"<t>\xEF\xBB\xBF<?p a>b?>\xED\xBB\xBF caf\xE9</t>",
          "<t a='\xED\xBB\xBF'>\xED\xBB\xBF<b/>\xEF\xBB\xBF\xE9</t>",
          "<?xml version='1.0' encoding='ISO-8859-1'?><t>\xED\xBB\xBF<!--c-->\xEF\xBB\xBF</t>",
          "<?xml version='1.0' encoding='windows-1252'?><t>\xED\xBB\xBF<?p a>b?> \xEF\xBB\xBF</t>"})
    {
        ExpectLoadedAsLibxml2ReadsIt(pText);
    }
}
