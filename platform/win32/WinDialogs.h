#pragma once
// Message boxes of the Win32 stand-in. Nothing is shown: each call is recorded and answered by a
// test's script or responder (Win32Control), or, in a real run, printed as caption and text to
// stderr and answered with the box's first button. Safe to call from any thread.

#include "platform/win32/WinTypes.h"

// Buttons (the low four bits of the type).
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_OKCANCEL = 0x00000001u;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002u;
constexpr UINT MB_YESNOCANCEL = 0x00000003u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_RETRYCANCEL = 0x00000005u;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006u;
constexpr UINT MB_TYPEMASK = 0x0000000Fu;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010u;
constexpr UINT MB_ICONERROR = 0x00000010u;
constexpr UINT MB_ICONSTOP = 0x00000010u;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030u;
constexpr UINT MB_ICONWARNING = 0x00000030u;
constexpr UINT MB_ICONASTERISK = 0x00000040u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr UINT MB_ICONMASK = 0x000000F0u;
// Default button and modality.
constexpr UINT MB_DEFBUTTON1 = 0x00000000u;
constexpr UINT MB_DEFBUTTON2 = 0x00000100u;
constexpr UINT MB_DEFBUTTON3 = 0x00000200u;
constexpr UINT MB_DEFBUTTON4 = 0x00000300u;
constexpr UINT MB_APPLMODAL = 0x00000000u;
constexpr UINT MB_SYSTEMMODAL = 0x00001000u;
constexpr UINT MB_TASKMODAL = 0x00002000u;
constexpr UINT MB_SETFOREGROUND = 0x00010000u;
constexpr UINT MB_TOPMOST = 0x00040000u;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

// Returns the button pressed; 0 for an unknown button set. text and caption may be null (empty).
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
