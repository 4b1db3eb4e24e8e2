#include "platform/win32/WinWindow.h"

#include "platform/win32/Win32Control.h"
#include "platform/win32/WinInternal.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

namespace
{
constexpr std::size_t MESSAGE_LOG_LIMIT = 4096;
constexpr std::size_t TITLE_HISTORY_LIMIT = 1024;
constexpr RECT DEFAULT_DESKTOP = {0, 0, 1920, 1080};
constexpr int DEFAULT_POSITION = 32;

// Handle values are never dereferenced; window handles are never reused within a process.
constexpr std::uintptr_t DESKTOP_HANDLE = 0x10;
constexpr std::uintptr_t FIRST_WINDOW_HANDLE = 0x10000;
constexpr std::uintptr_t ICON_HANDLE_BASE = 0x200000;
constexpr std::uintptr_t CURSOR_HANDLE_BASE = 0x300000;
constexpr std::uintptr_t PAINT_DC_HANDLE = 0x400000;
constexpr WORD NAMED_RESOURCE_ID = 0xFFFF;

struct WindowClassRecord
{
    std::string name;
    ATOM atom;
    WNDCLASSEXA description;
};

struct WindowRecord
{
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    HWND parent = nullptr;
    bool hasMenu = false;
    RECT rect = {0, 0, 0, 0}; // screen coordinates of the whole window
    std::string text;
    bool visible = false;
    bool minimized = false;
    bool destroying = false;
};

struct WindowSystem
{
    std::mutex mutex;
    std::vector<WindowClassRecord> classes;
    std::map<HWND, WindowRecord> windows;
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    HWND active = nullptr;
    HWND capture = nullptr;
    HWND newest = nullptr;
    POINT cursorPosition = {0, 0};
    HCURSOR cursor = nullptr;
    int cursorDisplayCount = 0;
    RECT desktop = DEFAULT_DESKTOP;
    std::map<std::string, int> failures;
    std::array<BYTE, 256> keyDown{};
    std::array<BYTE, 256> keyToggled{};
    std::deque<std::string> titles;
    std::deque<Win32Control::MessageRecord> log;
    std::uintptr_t nextHandle = FIRST_WINDOW_HANDLE;
};

// Never destroyed: worker threads and exit handlers may still post after main returns.
WindowSystem& System()
{
    static WindowSystem* s_pSystem = new WindowSystem;
    return *s_pSystem;
}

DWORD MillisecondsSinceStart()
{
    static const auto s_start = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::steady_clock::now() - s_start;
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

HWND DesktopHandle()
{
    return reinterpret_cast<HWND>(DESKTOP_HANDLE);
}

// Caller holds the lock.
WindowRecord* FindWindow(WindowSystem& s, HWND window)
{
    const auto it = s.windows.find(window);
    return it == s.windows.end() ? nullptr : &it->second;
}

bool ConsumeFailure(WindowSystem& s, const char* call)
{
    const auto it = s.failures.find(call);
    if (it == s.failures.end() || it->second <= 0)
        return false;
    --it->second;
    return true;
}

// Headless, the terminal stands in for the window: each title a window takes is one status line.
void RecordTitle(WindowSystem& s, const std::string& text)
{
    if (win32_internal::IsRealRun())
    {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    s.titles.push_back(text);
    if (s.titles.size() > TITLE_HISTORY_LIMIT)
        s.titles.pop_front();
}

struct FrameSize
{
    int side; // left, right and bottom
    int top;  // frame, caption and menu bar
};

FrameSize FrameFor(DWORD style, bool menu)
{
    int side = 0;
    if (style & WS_THICKFRAME)
        side = 8;
    else if (style & WS_DLGFRAME)
        side = 3;
    else if (style & WS_BORDER)
        side = 1;
    const int caption = (style & WS_CAPTION) == WS_CAPTION ? 23 : 0;
    return {side, side + caption + (menu ? 20 : 0)};
}

// Client size and the client origin in screen coordinates.
void ClientGeometry(const WindowRecord& w, LONG* width, LONG* height, POINT* origin)
{
    const FrameSize frame = FrameFor(w.style, w.hasMenu);
    const LONG cw = w.rect.right - w.rect.left - 2 * frame.side;
    const LONG ch = w.rect.bottom - w.rect.top - frame.top - frame.side;
    if (width)
        *width = w.minimized ? 0 : std::max<LONG>(cw, 0);
    if (height)
        *height = w.minimized ? 0 : std::max<LONG>(ch, 0);
    if (origin)
        *origin = {w.rect.left + frame.side, w.rect.top + frame.top};
}

LPARAM PackPoint(LONG x, LONG y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

LPARAM ClientSizeLParam(const WindowRecord& w)
{
    LONG width = 0;
    LONG height = 0;
    ClientGeometry(w, &width, &height, nullptr);
    return PackPoint(width, height);
}

// Calls the window's procedure without holding the lock; 0 when the window is gone.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowSystem& s = System();
    WNDPROC procedure = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const WindowRecord* w = FindWindow(s, window);
        if (!w || !w->procedure)
            return 0;
        procedure = w->procedure;
        s.log.push_back({window, message, wParam, lParam});
        if (s.log.size() > MESSAGE_LOG_LIMIT)
            s.log.pop_front();
    }
    return procedure(window, message, wParam, lParam);
}

void PostLocked(WindowSystem& s, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    s.queue.push_back({window, message, wParam, lParam, MillisecondsSinceStart(), s.cursorPosition});
}

// PeekMessageA's view of the keyboard and mouse buttons, as messages leave the queue.
void ApplyToKeyTable(WindowSystem& s, const MSG& m)
{
    auto press = [&s](std::size_t vk, bool down)
    {
        if (down && !s.keyDown[vk])
            s.keyToggled[vk] ^= 1;
        s.keyDown[vk] = down ? 1 : 0;
    };
    switch (m.message)
    {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        press(m.wParam & 0xFF, true);
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        press(m.wParam & 0xFF, false);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        press(VK_LBUTTON, m.message == WM_LBUTTONDOWN);
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        press(VK_RBUTTON, m.message == WM_RBUTTONDOWN);
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        press(VK_MBUTTON, m.message == WM_MBUTTONDOWN);
        break;
    default:
        break;
    }
}

bool MatchesFilter(const MSG& m, HWND window, UINT filterMin, UINT filterMax)
{
    if (window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
    {
        if (m.hwnd)
            return false;
    }
    else if (window && m.hwnd != window)
    {
        return false;
    }
    return (filterMin == 0 && filterMax == 0) || (m.message >= filterMin && m.message <= filterMax);
}

bool AnyTopLevelWindowLocked(const WindowSystem& s)
{
    return std::any_of(s.windows.begin(), s.windows.end(),
                       [](const auto& entry) { return !entry.second.parent; });
}

// Makes `window` the active window: the old one hears WA_INACTIVE, the new one `state`.
void Activate(HWND window, int state, bool minimized)
{
    WindowSystem& s = System();
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        previous = s.active;
        s.active = window;
    }
    if (previous && previous != window)
        Deliver(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(window));
    Deliver(window, WM_ACTIVATE, MAKEWPARAM(static_cast<WORD>(state), minimized ? 1 : 0),
            reinterpret_cast<LPARAM>(previous == window ? nullptr : previous));
}

HANDLE ResourceHandle(std::uintptr_t base, LPCSTR name)
{
    const WORD id =
        IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)) : NAMED_RESOURCE_ID;
    return reinterpret_cast<HANDLE>(base + id);
}
} // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass)
{
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
        !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName))
    {
        return 0;
    }
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (ConsumeFailure(s, "RegisterClassExA"))
        return 0;
    for (const WindowClassRecord& c : s.classes)
        if (strcasecmp(c.name.c_str(), windowClass->lpszClassName) == 0)
            return 0;
    const ATOM atom = static_cast<ATOM>(0xC000 + s.classes.size());
    s.classes.push_back({windowClass->lpszClassName, atom, *windowClass});
    return atom;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    WindowSystem& s = System();
    HWND window = nullptr;
    WindowRecord record;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!className || ConsumeFailure(s, "CreateWindowExA") || (parent && !FindWindow(s, parent)))
            return nullptr;
        const WindowClassRecord* found = nullptr;
        for (const WindowClassRecord& c : s.classes)
        {
            const bool match = IS_INTRESOURCE(className)
                                   ? c.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(className))
                                   : strcasecmp(c.name.c_str(), className) == 0;
            if (match)
            {
                found = &c;
                break;
            }
        }
        if (!found)
            return nullptr;
        const bool child = (style & WS_CHILD) != 0;
        if (x == CW_USEDEFAULT)
        {
            x = child ? 0 : s.desktop.left + DEFAULT_POSITION;
            y = child ? 0 : s.desktop.top + DEFAULT_POSITION;
        }
        if (width == CW_USEDEFAULT)
        {
            width = child ? 0 : (s.desktop.right - s.desktop.left) * 3 / 4;
            height = child ? 0 : (s.desktop.bottom - s.desktop.top) * 3 / 4;
        }
        record.procedure = found->description.lpfnWndProc;
        record.style = style & ~WS_VISIBLE;
        record.parent = parent;
        record.hasMenu = menu != nullptr && !child;
        record.rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
        record.text = windowName ? windowName : "";
        window = reinterpret_cast<HWND>(s.nextHandle);
        s.nextHandle += 0x10;
        s.windows.emplace(window, record);
        if (!child)
            s.newest = window;
        RecordTitle(s, record.text);
    }
    if (!parent)
        win32_internal::StartRealRunInput();

    CREATESTRUCTA create = {
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (!Deliver(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)))
    {
        Deliver(window, WM_NCDESTROY, 0, 0);
        bool anyLeft = true;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.windows.erase(window);
            if (s.newest == window)
                s.newest = nullptr;
            anyLeft = AnyTopLevelWindowLocked(s);
        }
        if (!anyLeft)
            win32_internal::StopRealRunInput();
        return nullptr;
    }
    if (Deliver(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1)
    {
        DestroyWindow(window);
        return nullptr;
    }
    POINT origin;
    ClientGeometry(record, nullptr, nullptr, &origin);
    Deliver(window, WM_SIZE, SIZE_RESTORED, ClientSizeLParam(record));
    Deliver(window, WM_MOVE, 0, PackPoint(origin.x, origin.y));
    if (style & WS_VISIBLE)
        ShowWindow(window, SW_SHOW);
    return IsWindow(window) ? window : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    WindowSystem& s = System();
    std::vector<HWND> children;
    bool wasActive = false;
    bool minimized = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        WindowRecord* w = FindWindow(s, window);
        if (!w || w->destroying)
            return FALSE;
        w->destroying = true;
        w->visible = false;
        minimized = w->minimized;
        wasActive = s.active == window;
        if (wasActive)
            s.active = nullptr;
        for (const auto& [handle, other] : s.windows)
            if (other.parent == window)
                children.push_back(handle);
    }
    for (HWND child : children)
        DestroyWindow(child);
    if (wasActive)
        Deliver(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, minimized ? 1 : 0), 0);
    Deliver(window, WM_DESTROY, 0, 0);
    Deliver(window, WM_NCDESTROY, 0, 0);

    bool anyLeft = true;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.erase(window);
        std::erase_if(s.queue, [window](const MSG& m) { return m.hwnd == window; });
        if (s.capture == window)
            s.capture = nullptr;
        if (s.newest == window)
        {
            s.newest = nullptr;
            for (const auto& [handle, other] : s.windows)
                if (!other.parent)
                    s.newest = handle; // handles grow, so the last one seen is the newest
        }
        anyLeft = AnyTopLevelWindowLocked(s);
    }
    if (!anyLeft)
        win32_internal::StopRealRunInput();
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return FindWindow(s, window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    const WindowRecord* w = FindWindow(s, window);
    return w && w->visible ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int showCommand)
{
    WindowSystem& s = System();
    bool wasVisible = false;
    bool wasMinimized = false;
    bool wasActive = false;
    LPARAM restoredSize = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        WindowRecord* w = FindWindow(s, window);
        if (!w || w->destroying)
            return FALSE;
        wasVisible = w->visible;
        wasMinimized = w->minimized;
        wasActive = s.active == window;
        w->visible = showCommand != SW_HIDE;
        const bool minimize = showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINIMIZED ||
                              showCommand == SW_SHOWMINNOACTIVE;
        if (showCommand != SW_HIDE)
            w->minimized = minimize;
        if (showCommand == SW_HIDE && wasActive)
            s.active = nullptr;
        restoredSize = ClientSizeLParam(*w);
    }

    if (showCommand == SW_HIDE)
    {
        if (wasVisible)
        {
            Deliver(window, WM_SHOWWINDOW, FALSE, 0);
            if (wasActive)
                Deliver(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, wasMinimized ? 1 : 0), 0);
        }
        return wasVisible ? TRUE : FALSE;
    }
    if (!wasVisible)
        Deliver(window, WM_SHOWWINDOW, TRUE, 0);
    switch (showCommand)
    {
    case SW_SHOWMINIMIZED:
        Activate(window, WA_ACTIVE, true);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        if (wasActive)
        {
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.active = nullptr;
            }
            Deliver(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
        }
        break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        break;
    default:
        if (!wasActive || wasMinimized)
            Activate(window, WA_ACTIVE, false);
        break;
    }
    const bool minimized =
        showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINIMIZED || showCommand == SW_SHOWMINNOACTIVE;
    if (minimized && !wasMinimized)
        Deliver(window, WM_SIZE, SIZE_MINIMIZED, 0);
    else if (!minimized && (!wasVisible || wasMinimized))
        Deliver(window, WM_SIZE, SIZE_RESTORED, restoredSize);
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window)
{
    return IsWindow(window);
}

