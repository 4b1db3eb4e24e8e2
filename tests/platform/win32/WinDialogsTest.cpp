#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

class WinDialogs : public ::testing::Test
{
protected:
    void SetUp() override { Win32Control::Reset(); }
    void TearDown() override { Win32Control::Reset(); }
};

TEST_F(WinDialogs, UnscriptedBoxesPrintAndAnswerTheFirstButton)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Could not create AudioContext. Application will exit.",
                          "Initialization Failure", MB_OK | MB_ICONERROR),
              IDOK);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("Initialization Failure"), std::string::npos);
    EXPECT_NE(printed.find("Could not create AudioContext."), std::string::npos);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Do you really want to quit?", "Quit?", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_ABORTRETRYIGNORE), IDABORT);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_CANCELTRYCONTINUE), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, 0x0F), 0) << "unknown button set";
    ::testing::internal::GetCapturedStderr();

    const std::vector<Win32Control::MessageBoxRecord> boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 5u) << "a failed call shows nothing";
    EXPECT_EQ(boxes[0].caption, "Initialization Failure");
    EXPECT_EQ(boxes[0].type, 0x10u);
    EXPECT_EQ(boxes[1].answer, IDYES);
}

TEST_F(WinDialogs, ScriptedAnswersComeFirstThenTheResponder)
{
    Win32Control::PushMessageBoxAnswer(IDNO);
    Win32Control::PushMessageBoxAnswer(IDCANCEL);
    int responderCalls = 0;
    Win32Control::SetMessageBoxResponder(
        [&responderCalls](const Win32Control::MessageBoxRecord& box)
        {
            ++responderCalls;
            return box.caption == "Quit?" ? IDNO : IDOK;
        });
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "q", "Quit?", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "Quit?", MB_YESNO), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "Quit?", MB_YESNO), IDNO);
    EXPECT_TRUE(::testing::internal::GetCapturedStderr().empty()) << "answered boxes print nothing";
    EXPECT_EQ(responderCalls, 1);
    EXPECT_EQ(Win32Control::GetMessageBoxes().size(), 3u);
}

TEST_F(WinDialogs, WorkerThreadsMayShowBoxes)
{
    Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [t]
            {
                for (int i = 0; i < 100; ++i)
                    MessageBoxA(nullptr, std::to_string(t * 100 + i).c_str(), "Shader Compile Error", MB_OK);
            });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(Win32Control::GetMessageBoxCount(), 400u);
    EXPECT_EQ(Win32Control::GetMessageBoxes().size(), Win32Control::MESSAGE_BOX_HISTORY_LIMIT);
}

TEST_F(WinDialogs, OnlyTheLatestBoxesAreKept)
{
    Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
    const std::size_t shown = Win32Control::MESSAGE_BOX_HISTORY_LIMIT + 10;
    for (std::size_t i = 0; i < shown; ++i)
        MessageBoxA(nullptr, std::to_string(i).c_str(), "Report", MB_OK);
    const std::vector<Win32Control::MessageBoxRecord> boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), Win32Control::MESSAGE_BOX_HISTORY_LIMIT);
    EXPECT_EQ(boxes.front().text, "10");
    EXPECT_EQ(boxes.back().text, std::to_string(shown - 1));
    EXPECT_EQ(Win32Control::GetMessageBoxCount(), shown);
}

TEST_F(WinDialogs, ExpectedCaptionsAndStrictModeFlagUnexpectedBoxes)
{
    Win32Control::ExpectMessageBox("Quit?", IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "Quit?", MB_YESNO), IDNO);
    Win32Control::ExpectMessageBox("Quit?", IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "Other", MB_YESNO), IDYES)
        << "another caption takes the first button";
    Win32Control::SetStrictMessageBoxes(true);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "t", "Unscripted", MB_OKCANCEL), IDOK);
    EXPECT_TRUE(::testing::internal::GetCapturedStderr().empty()) << "strict boxes print nothing";
    EXPECT_EQ(Win32Control::GetUnexpectedMessageBoxCount(), 2);
    const std::vector<Win32Control::MessageBoxRecord> boxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_FALSE(boxes[0].unexpected);
    EXPECT_TRUE(boxes[1].unexpected);
    EXPECT_TRUE(boxes[2].unexpected);
    Win32Control::ResetMessageBoxes();
    EXPECT_EQ(Win32Control::GetUnexpectedMessageBoxCount(), 0);
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());
}
