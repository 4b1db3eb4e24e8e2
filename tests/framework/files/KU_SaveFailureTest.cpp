#include "framework/files/KU_SaveFailure.h"

#include "platform/win32/WinFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

// A file error the image writer answers reads as the same reason errno would give; any other
// result shows its code.
TEST(KU_SaveFailureTest, Win32FileErrorsReadAsTheirReasonsAndOtherResultsAsTheirCode)
{
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)),
              std::strerror(ENOENT));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), std::strerror(EACCES));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_DISK_FULL)), std::strerror(ENOSPC));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)),
              std::strerror(ENOSPC));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)), std::strerror(EFBIG));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(E_OUTOFMEMORY), std::strerror(ENOMEM));
    EXPECT_EQ(KU_SaveFailure::DescribeResult(E_FAIL), "error 0x80004005");
    EXPECT_EQ(KU_SaveFailure::DescribeResult(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)), "error 0x80070006");
    // The same low half with another facility, or without the failure bit, is no Win32 error.
    EXPECT_EQ(KU_SaveFailure::DescribeResult(static_cast<HRESULT>(0x80080003u)), "error 0x80080003");
    EXPECT_EQ(KU_SaveFailure::DescribeResult(static_cast<HRESULT>(0x00070003u)), "error 0x00070003");
}

TEST(KU_SaveFailureTest, EachReportIsOneLineNamingThePathAndNothingForASuccess)
{
    ::testing::internal::CaptureStderr();
    KU_SaveFailure::Report(KB_String("Assets/a b.int"), EROFS);
    KU_SaveFailure::ReportIfFailed(KB_String("../Source/Screenshot/x.png"), S_OK);
    KU_SaveFailure::ReportIfFailed(KB_String("../Source/Screenshot/x.png"), S_FALSE);
    KU_SaveFailure::ReportIfFailed(KB_String("../Source/Screenshot/y.png"),
                                   HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              std::string("cannot save \"Assets/a b.int\": ") + std::strerror(EROFS) +
                  "\ncannot save \"../Source/Screenshot/y.png\": " + std::strerror(ENOENT) + "\n");
}
