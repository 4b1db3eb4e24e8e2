#pragma once
// The HLSL compiler's access to include files: every include, quoted or angled, is read through
// the file repositories relative to the directory of the file being compiled, also when the
// including file is itself an include. One handler lives on the stack for each compilation, on
// whichever thread compiles.
//
// Each successful Open holds one repository reference on the file until the matching Close. The
// same file can be open more than once at a time (nested includes of one file): the repository
// hands out the same data each time, so every Open is recorded on its own and every Close gives
// back exactly one reference. References still held when the handler dies are given back then.

#include "framework/core/KB_String.h"
#include "platform/d3dcompiler/d3dcompiler.h"

#include <map>

class KR_UtilitiesDX11IncludeHandler : public ID3DInclude
{
public:
    // sBaseDirectory ends in '/' unless it is empty (a file at the root).
    explicit KR_UtilitiesDX11IncludeHandler(const KB_String& sBaseDirectory);
    virtual ~KR_UtilitiesDX11IncludeHandler();

    KR_UtilitiesDX11IncludeHandler(const KR_UtilitiesDX11IncludeHandler&) = delete;
    KR_UtilitiesDX11IncludeHandler& operator=(const KR_UtilitiesDX11IncludeHandler&) = delete;

    // Reads base directory + name through the engine's file manager. E_FAIL for a null name, a
    // file no repository reads, or one larger than the compiler takes (D3DCompilerLimits.h),
    // refused unread when the file manager can tell its size. Type and parent are not used.
    HRESULT Open(D3D_INCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData, LPCVOID* ppData,
                 UINT* pBytes) override;
    // Gives the file's reference back; always S_OK.
    HRESULT Close(LPCVOID pData) override;

private:
    KB_String m_sBaseDirectory;
    std::multimap<const void*, KB_String> m_mapOpenFiles; // data handed out -> path it was read from
};
