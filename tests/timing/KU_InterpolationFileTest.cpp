#include "timing/KU_InterpolationFile.h"

#include "framework/files/KF_FileManager.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/SaveFailureLines.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <string>

using namespace DirectX;
using curvetest::Lanes;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

const char* const PATH = "Assets/Entities/Scene1/rail.int";

// The engine with a file manager over one writable memory repository and a curve registry.
class KU_InterpolationFileTest : public ::testing::Test
{
protected:
    KU_InterpolationFileTest()
    {
        m_files.Install();
        m_engine->SetInterpolationManager(&m_registry);
    }

    std::unique_ptr<KU_VertexInterpolation> LoadVertex(const std::string& sText)
    {
        m_pRepository->SetFile(PATH, sText);
        return std::unique_ptr<KU_VertexInterpolation>(KU_VertexInterpolation::LoadVertexInterpolation(PATH));
    }

    // The saved text after the header (the first line not starting with '#').
    std::string SavedBody(const std::string& sPath = PATH)
    {
        const std::string sText = m_pRepository->GetFileContents(sPath);
        std::string::size_type uiPos = 0;
        while (uiPos < sText.size() && sText[uiPos] == '#')
            uiPos = sText.find('\n', uiPos) + 1;
        return sText.substr(uiPos);
    }

    TestEngine m_engine;
    MemoryFiles m_files;
    KU_InterpolationManager m_registry;
    MemoryRepository* m_pRepository = m_files.GetRepository();
};

} // namespace

TEST_F(KU_InterpolationFileTest, TypeOnlyFileGivesEmptyRegisteredCurve)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve = LoadVertex("n LinearInterpolation\n");
    ASSERT_NE(dynamic_cast<KB_LinearInterpolation*>(pCurve.get()), nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 0u);
    EXPECT_EQ(pCurve->GetNumTimeStamps(), 0u);
    EXPECT_EQ(pCurve->GetStartTime(), 0.0);
    EXPECT_EQ(pCurve->GetEndTime(), 0.0);
    EXPECT_TRUE(pCurve->HasChanged(false));
    EXPECT_FALSE(pCurve->IsDerivedDataValid());
    EXPECT_EQ(pCurve->GetTypeName(), KB_String("LinearInterpolation"));
    EXPECT_EQ(pCurve->GetFilePath(), KB_String(PATH));
    ASSERT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 1u);
    EXPECT_EQ(m_registry.GetAllVertexInterpolations()[0].second, pCurve.get());
    // The repository's copy is released once the text is parsed.
    EXPECT_EQ(m_pRepository->GetReferenceCount(PATH), 0u);
}

TEST_F(KU_InterpolationFileTest, ReadsEveryKeyOfAVertexFile)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve = LoadVertex("# a comment v 9 9 9\n"
                                                                "d  Rail of the bridge\r\n"
                                                                "n TrigonometryInterpolation\n"
                                                                "a 2\n"
                                                                "s 1.5\n"
                                                                "e 12\n"
                                                                "v 1 2 3 4\n"
                                                                "vv 7 7 7\n"
                                                                "v -1.5e1 .5 6.\n"
                                                                "t 0\n"
                                                                "t 2.25\n");
    KB_TrigonometryInterpolation* pEased = dynamic_cast<KB_TrigonometryInterpolation*>(pCurve.get());
    ASSERT_NE(pEased, nullptr);
    EXPECT_EQ(pEased->GetMode(), 2u);
    // One blank after "d" is skipped, the second stays, and so does the carriage return.
    EXPECT_EQ(pCurve->GetDebugName(), KB_String(" Rail of the bridge\r"));
    EXPECT_EQ(pCurve->GetStartTime(), 1.5);
    EXPECT_EQ(pCurve->GetEndTime(), 12.0);
    ASSERT_EQ(pCurve->GetNumVertices(), 2u);
    EXPECT_TRUE(VectorEq(pCurve->GetVertex(0), Vec(1, 2, 3, 0))); // the 4 goes with the rest of the line
    EXPECT_TRUE(VectorEq(pCurve->GetVertex(1), Vec(-15.0f, 0.5f, 6.0f, 0)));
    ASSERT_EQ(pCurve->GetNumTimeStamps(), 2u);
    EXPECT_EQ(pCurve->GetTimeStamp(1), 2.25);
}

