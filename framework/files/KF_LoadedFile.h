#pragma once
// One entry of a repository's loaded-file cache: the contents of one path, shared by every
// reader of that path until the last reference is released. Copies share the buffer; the
// repository that made the entry frees it.

#include "framework/core/KB_String.h"

#include <cstdint>

struct KF_LoadedFile
{
    KB_String m_sPath;               // exactly as requested
    std::uint8_t* m_pData = nullptr; // owned by the repository; one NUL after the contents
    std::uint32_t m_uiReferenceCount = 0;
    std::uint64_t m_uiSize = 0; // bytes of contents, without the NUL
};
