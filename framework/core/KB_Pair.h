#pragma once
// Two values side by side, as used for name-to-object registries.

template <typename A, typename B>
struct KB_Pair
{
    A first;
    B second;
};