TEST_F(KU_InterpolationFileTest, ModeLineOfOtherKindsIsReadAndIgnored)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n CubicBSplineInterpolation\na 1\nv 1 1 1\nt 0\n");
    ASSERT_NE(dynamic_cast<KB_CubicBSplineInterpolation*>(pCurve.get()), nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 1u);

    pCurve = LoadVertex("n ConstantValueInterpolation\n");
    EXPECT_NE(dynamic_cast<KU_ConstantValueInterpolation*>(pCurve.get()), nullptr);
}

TEST_F(KU_InterpolationFileTest, MissingFileOrUnknownTypeGivesNull)
{
    EXPECT_EQ(KU_VertexInterpolation::LoadVertexInterpolation("Assets/none.int"), nullptr);
    EXPECT_EQ(LoadVertex("n linearinterpolation\nv 1 2 3\nt 0\n"), nullptr); // case-sensitive
    EXPECT_EQ(LoadVertex("v 1 2 3\nt 0\n"), nullptr);
    // Each loader takes only its own kinds.
    EXPECT_EQ(LoadVertex("n RotationInterpolation\n"), nullptr);
    m_pRepository->SetFile(PATH, "n LinearInterpolation\n");
    EXPECT_EQ(KU_QuaternionInterpolation::LoadQuaternionInterpolation(PATH), nullptr);
    EXPECT_EQ(KU_MatrixInterpolation::LoadMatrixInterpolation(PATH), nullptr);
    EXPECT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 0u);
}

TEST_F(KU_InterpolationFileTest, NonNumberEndsTheParseKeepingEarlierKeys)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n LinearInterpolation\ns 2\nv 1 2 3\nt 0\nv 4 x 6\nt 1\ne 9\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 1u);
    EXPECT_EQ(pCurve->GetNumTimeStamps(), 1u);
    EXPECT_EQ(pCurve->GetStartTime(), 2.0);
    EXPECT_EQ(pCurve->GetEndTime(), 0.0);

    // An integer out of range is not a number.
    pCurve = LoadVertex("n TrigonometryInterpolation\na -1\nv 1 2 3\nt 0\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 0u);
}

TEST_F(KU_InterpolationFileTest, UnequalStampAndValueCountsAreCutToTheShorter)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n LinearInterpolation\nv 1 0 0\nv 2 0 0\nv 3 0 0\nt 0\nt 1\n");
    EXPECT_EQ(pCurve->GetNumVertices(), 2u);
    EXPECT_EQ(pCurve->GetNumTimeStamps(), 2u);
    pCurve = LoadVertex("n LinearInterpolation\nv 1 0 0\nt 0\nt 1\nt 2\n");
    EXPECT_EQ(pCurve->GetNumVertices(), 1u);
    EXPECT_EQ(pCurve->GetNumTimeStamps(), 1u);
}

TEST_F(KU_InterpolationFileTest, LongLinesAndWordsStayBounded)
{
    // A debug name of 600 characters is cut to 511; the keys after it are still read.
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("d " + std::string(600, 'x') + "\nn LinearInterpolation\nv 1 2 3\nt 0\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetDebugName().GetLength(), 511u);
    EXPECT_EQ(pCurve->GetNumVertices(), 1u);

    // The rest of a long line after a key is skipped to its real end, not read as keys.
    pCurve =
        LoadVertex("n LinearInterpolation\ns 1" + std::string(1500, ' ') + "v 9 9 9 t 5\nv 1 2 3\nt 0\n");
    ASSERT_NE(pCurve, nullptr);
    ASSERT_EQ(pCurve->GetNumVertices(), 1u);
    EXPECT_TRUE(VectorEq(pCurve->GetVertex(0), Vec(1, 2, 3)));

    // A huge word is read in bounded pieces, none of which is a key.
    pCurve = LoadVertex(std::string(100000, 'n') + "\nn LinearInterpolation\nv 1 2 3\nt 0\n");
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 1u);

    // An over-long type name is cut to its first 511 characters, which name no kind.
    EXPECT_EQ(LoadVertex("n " + std::string(600, 'L') + "\n"), nullptr);
    EXPECT_EQ(LoadVertex("n LinearInterpolation\nn " + std::string(511, 'L') + "LinearInterpolation\n"),
              nullptr);
}