HWND GetDesktopWindow()
{
    return DesktopHandle();
}

HWND GetActiveWindow()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.active;
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!rect || ConsumeFailure(s, "GetWindowRect"))
        return FALSE;
    if (window == DesktopHandle())
    {
        *rect = s.desktop;
        return TRUE;
    }
    const WindowRecord* w = FindWindow(s, window);
    if (!w)
        return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!rect)
        return FALSE;
    if (window == DesktopHandle())
    {
        *rect = {0, 0, s.desktop.right - s.desktop.left, s.desktop.bottom - s.desktop.top};
        return TRUE;
    }
    const WindowRecord* w = FindWindow(s, window);
    if (!w)
        return FALSE;
    LONG width = 0;
    LONG height = 0;
    ClientGeometry(*w, &width, &height, nullptr);
    *rect = {0, 0, width, height};
    return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu)
{
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD /*exStyle*/)
{
    if (!rect)
        return FALSE;
    const FrameSize frame = FrameFor(style, menu != FALSE);
    rect->left -= frame.side;
    rect->right += frame.side;
    rect->top -= frame.top;
    rect->bottom += frame.side;
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL /*repaint*/)
{
    WindowSystem& s = System();
    bool moved = false;
    bool resized = false;
    POINT origin = {0, 0};
    LPARAM size = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        WindowRecord* w = FindWindow(s, window);
        if (!w)
            return FALSE;
        LONG oldWidth = 0;
        LONG oldHeight = 0;
        ClientGeometry(*w, &oldWidth, &oldHeight, nullptr);
        moved = w->rect.left != x || w->rect.top != y;
        w->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
        LONG newWidth = 0;
        LONG newHeight = 0;
        ClientGeometry(*w, &newWidth, &newHeight, &origin);
        resized = newWidth != oldWidth || newHeight != oldHeight;
        size = PackPoint(newWidth, newHeight);
    }
    if (moved)
        Deliver(window, WM_MOVE, 0, PackPoint(origin.x, origin.y));
    if (resized)
        Deliver(window, WM_SIZE, SIZE_RESTORED, size);
    return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    const WindowRecord* w = FindWindow(s, window);
    if (!w || !point)
        return FALSE;
    POINT origin;
    ClientGeometry(*w, nullptr, nullptr, &origin);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text)
{
    if (!IsWindow(window))
        return FALSE;
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize)
{
    if (!buffer || bufferSize <= 0)
        return 0;
    buffer[0] = '\0';
    return static_cast<int>(
        SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(bufferSize), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND window)
{
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!message)
        return FALSE;
    win32_internal::PollRealRunInput();
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it =
        std::find_if(s.queue.begin(), s.queue.end(),
                     [&](const MSG& m) { return MatchesFilter(m, window, filterMin, filterMax); });
    if (it != s.queue.end())
    {
        *message = *it;
        if (removeFlags & PM_REMOVE)
        {
            s.queue.erase(it);
            ApplyToKeyTable(s, *message);
        }
        return TRUE;
    }
    const bool threadMessages = !window || window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
    if (s.quitPending && threadMessages)
    {
        *message = {nullptr,
                    WM_QUIT,
                    static_cast<WPARAM>(static_cast<LONG_PTR>(s.quitCode)),
                    0,
                    MillisecondsSinceStart(),
                    s.cursorPosition};
        if (removeFlags & PM_REMOVE)
            s.quitPending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* /*message*/)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message || !message->hwnd)
        return 0;
    return Deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (window && !FindWindow(s, window))
        return FALSE;
    PostLocked(s, window, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Deliver(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.quitPending = true;
    s.quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SETTEXT:
    {
        WindowSystem& s = System();
        std::lock_guard<std::mutex> lock(s.mutex);
        WindowRecord* w = FindWindow(s, window);
        if (!w)
            return FALSE;
        const char* text = reinterpret_cast<const char*>(lParam);
        w->text = text ? text : "";
        RecordTitle(s, w->text);
        return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    {
        WindowSystem& s = System();
        std::lock_guard<std::mutex> lock(s.mutex);
        const WindowRecord* w = FindWindow(s, window);
        if (!w)
            return 0;
        if (message == WM_GETTEXTLENGTH)
            return static_cast<LRESULT>(w->text.size());
        char* buffer = reinterpret_cast<char*>(lParam);
        if (!buffer || wParam == 0)
            return 0;
        const std::size_t count = std::min<std::size_t>(w->text.size(), wParam - 1);
        std::memcpy(buffer, w->text.data(), count);
        buffer[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    default:
        return 0;
    }
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint)
{
    if (!paint)
        return nullptr;
    RECT client;
    if (!GetClientRect(window, &client))
        return nullptr;
    *paint = {};
    paint->hdc = reinterpret_cast<HDC>(PAINT_DC_HANDLE);
    paint->rcPaint = client;
    return paint->hdc;
}

BOOL EndPaint(HWND /*window*/, const PAINTSTRUCT* paint)
{
    return paint ? TRUE : FALSE;
}

HICON LoadIconA(HINSTANCE /*instance*/, LPCSTR name)
{
    return name ? static_cast<HICON>(ResourceHandle(ICON_HANDLE_BASE, name)) : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE /*instance*/, LPCSTR name)
{
    return name ? static_cast<HCURSOR>(ResourceHandle(CURSOR_HANDLE_BASE, name)) : nullptr;
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int /*width*/, int /*height*/, UINT /*flags*/)
{
    switch (type)
    {
    case IMAGE_ICON:
        return LoadIconA(instance, name);
    case IMAGE_CURSOR:
        return LoadCursorA(instance, name);
    default:
        return nullptr;
    }
}

HCURSOR SetCursor(HCURSOR cursor)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    HCURSOR previous = s.cursor;
    s.cursor = cursor;
    return previous;
}

HCURSOR GetCursor()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.cursor;
}

int ShowCursor(BOOL show)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cursorDisplayCount += show ? 1 : -1;
    return s.cursorDisplayCount;
}

