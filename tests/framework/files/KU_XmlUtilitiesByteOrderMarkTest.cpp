// U+FEFF is a byte-order mark only as the first bytes of a document; anywhere else it is a
// character of the text, kept as libxml2 keeps it.

#include "tests/framework/files/XmlTestSupport.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

using namespace xml_test;

namespace
{

// U+FEFF in UTF-8.
constexpr char FEFF[] = "\xEF\xBB\xBF";

class KU_XmlUtilitiesByteOrderMarkTest : public KU_XmlUtilitiesTest
{
};

// sPattern with each '@' replaced by sWith.
std::string Placed(std::string sPattern, const std::string& sWith)
{
    for (std::size_t uiAt = sPattern.find('@'); uiAt != std::string::npos; uiAt = sPattern.find('@', uiAt))
    {
        sPattern.replace(uiAt, 1, sWith);
        uiAt += sWith.size();
    }
    return sPattern;
}

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
    EncodingReadings readings;
    for (const char* pProlog : apPrologs)
        for (const char* pPlace : apPlaces)
            for (const char* pFeff : {FEFF, "&#xFEFF;", "&#65279;", "&#x0feff;"})
            {
                const std::string sText = pProlog + Placed(pPlace, pFeff);
                const Outcome outcome = Judge(sText, readings.Of(sText));
                ASSERT_EQ(outcome.reference, Verdict::Accepted) << Printable(sText);
                EXPECT_TRUE(outcome.bLoaded) << Printable(sText);
                EXPECT_EQ(outcome.sLoaded, outcome.sExpected) << Printable(sText);
            }
    // A text node of U+FEFF alone, and one after white space.
    auto document = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>&#xFEFF;</t>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->RootElement()->ValueStr() + "{" +
                  (document->RootElement()->GetText() != nullptr ? document->RootElement()->GetText() : "") +
                  "}",
              std::string("t{") + FEFF + "}");
    document = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><t> &#xFEFF;a</t>");
    ASSERT_NE(document, nullptr);
    ASSERT_NE(document->RootElement()->GetText(), nullptr);
    EXPECT_EQ(document->RootElement()->GetText(), std::string(FEFF) + "a");
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
        EncodingReadings readings;
        const Outcome outcome = Judge(pText, readings.Of(pText));
        ASSERT_EQ(outcome.reference, Verdict::Accepted) << Printable(pText);
        EXPECT_TRUE(outcome.bLoaded) << Printable(pText);
        EXPECT_EQ(outcome.sLoaded, outcome.sExpected) << Printable(pText);
    }
}