TEST_F(KU_InterpolationFileTest, TypeNameIsTheNextWordEvenOnTheNextLine)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n\n\n  LinearInterpolation extra\nv 1 2 3\nt 0\n");
    ASSERT_NE(dynamic_cast<KB_LinearInterpolation*>(pCurve.get()), nullptr);
    EXPECT_EQ(pCurve->GetNumVertices(), 1u); // the rest of the type name's line is skipped
    EXPECT_EQ(LoadVertex("v 1 2 3\nt 0\nn"), nullptr);
}

TEST_F(KU_InterpolationFileTest, QuaternionFileNormalisesAndStaysUnchanged)
{
    m_pRepository->SetFile(PATH,
                           "d view\nn RotationInterpolation\ns 0\ne 4\nq 0 0 0 2\nq 0 3 0 4\nt 0\nt 1\n");
    std::unique_ptr<KU_QuaternionInterpolation> pCurve(
        KU_QuaternionInterpolation::LoadQuaternionInterpolation(PATH));
    ASSERT_NE(dynamic_cast<KB_RotationInterpolation*>(pCurve.get()), nullptr);
    EXPECT_FALSE(pCurve->HasChanged(false));
    ASSERT_EQ(pCurve->GetNumQuaternions(), 2u);
    XMVECTOR q;
    pCurve->GetValueAt(&q, 0.0);
    EXPECT_TRUE(VectorEq(q, Vec(0, 0, 0, 1)));
    pCurve->GetValueAt(&q, 10.0);
    EXPECT_TRUE(VectorNear(q, Vec(0, 0.6f, 0, 0.8f), 1e-6f));
    // Quaternion curves are not listed in the registry.
    EXPECT_EQ(m_registry.GetAllVertexInterpolations().GetNumMembers(), 0u);

    pCurve->SetDebugName("");
    ASSERT_TRUE(pCurve->Save());
    EXPECT_NE(m_pRepository->GetFileContents(PATH).find("\n# Simple Quaternion Interpolation file\n"),
              std::string::npos);
    EXPECT_EQ(SavedBody(), "n RotationInterpolation\ns 0\ne 4\nq 0 0 0 1\nq 0 0.6 0 0.8\nt 0\nt 1\n");
}

TEST_F(KU_InterpolationFileTest, SavedVertexFileHasHeaderAndKeysInOrder)
{
    KB_TrigonometryInterpolation curve(PATH);
    curve.SetMode(1);
    curve.SetDebugName("Lamp colour");
    curve.SetStartTime(1.5);
    curve.SetEndTime(10.0);
    curve.InsertVertex(Vec(1, 2, 3, 7), 0.0);
    curve.InsertVertex(Vec(12.3456789f, -0.5f, 1e-7f), 2.5);
    ASSERT_TRUE(curve.Save());

    const std::string sText = m_pRepository->GetFileContents(PATH);
    EXPECT_NE(sText.find("# \n# Simple Vertex Interpolation file\n# \n# # == comment line\n"
                         "# d == debug name of the vertex interpolation (string)\n"
                         "# n == type name (string)\n"
                         "# s == start time stamp (double)\n"
                         "# e == end time stamp (double)\n"
                         "# v == vertex data (3 x float)\n"
                         "# t == time stamp data (double)\n# \n"),
              std::string::npos);
    EXPECT_EQ(SavedBody(), "d Lamp colour\n"
                           "n TrigonometryInterpolation\n"
                           "a 1\n"
                           "s 1.5\n"
                           "e 10\n"
                           "v 1 2 3\n"
                           "v 12.3457 -0.5 1e-07\n"
                           "t 0\n"
                           "t 2.5\n");
}

