#include "tools/KG_EditorParsing.h"

#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"

#include <gtest/gtest.h>

using K_GUI::KG_EditorParsing;

namespace
{

class KG_EditorParsingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
    }
    void TearDown() override
    {
        FormsControl::Reset();
        Win32Control::Reset();
    }
    static std::string LastBoxText()
    {
        const auto boxes = FormsControl::GetMessageBoxes();
        return boxes.empty() ? std::string() : boxes.back().text;
    }
};

TEST_F(KG_EditorParsingTest, VectorsParseTrimmedSingleSpacedFiniteNumbers)
{
    float x = 9, y = 9, z = 9;
    EXPECT_TRUE(KG_EditorParsing::ParseVector("  1.5 -2 3e2 ", "Camera Pos Start", &x, &y, &z));
    EXPECT_FLOAT_EQ(x, 1.5f);
    EXPECT_FLOAT_EQ(y, -2.0f);
    EXPECT_FLOAT_EQ(z, 300.0f);
    EXPECT_TRUE(FormsControl::GetMessageBoxes().empty());

    FormsControl::ExpectMessageBox(KG_EditorParsing::INVALID_DATA_CAPTION, forms::DialogResult::OK);
    EXPECT_FALSE(KG_EditorParsing::ParseVector("1  2 3", "Camera Pos End", &x, &y, &z));
    EXPECT_EQ(LastBoxText(),
              "String for Camera Pos End does not consist of 3 float values. No Camera created.");
    EXPECT_FLOAT_EQ(x, 1.5f); // untouched on failure

    // Text that .NET would read as a non-finite number never reaches a file.
    for (const char* pText : {"NaN 1 2", "1 Infinity 2", "1 2 1e999", "1,5 2 3"})
    {
        FormsControl::ExpectMessageBox(KG_EditorParsing::INVALID_DATA_CAPTION, forms::DialogResult::OK);
        EXPECT_FALSE(KG_EditorParsing::ParseVector(pText, "Target Pos Start", &x, &y, &z)) << pText;
        EXPECT_EQ(
            LastBoxText(),
            "Could not convert one of the values for Target Pos Start to a float value. No Camera created.");
    }
    const auto boxes = FormsControl::GetMessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().buttons, forms::MessageBoxButtons::OK);
    EXPECT_EQ(boxes.back().icon, forms::MessageBoxIcon::Warning);

    float a = 0, b = 0;
    EXPECT_TRUE(KG_EditorParsing::ParseVector2("0.001 4", "lightShadowBiasTextBox", &a, &b));
    EXPECT_FLOAT_EQ(a, 0.001f);
    FormsControl::ExpectMessageBox(KG_EditorParsing::INVALID_DATA_CAPTION, forms::DialogResult::OK);
    EXPECT_FALSE(KG_EditorParsing::ParseVector2("1 2 3", "lightShadowBiasTextBox", &a, &b));
    EXPECT_EQ(LastBoxText(), "String for lightShadowBiasTextBox does not consist of 2 float values");

    // The quiet form shows nothing (boxes parsed on every keystroke).
    const std::size_t uiBoxes = FormsControl::GetMessageBoxes().size();
    float afOut[3] = {0, 0, 0};
    EXPECT_FALSE(KG_EditorParsing::TryParseFloats("1 2", 3, afOut));
    EXPECT_TRUE(KG_EditorParsing::TryParseFloats("4 5 6", 3, afOut));
    EXPECT_FLOAT_EQ(afOut[2], 6.0f);
    EXPECT_EQ(FormsControl::GetMessageBoxes().size(), uiBoxes);
    EXPECT_EQ(KG_EditorParsing::FormatVector(1.5f, -2.0f, 0.0f), "1.5 -2 0");
}

TEST_F(KG_EditorParsingTest, NumbersFollowTheGivenCulture)
{
    double f = 0.0;
    EXPECT_TRUE(KG_EditorParsing::TryParseDouble("1,5", forms::CultureInfo("de-DE"), &f));
    EXPECT_DOUBLE_EQ(f, 1.5);
    EXPECT_FALSE(KG_EditorParsing::TryParseDouble("1,5", forms::CultureInfo("en-US"), &f));
    EXPECT_DOUBLE_EQ(f, 1.5);
    float g = 0.0f;
    EXPECT_FALSE(KG_EditorParsing::TryParseFloat("1e39", forms::CultureInfo("en-US"), &g));
    EXPECT_FALSE(KG_EditorParsing::TryParseFloat("NaN", forms::CultureInfo("en-US"), &g));
}

} // namespace