BOOL GetCursorPos(POINT* point)
{
    if (!point)
        return FALSE;
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    *point = s.cursorPosition;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    const RECT& d = s.desktop;
    s.cursorPosition.x = std::clamp<LONG>(x, d.left, std::max(d.left, d.right - 1));
    s.cursorPosition.y = std::clamp<LONG>(y, d.top, std::max(d.top, d.bottom - 1));
    return TRUE;
}

HWND SetCapture(HWND window)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    HWND previous = s.capture;
    s.capture = FindWindow(s, window) ? window : nullptr;
    return previous;
}

BOOL ReleaseCapture()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.capture = nullptr;
    return TRUE;
}

HWND GetCapture()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.capture;
}

SHORT GetAsyncKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.keyDown[static_cast<std::size_t>(virtualKey)] ? static_cast<SHORT>(0x8000) : 0;
}

SHORT GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::size_t vk = static_cast<std::size_t>(virtualKey);
    return static_cast<SHORT>((s.keyDown[vk] ? 0x8000 : 0) | (s.keyToggled[vk] ? 1 : 0));
}

namespace win32_internal
{
HWND GetInputTargetWindow()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.active ? s.active : s.newest;
}

void PostCloseToTopLevelWindows()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [handle, w] : s.windows)
        if (!w.parent && !w.destroying)
            PostLocked(s, handle, WM_CLOSE, 0, 0);
}