TEST_F(KU_InterpolationFileTest, SaveThenLoadKeepsKindTimesAndValuesToSixDigits)
{
    {
        KB_LinearInterpolation linear(PATH);
        linear.SetDebugName("first\nv 9 9 9"); // a line feed must not start a line of keys
        linear.SetStartTime(100.123456789);
        linear.SetEndTime(200.0);
        linear.InsertVertex(Vec(12.3456789f, 2, 3), 0.0);
        linear.InsertVertex(Vec(4, 5, 6.54321098f), 1.23456789);
        ASSERT_TRUE(linear.Save());
    }
    std::unique_ptr<KU_VertexInterpolation> pCurve(KU_VertexInterpolation::LoadVertexInterpolation(PATH));
    ASSERT_NE(dynamic_cast<KB_LinearInterpolation*>(pCurve.get()), nullptr);
    EXPECT_EQ(pCurve->GetDebugName(), KB_String("first"));
    EXPECT_NEAR(pCurve->GetStartTime(), 100.123, 1e-9);
    EXPECT_EQ(pCurve->GetEndTime(), 200.0);
    ASSERT_EQ(pCurve->GetNumVertices(), 2u);
    EXPECT_TRUE(VectorNear(pCurve->GetVertex(0), Vec(12.3457f, 2, 3), 1e-6f));
    EXPECT_TRUE(VectorNear(pCurve->GetVertex(1), Vec(4, 5, 6.54321f), 1e-6f));
    EXPECT_NEAR(pCurve->GetTimeStamp(1), 1.23457, 1e-12);

    KB_TrigonometryInterpolation eased("eased.int");
    eased.SetMode(7);
    eased.InsertVertex(Vec(1, 1, 1), 0.5);
    ASSERT_TRUE(eased.Save());
    std::unique_ptr<KU_VertexInterpolation> pEased(
        KU_VertexInterpolation::LoadVertexInterpolation("eased.int"));
    ASSERT_NE(dynamic_cast<KB_TrigonometryInterpolation*>(pEased.get()), nullptr);
    EXPECT_EQ(static_cast<KB_TrigonometryInterpolation*>(pEased.get())->GetMode(), 7u);
}

TEST_F(KU_InterpolationFileTest, NumbersAreWrittenAsAClassicStreamWritesThem)
{
    const double values[] = {0.0,  -0.0,   1.0,    0.1,  1.0 / 3.0, 123456.0, 1234567.0, 999999.5,
                             1e-5, 1.5e-4, 0.0001, 1e30, -2.5e-300, 65536.0,  100000.0,  3.14159265358979};
    KB_LinearInterpolation curve(PATH);
    std::ostringstream expected;
    expected.imbue(std::locale::classic());
    expected << "n LinearInterpolation\ns 0\ne 0\n";
    for (double f : values)
    {
        const float fValue = static_cast<float>(f);
        curve.InsertVertex(Vec(fValue, -fValue, fValue * 7.0f), 0.0);
        expected << "v " << fValue << " " << -fValue << " " << fValue * 7.0f << "\n";
    }
    for (std::size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
        expected << "t 0\n";
    curve.SetStartTime(0.0);
    ASSERT_TRUE(curve.Save());
    EXPECT_EQ(SavedBody(), expected.str());

    for (double f : values)
    {
        curve.SetStartTime(f);
        ASSERT_TRUE(curve.Save());
        std::ostringstream line;
        line.imbue(std::locale::classic());
        line << "\ns " << f << "\n";
        EXPECT_NE(SavedBody().find(line.str()), std::string::npos) << line.str();
    }
}

TEST_F(KU_InterpolationFileTest, MatrixFileCarriesTheVertexTitleAndRoundTrips)
{
    KB_LinearMatrixInterpolation curve(PATH);
    curve.SetEndTime(3.0);
    const XMMATRIX mKey(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16.5f);
    curve.InsertMatrix(mKey, 1.0);
    ASSERT_TRUE(curve.Save());
    const std::string sText = m_pRepository->GetFileContents(PATH);
    EXPECT_NE(sText.find("\n# Simple Vertex Interpolation file\n"), std::string::npos);
    EXPECT_NE(sText.find("\n# d == debug name of the matrix interpolation (string)\n"), std::string::npos);
    EXPECT_NE(sText.find("\n# m == matrix data (16 x float)\n"), std::string::npos);
    EXPECT_EQ(SavedBody(),
              "n LinearMatrixInterpolation\ns 0\ne 3\nm 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16.5\nt 1\n");

    std::unique_ptr<KU_MatrixInterpolation> pCurve(KU_MatrixInterpolation::LoadMatrixInterpolation(PATH));
    ASSERT_NE(dynamic_cast<KB_LinearMatrixInterpolation*>(pCurve.get()), nullptr);
    EXPECT_TRUE(pCurve->HasChanged(false));
    ASSERT_EQ(pCurve->GetNumMatrices(), 1u);
    for (int r = 0; r < 4; ++r)
        EXPECT_TRUE(VectorEq(pCurve->GetMatrix(0).r[r], mKey.r[r]));
}

TEST_F(KU_InterpolationFileTest, SaveGoesToTheFirstWritableRepository)
{
    KF_FileManager files;
    MemoryRepository* pReadOnly = new MemoryRepository(false);
    MemoryRepository* pWritable = new MemoryRepository(true);
    files.AddRepository(pReadOnly);
    files.AddRepository(pWritable);
    m_engine->SetFileManager(&files);
    KB_LinearInterpolation curve(PATH);
    EXPECT_TRUE(curve.Save());
    EXPECT_FALSE(pReadOnly->HasFile(PATH));
    EXPECT_TRUE(pWritable->HasFile(PATH));

    MemoryFiles readOnlyFiles(false);
    readOnlyFiles.Install();
    EXPECT_FALSE(curve.Save());
    m_engine->SetFileManager(nullptr);
    EXPECT_FALSE(curve.Save());
    EXPECT_EQ(KU_VertexInterpolation::LoadVertexInterpolation(PATH), nullptr);
    m_files.Install();
}

// A save that cannot be written keeps its false result and names the file with the reason on
// standard error: a full disk (a file-size limit stands in for it), a folder where the file
// should be, and no source that takes writes. A good save says nothing.
TEST_F(KU_InterpolationFileTest, ASaveThatCannotBeWrittenNamesTheFileWithTheReason)
{
    TestTempDir temp;
    ASSERT_TRUE(temp.IsValid());
    KF_FileManager files;
    files.AddDirectoryRepository(temp.GetPath().c_str());
    m_engine->SetFileManager(&files);
    KB_LinearInterpolation curve(PATH);
    for (int i = 0; i < 400; ++i)
        curve.InsertVertex(XMVectorSet(static_cast<float>(i) + 0.125f, 1.5f, 2.5f, 0.0f), i * 0.5);

    bool bSavedPastTheLimit = true;
    std::string sFull;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        ::testing::internal::CaptureStderr();
        bSavedPastTheLimit = curve.Save();
        sFull = ::testing::internal::GetCapturedStderr();
    }
    EXPECT_FALSE(bSavedPastTheLimit);
    EXPECT_EQ(SaveFailureLines::Take(sFull), std::vector<std::string>{SaveFailureLines::For(PATH, EFBIG)});

    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(curve.Save());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    std::filesystem::remove(temp.Join(PATH));
    std::filesystem::create_directories(temp.Join(PATH));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(curve.Save());
    EXPECT_EQ(SaveFailureLines::Take(::testing::internal::GetCapturedStderr()),
              std::vector<std::string>{SaveFailureLines::For(PATH, EISDIR)});

    MemoryFiles readOnlyFiles(false);
    readOnlyFiles.Install();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(curve.Save());
    EXPECT_EQ(SaveFailureLines::Take(::testing::internal::GetCapturedStderr()),
              std::vector<std::string>{SaveFailureLines::For(PATH, EROFS)});
    m_files.Install();
}

