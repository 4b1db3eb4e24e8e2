#pragma once
// Small integer helpers.

#include <bit>
#include <cstdint>

// The exponent of a power of two (Log2OfPow2(256) == 8). Other values give the exponent of their
// highest set bit; 0 gives 0.
constexpr std::uint32_t Log2OfPow2(std::uint32_t uiPowerOfTwo)
{
    return uiPowerOfTwo == 0 ? 0u : static_cast<std::uint32_t>(std::bit_width(uiPowerOfTwo)) - 1u;
}
