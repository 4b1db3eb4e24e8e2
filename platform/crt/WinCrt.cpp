#include "platform/crt/WinCrt.h"
#include "platform/crt/CrtControl.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <locale.h>
#include <strings.h>
#include <unistd.h>

namespace
{

thread_local std::uint32_t t_uiRandState = 1;

using SteadyClock = std::chrono::steady_clock;
SteadyClock::time_point ProcessStart()
{
    static const SteadyClock::time_point s_start = SteadyClock::now();
    return s_start;
}

// Fixes the start as early as static initialisation, in case nobody reads the clock before main.
const SteadyClock::time_point s_processStartAtLoad = ProcessStart();

std::atomic<bool> s_bManualClock{false};
std::atomic<long> s_iManualClock{0};

long RealClock()
{
    const auto elapsed = SteadyClock::now() - ProcessStart();
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

locale_t ClassicLocale()
{
    static const locale_t s_classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return s_classic;
}

unsigned char LowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

unsigned char UpperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

template <typename Convert>
int ConvertInPlace(char* str, std::size_t size, Convert convert)
{
    if (str == nullptr || size == 0)
        return EINVAL;
    std::size_t length = 0;
    while (length < size && str[length] != '\0')
        ++length;
    if (length == size)
        return EINVAL;
    for (std::size_t i = 0; i < length; ++i)
        str[i] = static_cast<char>(convert(static_cast<unsigned char>(str[i])));
    return 0;
}

} // namespace

namespace wincrt
{

int rand()
{
    t_uiRandState = t_uiRandState * 214013u + 2531011u;
    return static_cast<int>((t_uiRandState >> 16) & 0x7FFFu);
}

void srand(unsigned int seed)
{
    t_uiRandState = seed;
}

long clock()
{
    if (s_bManualClock.load(std::memory_order_acquire))
        return s_iManualClock.load(std::memory_order_acquire);
    return RealClock();
}

} // namespace wincrt

// The "C" locale maps only 'A'-'Z' and compares the lowered bytes unsigned, as Windows does for
// these calls; the C library's vectorised compare is several times faster than a byte loop.
// glibc's "C" locale object is static and never freed.
int _stricmp(const char* a, const char* b)
{
    return strcasecmp_l(a, b, ClassicLocale());
}

int _strnicmp(const char* a, const char* b, std::size_t count)
{
    return strncasecmp_l(a, b, count, ClassicLocale());
}

int _strlwr_s(char* str, std::size_t size)
{
    return ConvertInPlace(str, size, LowerAscii);
}

int _strupr_s(char* str, std::size_t size)
{
    return ConvertInPlace(str, size, UpperAscii);
}

char* _getcwd(char* buffer, int maxlen)
{
    if (buffer == nullptr || maxlen <= 0)
        return nullptr;
    return ::getcwd(buffer, static_cast<std::size_t>(maxlen));
}

void* _aligned_malloc(std::size_t size, std::size_t alignment)
{
    if (alignment == 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;
    if (alignment < sizeof(void*))
        alignment = sizeof(void*);
    void* block = nullptr;
    if (posix_memalign(&block, alignment, size == 0 ? 1 : size) != 0)
        return nullptr;
    return block;
}

void _aligned_free(void* block)
{
    std::free(block);
}

namespace CrtControl
{

void SetClock(long milliseconds)
{
    s_iManualClock.store(milliseconds, std::memory_order_release);
    s_bManualClock.store(true, std::memory_order_release);
}

void AdvanceClock(long milliseconds)
{
    if (!s_bManualClock.load(std::memory_order_acquire))
        SetClock(RealClock());
    s_iManualClock.fetch_add(milliseconds, std::memory_order_acq_rel);
}

void UseRealClock()
{
    s_bManualClock.store(false, std::memory_order_release);
}

bool IsClockManual()
{
    return s_bManualClock.load(std::memory_order_acquire);
}

std::uint32_t GetRandState()
{
    return t_uiRandState;
}

void Reset()
{
    UseRealClock();
    wincrt::srand(1);
}

} // namespace CrtControl