TEST_F(KU_InterpolationFileTest, NumbersDoNotDependOnTheGlobalLocale)
{
    // A global locale with ',' as the decimal point and '.' grouping thousands.
    struct CommaDecimal : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    KB_LinearInterpolation curve(PATH);
    curve.SetStartTime(1234.5);
    const bool bSaved = curve.Save();
    m_pRepository->SetFile("other.int", "n LinearInterpolation\ns 2.5\ne 1234567\n");
    std::unique_ptr<KU_VertexInterpolation> pCurve(
        KU_VertexInterpolation::LoadVertexInterpolation("other.int"));
    std::locale::global(previous);

    ASSERT_TRUE(bSaved);
    EXPECT_NE(SavedBody().find("s 1234.5\n"), std::string::npos);
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetStartTime(), 2.5);
    EXPECT_EQ(pCurve->GetEndTime(), 1234567.0);
}

// Numbers out of a float's range neither end the parse nor cut the curve short.
TEST_F(KU_InterpolationFileTest, NumbersOutOfRangeDoNotEndTheParse)
{
    std::unique_ptr<KU_VertexInterpolation> pCurve =
        LoadVertex("n LinearInterpolation\ns 0\ne 1e400\nv 1e-50 -1e39 2\nv 1 2 3\nt 0\nt 1e-400\n");
    ASSERT_NE(pCurve, nullptr);
    ASSERT_EQ(pCurve->GetNumVertices(), 2u);
    EXPECT_TRUE(VectorEq(pCurve->GetVertex(0), Vec(0.0f, -std::numeric_limits<float>::max(), 2.0f)));
    EXPECT_TRUE(VectorEq(pCurve->GetVertex(1), Vec(1, 2, 3)));
    EXPECT_EQ(pCurve->GetEndTime(), std::numeric_limits<double>::max());
    ASSERT_EQ(pCurve->GetNumTimeStamps(), 2u);
    EXPECT_EQ(pCurve->GetTimeStamp(1), 0.0);
}