LPARAM MakeKeyLParam(bool down)
{
    // Repeat count 1; key up also sets the previous-state and transition bits.
    const DWORD bits = down ? 0x00000001u : 0xC0000001u;
    return static_cast<LPARAM>(bits);
}

void ResetWindows()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.classes.clear();
    s.windows.clear();
    s.queue.clear();
    s.quitPending = false;
    s.quitCode = 0;
    s.active = nullptr;
    s.capture = nullptr;
    s.newest = nullptr;
    s.cursorPosition = {0, 0};
    s.cursor = nullptr;
    s.cursorDisplayCount = 0;
    s.desktop = DEFAULT_DESKTOP;
    s.failures.clear();
    s.keyDown.fill(0);
    s.keyToggled.fill(0);
    s.titles.clear();
    s.log.clear();
}
} // namespace win32_internal

namespace Win32Control
{
std::vector<MessageRecord> GetMessageLog()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.log.begin(), s.log.end()};
}

void ClearMessageLog()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.clear();
}

std::vector<std::string> GetTitleHistory()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.titles.begin(), s.titles.end()};
}

HWND GetMainWindow()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.newest;
}

int GetWindowCount()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.windows.size());
}

int GetQueuedMessageCount()
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.queue.size());
}

bool FailNext(const std::string& call, int times)
{
    if (call != "RegisterClassExA" && call != "CreateWindowExA" && call != "GetWindowRect")
        return false;
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failures[call] = std::max(times, 0);
    return true;
}

