#pragma once

#include <cstdint>

// Card numbers lie in 0 to 16777213 in magnitude: the card counter wraps at
// 16777214 (0xFFFFFE, not 0xFFFFFF), and a number read back from a card is folded
// into the same range. Kept apart so that the simulated encoder, built without the
// rest of the system, shares it.
inline constexpr std::int64_t kCardNoModulus = 16777214;