// A large finite quaternion component must not turn the key into NaN, which would be saved as a
// line the reader refuses and lose every key on the next load.
TEST_F(KU_InterpolationFileTest, LargeQuaternionKeySurvivesASaveAndReload)
{
    m_pRepository->SetFile(PATH, "n RotationInterpolation\ns 0\ne 4\nq 0 0 1e20 1\nq 0 0 0 1\nt 0\nt 1\n");
    std::unique_ptr<KU_QuaternionInterpolation> pCurve(
        KU_QuaternionInterpolation::LoadQuaternionInterpolation(PATH));
    ASSERT_NE(pCurve, nullptr);
    ASSERT_EQ(pCurve->GetNumQuaternions(), 2u);
    XMVECTOR q;
    pCurve->GetValueAt(&q, 0.0);
    EXPECT_TRUE(VectorEq(q, Vec(0, 0, 1, 1e-20f)));

    ASSERT_TRUE(pCurve->Save());
    EXPECT_EQ(SavedBody(), "n RotationInterpolation\ns 0\ne 4\nq 0 0 1 1e-20\nq 0 0 0 1\nt 0\nt 1\n");
    pCurve.reset(KU_QuaternionInterpolation::LoadQuaternionInterpolation(PATH));
    ASSERT_NE(pCurve, nullptr);
    EXPECT_EQ(pCurve->GetNumQuaternions(), 2u);
}

// Values that are not finite are written so that the file still reads back whole: NaN as 0, an
// infinity as the largest finite value of its sign.
TEST_F(KU_InterpolationFileTest, NonFiniteValuesAreNeverWrittenAsNanOrInf)
{
    constexpr float INF = std::numeric_limits<float>::infinity();
    constexpr float FLT_LARGEST = std::numeric_limits<float>::max();
    KB_LinearInterpolation curve(PATH);
    curve.SetStartTime(-std::numeric_limits<double>::infinity());
    curve.SetEndTime(std::numeric_limits<double>::quiet_NaN());
    curve.InsertVertex(Vec(std::numeric_limits<float>::quiet_NaN(), INF, -INF), 0.0);
    curve.InsertVertex(Vec(1, 2, 3), 1.0);
    ASSERT_TRUE(curve.Save());
    const std::string sBody = SavedBody();
    EXPECT_EQ(sBody, "n LinearInterpolation\ns -1.79769e+308\ne 0\nv 0 1.79769e+308 -1.79769e+308\nv 1 2 3\n"
                     "t 0\nt 1\n");

    std::unique_ptr<KU_VertexInterpolation> pRead(KU_VertexInterpolation::LoadVertexInterpolation(PATH));
    ASSERT_NE(pRead, nullptr);
    ASSERT_EQ(pRead->GetNumVertices(), 2u);
    EXPECT_TRUE(VectorEq(pRead->GetVertex(0), Vec(0, FLT_LARGEST, -FLT_LARGEST)));
    EXPECT_TRUE(VectorEq(pRead->GetVertex(1), Vec(1, 2, 3)));
    EXPECT_EQ(pRead->GetStartTime(), -1.79769e+308);

    KB_LinearMatrixInterpolation matrix(PATH);
    XMMATRIX m = XMMatrixIdentity();
    m.r[3] = Vec(std::numeric_limits<float>::quiet_NaN(), INF, 0, 1);
    matrix.InsertMatrix(m, 0.0);
    ASSERT_TRUE(matrix.Save());
    EXPECT_EQ(SavedBody().find("nan"), std::string::npos);
    EXPECT_EQ(SavedBody().find("inf"), std::string::npos);
    std::unique_ptr<KU_MatrixInterpolation> pMatrix(KU_MatrixInterpolation::LoadMatrixInterpolation(PATH));
    ASSERT_NE(pMatrix, nullptr);
    EXPECT_EQ(pMatrix->GetNumMatrices(), 1u);
}
