#include "platform/forms/FormsCulture.h"
#include "platform/forms/FormsSystem.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

using namespace forms;

namespace
{
const CultureInfo EN_US("en-US");
const CultureInfo DE_DE("de-DE");
} // namespace

TEST_F(FormsTest, FloatParsingFollowsTheFloatStyle)
{
    struct Case
    {
        const char* pText;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"1.5", true, 1.5},      {"  -2.25\t\n", true, -2.25},
        {"+3", true, 3.0},       {".5", true, 0.5},
        {"5.", true, 5.0},       {"1e3", true, 1000.0},
        {"1.5E-2", true, 0.015}, {"-0", true, -0.0},
        {"1e-400", true, 0.0},   {"", false, 0},
        {" ", false, 0},         {".", false, 0},
        {"-", false, 0},         {"1e", false, 0},
        {"1e+", false, 0},       {"1,000", false, 0},
        {"1.5x", false, 0},      {"1 5", false, 0},
        {"--1", false, 0},       {"1e400", false, 0},
        {"NaN", false, 0},       {"Infinity", false, 0},
        {"0x10", false, 0},      {"1.5.", false, 0},
    };
    for (const Case& c : cases)
    {
        double value = 99;
        EXPECT_EQ(Double::TryParse(c.pText, NumberStyles::Float, EN_US, &value), c.ok)
            << '"' << c.pText << '"';
        if (c.ok)
            EXPECT_EQ(value, c.value) << c.pText;
        else
            EXPECT_EQ(value, 99) << "a failed parse leaves the result alone: " << c.pText;
    }
    double negativeZero = 1;
    ASSERT_TRUE(Double::TryParse("-0", NumberStyles::Float, EN_US, &negativeZero));
    EXPECT_TRUE(std::signbit(negativeZero));

    float single = 0;
    EXPECT_TRUE(Single::TryParse("3.4028234e38", NumberStyles::Float, EN_US, &single));
    EXPECT_EQ(single, FLT_MAX);
    EXPECT_FALSE(Single::TryParse("3.5e38", NumberStyles::Float, EN_US, &single)) << "overflows a float";
    EXPECT_TRUE(Single::TryParse("0.1", NumberStyles::Float, EN_US, &single));
    EXPECT_EQ(single, 0.1f) << "rounded once, straight to float";

    EXPECT_TRUE(Single::TryParse("1,5", NumberStyles::Float, DE_DE, &single));
    EXPECT_EQ(single, 1.5f);
    EXPECT_FALSE(Single::TryParse("1.5", NumberStyles::Float, DE_DE, &single));
    EXPECT_FALSE(Single::TryParse(" 1", NumberStyles::None, EN_US, &single));
    EXPECT_FALSE(Single::TryParse("-1", NumberStyles::AllowDecimalPoint, EN_US, &single));
}

TEST_F(FormsTest, FixedFormatRoundsHalfAwayFromZeroWithoutNegativeZero)
{
    EXPECT_EQ(Single::ToString(1.0f, "f3", EN_US), "1.000");
    EXPECT_EQ(Double::ToString(0.0625, "f3", EN_US), "0.063") << "an exact half rounds away from zero";
    EXPECT_EQ(Double::ToString(-0.0625, "F3", EN_US), "-0.063");
    EXPECT_EQ(Double::ToString(0.0005, "f3", EN_US), "0.001");
    EXPECT_EQ(Double::ToString(-0.0004, "f3", EN_US), "0.000") << "no \"-0.000\"";
    EXPECT_EQ(Double::ToString(-0.0, "f3", EN_US), "0.000");
    EXPECT_EQ(Double::ToString(9.9996, "f3", EN_US), "10.000");
    EXPECT_EQ(Double::ToString(1234567.891, "f2", EN_US), "1234567.89") << "no group separators";
    EXPECT_EQ(Double::ToString(2.5, "F0", EN_US), "3");
    EXPECT_EQ(Double::ToString(1.5, "F", EN_US), "1.50");
    EXPECT_EQ(Single::ToString(0.1f, "f3", DE_DE), "0,100");
    EXPECT_EQ(Double::ToString(1e20, "f1", EN_US), "100000000000000000000.0");
}

TEST_F(FormsTest, GeneralFormatUsesSevenOrFifteenDigitsAndDotNetExponents)
{
    EXPECT_EQ(Single::ToString(0.1f), "0.1") << "7 significant digits hide the float's error";
    EXPECT_EQ(Double::ToString(double(0.1f)), "0.100000001490116");
    EXPECT_EQ(Single::ToString(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(Single::ToString(1.5e-5f), "1.5E-05");
    EXPECT_EQ(Single::ToString(0.0001f), "0.0001");
    EXPECT_EQ(Single::ToString(1234567.0f), "1234567");
    EXPECT_EQ(Single::ToString(12345678.0f), "1.234568E+07");
    EXPECT_EQ(Single::ToString(-250.0f), "-250");
    EXPECT_EQ(Single::ToString(0.0f), "0");
    EXPECT_EQ(Single::ToString(-0.0f), "0");
    EXPECT_EQ(Double::ToString(1e15), "1E+15");
    EXPECT_EQ(Double::ToString(123456789012345.0), "123456789012345");
    EXPECT_EQ(Double::ToString(9.9999999999999999e14), "1E+15") << "rounding carries into the exponent";
    EXPECT_EQ(Double::ToString(1e-300, "G3", EN_US), "1E-300");
    EXPECT_EQ(Double::ToString(std::numeric_limits<double>::denorm_min(), "G", EN_US),
              "4.94065645841247E-324");
    EXPECT_EQ(Double::ToString(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(Single::ToString(-std::numeric_limits<float>::infinity()), "-Infinity");
    EXPECT_EQ(Single::ToString(2.5f, "G", DE_DE), "2,5");
    EXPECT_EQ(Int32::ToString(-42), "-42");
}

TEST_F(FormsTest, CurrentCultureIsSettableAndEnUsByDefault)
{
    EXPECT_EQ(CultureInfo::CurrentCulture().GetName(), "en-US");
    FormsControl::SetCurrentCulture("de-DE");
    EXPECT_EQ(CultureInfo::CurrentCulture().GetDecimalSeparator(), ",");
    EXPECT_EQ(Single::ToString(0.5f), "0,5");
    FormsControl::Reset();
    EXPECT_EQ(Single::ToString(0.5f), "0.5");
}

TEST_F(FormsTest, ScreenAndShellComeFromTheStandIns)
{
    EXPECT_EQ(Screen::PrimaryScreenBounds(), (Rectangle{0, 0, 1920, 1080}));
    FormsControl::SetPrimaryScreenSize(1280, 720);
    EXPECT_EQ(Screen::PrimaryScreenBounds(), (Rectangle{0, 0, 1280, 720}));

    EXPECT_TRUE(Process::Start("C:/Demo/Assets/Curves/Camera.int"));
    FormsControl::SetShellHook([](const std::string&) { return false; });
    EXPECT_FALSE(Process::Start("/missing"));
    EXPECT_EQ(FormsControl::GetShellLog(),
              (std::vector<std::string>{"C:/Demo/Assets/Curves/Camera.int", "/missing"}));
}