void SetDesktopRect(const RECT& rect)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.desktop = rect;
}

void SetCursorPosition(int x, int y)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cursorPosition = {x, y};
}

void SetKeyState(int virtualKey, bool down)
{
    if (virtualKey < 0 || virtualKey > 255)
        return;
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    MSG m = {nullptr, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(virtualKey), 0, 0, {0, 0}};
    ApplyToKeyTable(s, m);
}

namespace
{
HWND ResolveTarget(WindowSystem& s, HWND window)
{
    HWND target = window ? window : s.newest;
    return target && FindWindow(s, target) ? target : nullptr;
}
} // namespace

bool PostKey(HWND window, int virtualKey, bool down)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    HWND target = ResolveTarget(s, window);
    if (!target)
        return false;
    PostLocked(s, target, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(virtualKey),
               win32_internal::MakeKeyLParam(down));
    return true;
}

bool PostKeyPress(HWND window, int virtualKey)
{
    return PostKey(window, virtualKey, true) && PostKey(window, virtualKey, false);
}

bool PostMouse(HWND window, UINT message, int screenX, int screenY, WPARAM flags)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    HWND target = ResolveTarget(s, window);
    if (!target)
        return false;
    POINT origin;
    ClientGeometry(*FindWindow(s, target), nullptr, nullptr, &origin);
    s.cursorPosition = {screenX, screenY};
    PostLocked(s, target, message, flags, PackPoint(screenX - origin.x, screenY - origin.y));
    return true;
}

bool PostMouseWheel(HWND window, int delta, int screenX, int screenY, WPARAM flags)
{
    WindowSystem& s = System();
    std::lock_guard<std::mutex> lock(s.mutex);
    HWND target = ResolveTarget(s, window);
    if (!target)
        return false;
    s.cursorPosition = {screenX, screenY};
    const WPARAM wParam = MAKEWPARAM(static_cast<WORD>(flags), static_cast<WORD>(static_cast<SHORT>(delta)));
    PostLocked(s, target, WM_MOUSEWHEEL, wParam, PackPoint(screenX, screenY));
    return true;
}
} // namespace Win32Control
