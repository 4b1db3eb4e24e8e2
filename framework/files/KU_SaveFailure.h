#pragma once
// The line that tells the user a file was not saved: 'cannot save "<path>": <reason>' on
// standard error, the path as the engine names it. Saves keep their own results; this only makes
// a write that failed visible before the user quits. Each line is written whole in one call, so
// lines of several threads never mix. Static only; any thread.

#include "framework/core/KB_String.h"
#include "platform/win32/WinTypes.h"

#include <string>

class KU_SaveFailure
{
public:
    KU_SaveFailure() = delete;

    // The line with the reason errno iError gives.
    static void Report(const KB_String& sPath, int iError);
    // Nothing when hr succeeded; else the line with DescribeResult(hr).
    static void ReportIfFailed(const KB_String& sPath, HRESULT hr);
    // The reason of a Win32 file error carried in hr, in the words errno's reasons use ("No such
    // file or directory" for a path not found); other codes as "error 0x<hex>".
    static std::string DescribeResult(HRESULT hr);
};
