#pragma once
// Test control of the Win32 stand-in. Engine code never includes this header.
//
// Use:
// 1. Win32Control::Reset() at the start of a test: no windows, classes or queued messages,
//    default desktop (1920 x 1080), cursor at (0, 0), keys up, no scripted answers, no recorded
//    calls, every built-in module present, and no real-run input (terminal, signals).
// 2. Drive: post input (PostKey, PostMouse, PostMouseWheel), script message-box answers, set the
//    desktop and the cursor, make a named call fail (FailNext).
// 3. Read back: GetMessageLog (what reached window procedures), GetTitleHistory, GetMessageBoxes.

#include "platform/win32/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Win32Control
{
void Reset();

// One message delivered to a window procedure (sent or dispatched), oldest first. The log keeps the
// last 4096 deliveries.
struct MessageRecord
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<MessageRecord> GetMessageLog();
void ClearMessageLog();
// Every window text set (at creation and through WM_SETTEXT), oldest first; the last 1024.
std::vector<std::string> GetTitleHistory();
HWND GetMainWindow(); // the newest live top-level window, or null
int GetWindowCount();
int GetQueuedMessageCount(); // posted messages waiting, WM_QUIT not counted

// Makes the next `times` calls of a named function fail: "RegisterClassExA", "CreateWindowExA",
// "GetWindowRect" (any window, the desktop included). Returns false for a name it does not know.
bool FailNext(const std::string& call, int times = 1);

void SetDesktopRect(const RECT& rect);
void SetCursorPosition(int x, int y); // unclamped, unlike SetCursorPos
void SetKeyState(int virtualKey, bool down);

// Input posted to a window (null: the main window), as a keyboard and mouse would. Each returns
// false when there is no such window.
bool PostKey(HWND window, int virtualKey, bool down);
bool PostKeyPress(HWND window, int virtualKey); // key down, then key up
// Mouse move or button message at a screen position: moves the cursor there and posts the message
// with client coordinates in lParam and `flags` (MK_...) in wParam.
bool PostMouse(HWND window, UINT message, int screenX, int screenY, WPARAM flags);
// WM_MOUSEWHEEL with the delta in the high word of wParam and screen coordinates in lParam.
bool PostMouseWheel(HWND window, int delta, int screenX, int screenY, WPARAM flags);

// Real runs read keys from a terminal stdin and turn SIGINT/SIGTERM into WM_CLOSE; this is on
// until Reset and takes effect when a window is created. terminalFd >= 0 reads keys from that
// descriptor instead of stdin (a pipe in tests; its terminal settings are left alone).
void SetRealRunInput(bool enabled, int terminalFd = -1);

// Message boxes: every call is counted and the last MESSAGE_BOX_HISTORY_LIMIT are recorded (a
// long run that keeps reporting must not grow the record). The answer is the next scripted
// answer, else the responder's, else (as in real runs) the first button after printing caption
// and text to stderr.
struct MessageBoxRecord
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    int answer;
    bool unexpected = false; // see ExpectMessageBox and SetStrictMessageBoxes
};
void PushMessageBoxAnswer(int answer);
void SetMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responder); // empty: none
constexpr std::size_t MESSAGE_BOX_HISTORY_LIMIT = 64;
std::vector<MessageBoxRecord> GetMessageBoxes(); // oldest first
std::uint64_t GetMessageBoxCount();              // every box shown since Reset
// Queues an answer that only a box with that caption may take. A box that meets an expectation
// with another caption is unexpected: it takes the expectation (so later boxes stay in step) and
// answers with its first button.
void ExpectMessageBox(const std::string& caption, int answer);
// Strict: a box that no queued answer or responder answers is unexpected and answers with its
// first button without printing. Off after Reset.
void SetStrictMessageBoxes(bool strict);
int GetUnexpectedMessageBoxCount(); // since the last Reset or ResetMessageBoxes
// The message-box part of Reset: no queued answers, no responder, not strict, nothing recorded.
void ResetMessageBoxes();

// Built-in modules ("d3d11.dll", "dxgi.dll" and whatever other layers registered): a missing
// module makes LoadLibraryA fail. GetModuleReferenceCount counts loads not yet freed.
void SetModuleMissing(const std::string& module, bool missing);
int GetModuleReferenceCount(const std::string& module);

// The name rules of FindFirstFileA, for stand-ins of other file stores (the tests' memory
// repository). Whether name matches the wildcard pattern ('*' any run, '?' one character, letters
// in either case; a trailing ".*" also matches names without an extension).
bool MatchesFindPattern(const std::string& pattern, const std::string& name);
// Whether a is listed before b: upper-cased bytes first, then the raw bytes.
bool IsBeforeInFindOrder(const std::string& a, const std::string& b);
} // namespace Win32Control
