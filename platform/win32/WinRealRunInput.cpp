// Input of real runs: keys typed on a terminal reach the window as WM_KEYDOWN/WM_KEYUP pairs, and
// SIGINT or SIGTERM close the window as its close button would. Terminals report no key releases,
// so every key is pressed and released at once.

#include "platform/win32/WinInternal.h"
#include "platform/win32/WinMessages.h"
#include "platform/win32/WinWindow.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{
struct RealRunInput
{
    std::mutex mutex;
    bool enabled = true;
    int requestedFd = -1; // -1: stdin when it is a terminal
    bool running = false;
    int fd = -1; // where keys are read; -1 when none
    bool signalsInstalled = false;
    struct sigaction previousInt = {};
    struct sigaction previousTerm = {};
};

RealRunInput& Input()
{
    static RealRunInput* s_pInput = new RealRunInput;
    return *s_pInput;
}

// Shared with the signal handler and the exit handler, hence plain atomics and a saved copy.
std::atomic<int> g_pendingSignal{0};
std::atomic<bool> g_terminalChanged{false};
termios g_savedTerminal = {};

void RestoreTerminal()
{
    if (g_terminalChanged.exchange(false))
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
}

// A first signal asks the main loop to close the window; a second one, before the loop took the
// first, ends the process as the default action would.
void OnSignal(int signalNumber)
{
    if (g_pendingSignal.exchange(signalNumber) != 0)
    {
        if (g_terminalChanged.load())
            tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    }
}

bool HookTerminal()
{
    termios settings;
    if (tcgetattr(STDIN_FILENO, &settings) != 0)
        return false;
    g_savedTerminal = settings;
    // Keys arrive one by one and unechoed; Ctrl-C still raises SIGINT.
    settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &settings) != 0)
        return false;
    g_terminalChanged = true;
    static bool s_bExitHandlerInstalled = false;
    if (!s_bExitHandlerInstalled)
        s_bExitHandlerInstalled = std::atexit(RestoreTerminal) == 0;
    return true;
}

// The leading decimal digits of text[begin, end). The bytes come from stdin, so a long run of
// digits saturates at NUMBER_CAP (no key has such a number) instead of overflowing.
int ParseNumber(const std::string& text, std::size_t begin, std::size_t end)
{
    constexpr int NUMBER_CAP = 1000000;
    int value = 0;
    for (std::size_t i = begin; i < end && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), NUMBER_CAP);
    return value;
}

int KeyOfTildeSequence(int number)
{
    switch (number)
    {
    case 1:
    case 7:
        return VK_HOME;
    case 2:
        return VK_INSERT;
    case 3:
        return VK_DELETE;
    case 4:
    case 8:
        return VK_END;
    case 5:
        return VK_PRIOR;
    case 6:
        return VK_NEXT;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
        return VK_F1 + (number - 11);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
        return VK_F6 + (number - 17);
    case 23:
        return VK_F11;
    case 24:
        return VK_F12;
    default:
        return 0;
    }
}

int KeyOfFinalByte(char final)
{
    switch (final)
    {
    case 'A':
        return VK_UP;
    case 'B':
        return VK_DOWN;
    case 'C':
        return VK_RIGHT;
    case 'D':
        return VK_LEFT;
    case 'H':
        return VK_HOME;
    case 'F':
        return VK_END;
    case 'P':
        return VK_F1;
    case 'Q':
        return VK_F2;
    case 'R':
        return VK_F3;
    case 'S':
        return VK_F4;
    default:
        return 0;
    }
}

int KeyOfCharacter(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 'A';
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return c;
    switch (c)
    {
    case ' ':
        return VK_SPACE;
    case '\r':
    case '\n':
        return VK_RETURN;
    case '\t':
        return VK_TAB;
    case 0x08:
    case 0x7F:
        return VK_BACK;
    case 0x1B:
        return VK_ESCAPE;
    default:
        return 0;
    }
}

} // namespace

