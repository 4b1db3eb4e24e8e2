// Fuzzes the terminal input of real runs: the bytes are what a read of the terminal returned, for
// the parser that turns them into the virtual keys posted to the window. Every key must be a
// virtual-key code, and no byte can give more than one key.

#include "platform/win32/WinInternal.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    const std::vector<int> keys =
        win32_internal::ParseKeys(std::string(reinterpret_cast<const char*>(pData), uiSize));
    if (keys.size() > uiSize)
        __builtin_trap();
    for (const int key : keys)
        if (key <= 0 || key > 0xFE)
            __builtin_trap();
    return 0;
}
