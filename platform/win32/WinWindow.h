#pragma once
// Headless windows of the Win32 stand-in: window classes, windows, one message queue, cursor and
// key state. Nothing is drawn; windows keep their rectangles, text and visibility so that callers
// and tests can read them back.
//
// Behaviour worth knowing:
// - Window procedures run synchronously on the calling thread (SendMessageA, DispatchMessageA and
//   the messages that CreateWindowExA, ShowWindow, MoveWindow and DestroyWindow send).
// - The process has one message queue. PostMessageA and PostQuitMessage may be called from any
//   thread; windows themselves are used from the main thread.
// - CreateWindowExA sends WM_NCCREATE, WM_CREATE, WM_SIZE and WM_MOVE; ShowWindow sends
//   WM_SHOWWINDOW, WM_ACTIVATE and WM_SIZE as the window becomes visible or active; DefWindowProcA
//   turns WM_CLOSE into DestroyWindow, which sends WM_ACTIVATE (WA_INACTIVE) when the window was
//   active, WM_DESTROY and WM_NCDESTROY.
// - WM_QUIT is returned by PeekMessageA once no posted message is left, and is never dispatched.
// - The key table behind GetKeyState and GetAsyncKeyState follows the key and button messages as
//   PeekMessageA removes them (and Win32Control::SetKeyState).
// - Real runs (see Win32Control::SetRealRunInput): keys typed on a terminal stdin arrive as
//   WM_KEYDOWN/WM_KEYUP pairs, and SIGINT or SIGTERM post WM_CLOSE to every top-level window.
// Does NOT: paint, generate WM_CHAR (TranslateMessage translates nothing), keep per-thread queues,
// or send the non-client, focus and position-changing messages of a real window manager.

#include "platform/win32/WinMessages.h"
#include "platform/win32/WinTypes.h"

struct HDC__;
using HDC = HDC__*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA
{
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

// lParam of WM_NCCREATE and WM_CREATE.
struct CREATESTRUCTA
{
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time; // milliseconds since the stand-in started, when the message was posted
    POINT pt;   // cursor position in screen coordinates when the message was posted
};

struct PAINTSTRUCT
{
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

// Window classes. Names compare without regard to case; returns 0 when the class exists already,
// the description is incomplete, or a test made the call fail.
ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);

// Returns null when the class is unknown, a test made the call fail, or the procedure refused
// WM_NCCREATE (returned FALSE) or WM_CREATE (returned -1). CW_USEDEFAULT picks a default position
// or size.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);

// The desktop is a pseudo window whose rectangle is the screen (1920 x 1080 unless a test sets it).
HWND GetDesktopWindow();
HWND GetActiveWindow();
BOOL GetWindowRect(HWND window, RECT* rect); // screen coordinates of the whole window
BOOL GetClientRect(HWND window, RECT* rect); // (0, 0, client width, client height)
// Grows a client rectangle to the window rectangle for a style: a 1-pixel border, a 3-pixel dialog
// frame or an 8-pixel sizing frame on each side, a 23-pixel caption and a 20-pixel menu bar.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
// Sends WM_MOVE and WM_SIZE when the position or the client size changes.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL ScreenToClient(HWND window, POINT* point);

// Window text goes through WM_SETTEXT / WM_GETTEXT, as for windows of the calling process.
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int bufferSize); // characters copied, 0 on failure
int GetWindowTextLengthA(HWND window);

// Message queue.
BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam); // null window: queue only
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// Icons and cursors are handles without pixels; every resource is assumed present.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags);
HCURSOR SetCursor(HCURSOR cursor); // returns the previous cursor; null hides it
HCURSOR GetCursor();
int ShowCursor(BOOL show);       // the display counter after the change
BOOL GetCursorPos(POINT* point); // screen coordinates
BOOL SetCursorPos(int x, int y); // clamped to the desktop
HWND SetCapture(HWND window);    // returns the window that had the capture
BOOL ReleaseCapture();
HWND GetCapture();

// High bit set while the key is down; GetKeyState's low bit toggles with every key press.
SHORT GetAsyncKeyState(int virtualKey);
SHORT GetKeyState(int virtualKey);