namespace win32_internal
{
std::vector<int> ParseKeys(const std::string& bytes)
{
    std::vector<int> keys;
    std::size_t i = 0;
    while (i < bytes.size())
    {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const bool introducer =
            c == 0x1B && i + 1 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O');
        if (!introducer)
        {
            if (const int key = KeyOfCharacter(c))
                keys.push_back(key);
            ++i;
            continue;
        }
        if (bytes[i + 1] == 'O')
        {
            // SS3: one final byte.
            if (i + 2 >= bytes.size())
            {
                keys.push_back(VK_ESCAPE);
                i += 2;
                continue;
            }
            if (const int key = KeyOfFinalByte(bytes[i + 2]))
                keys.push_back(key);
            i += 3;
            continue;
        }
        // CSI: parameters, then a final byte in 0x40-0x7E. The Linux console sends F1-F5 as "[[A".."[[E".
        std::size_t begin = i + 2;
        if (begin < bytes.size() && bytes[begin] == '[')
        {
            if (begin + 1 < bytes.size() && bytes[begin + 1] >= 'A' && bytes[begin + 1] <= 'E')
            {
                keys.push_back(VK_F1 + (bytes[begin + 1] - 'A'));
                i = begin + 2;
            }
            else
            {
                keys.push_back(VK_ESCAPE);
                i = begin + 1;
            }
            continue;
        }
        std::size_t end = begin;
        while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E))
            ++end;
        if (end >= bytes.size())
        {
            keys.push_back(VK_ESCAPE); // incomplete sequence: keep only the Escape key
            i = bytes.size();
            continue;
        }
        const int key = bytes[end] == '~' ? KeyOfTildeSequence(ParseNumber(bytes, begin, end))
                                          : KeyOfFinalByte(bytes[end]);
        if (key)
            keys.push_back(key);
        i = end + 1;
    }
    return keys;
}

void ConfigureRealRunInput(bool enabled, int terminalFd)
{
    StopRealRunInput();
    RealRunInput& input = Input();
    std::lock_guard<std::mutex> lock(input.mutex);
    input.enabled = enabled;
    input.requestedFd = terminalFd;
}

bool IsRealRun()
{
    RealRunInput& input = Input();
    std::lock_guard<std::mutex> lock(input.mutex);
    return input.enabled;
}

void StartRealRunInput()
{
    RealRunInput& input = Input();
    std::lock_guard<std::mutex> lock(input.mutex);
    if (!input.enabled || input.running)
        return;
    input.running = true;
    if (input.requestedFd >= 0)
        input.fd = input.requestedFd;
    else if (isatty(STDIN_FILENO) && HookTerminal())
        input.fd = STDIN_FILENO;
    g_pendingSignal = 0;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    input.signalsInstalled = sigaction(SIGINT, &action, &input.previousInt) == 0 &&
                             sigaction(SIGTERM, &action, &input.previousTerm) == 0;
}

void StopRealRunInput()
{
    RealRunInput& input = Input();
    std::lock_guard<std::mutex> lock(input.mutex);
    if (!input.running)
        return;
    if (input.signalsInstalled)
    {
        sigaction(SIGINT, &input.previousInt, nullptr);
        sigaction(SIGTERM, &input.previousTerm, nullptr);
        input.signalsInstalled = false;
    }
    RestoreTerminal();
    g_pendingSignal = 0;
    input.fd = -1;
    input.running = false;
}

void PollRealRunInput()
{
    if (g_pendingSignal.exchange(0) != 0)
        PostCloseToTopLevelWindows();
    int fd = -1;
    {
        RealRunInput& input = Input();
        std::lock_guard<std::mutex> lock(input.mutex);
        fd = input.fd;
    }
    if (fd < 0)
        return;
    std::string bytes;
    bool closed = false;
    pollfd request = {fd, POLLIN, 0};
    while (poll(&request, 1, 0) > 0 && (request.revents & (POLLIN | POLLHUP | POLLERR)))
    {
        char buffer[256];
        const ssize_t count = read(fd, buffer, sizeof(buffer));
        if (count > 0)
        {
            bytes.append(buffer, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            break;
        closed = true; // end of input or a read error: stop reading, keep the signals
        break;
    }
    if (closed)
    {
        RealRunInput& input = Input();
        std::lock_guard<std::mutex> lock(input.mutex);
        input.fd = -1;
    }
    if (bytes.empty())
        return;
    HWND target = GetInputTargetWindow();
    if (!target)
        return;
    for (const int key : ParseKeys(bytes))
    {
        PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(key), MakeKeyLParam(true));
        PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(key), MakeKeyLParam(false));
    }
}
} // namespace win32_internal
