#pragma once
// Which sanitizer, if any, the tests are built with. Code runs several times slower under
// AddressSanitizer and slower still under ThreadSanitizer: a generated test runs its shapes at full
// size in Release and smaller under a sanitizer, keeping what it checks, so that no case takes more
// than about 20 s under ThreadSanitizer on a quiet machine.

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define KV_TEST_ADDRESS_SANITIZER 1
#endif
#if defined(__SANITIZE_THREAD__)
#define KV_TEST_THREAD_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_TEST_ADDRESS_SANITIZER 1
#endif
#if __has_feature(thread_sanitizer)
#define KV_TEST_THREAD_SANITIZER 1
#endif
#endif

namespace kv_test
{

#if defined(KV_TEST_ADDRESS_SANITIZER)
constexpr bool ADDRESS_SANITIZED = true;
#else
constexpr bool ADDRESS_SANITIZED = false;
#endif
#if defined(KV_TEST_THREAD_SANITIZER)
constexpr bool THREAD_SANITIZED = true;
#else
constexpr bool THREAD_SANITIZED = false;
#endif
constexpr bool SANITIZED = ADDRESS_SANITIZED || THREAD_SANITIZED;

// A generated shape's size: uiRelease without a sanitizer, uiAddress under AddressSanitizer and
// uiThread under ThreadSanitizer.
constexpr std::size_t ShapeSize(std::size_t uiRelease, std::size_t uiAddress, std::size_t uiThread)
{
    return THREAD_SANITIZED ? uiThread : ADDRESS_SANITIZED ? uiAddress : uiRelease;
}

} // namespace kv_test
