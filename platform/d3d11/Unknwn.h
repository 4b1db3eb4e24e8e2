#pragma once
// The COM base interface shared by the Direct3D, DXGI and related stand-ins. Every object of
// those layers is reference-counted through it and answers QueryInterface for the interfaces it
// implements.

#include "platform/win32/WinTypes.h"

struct IUnknown
{
    // Fills *ppvObject with an AddRef'd pointer when the object implements riid; else
    // E_NOINTERFACE (and *ppvObject null). E_POINTER when ppvObject is null.
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    // Both return the new reference count; the object is destroyed when Release reaches 0.
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    IUnknown() = default;
    IUnknown(const IUnknown&) = default;
    IUnknown& operator=(const IUnknown&) = default;
    ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

inline bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
