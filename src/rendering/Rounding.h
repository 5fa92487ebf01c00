#pragma once
// The two ways start-up turns an extended value into a pixel count or a byte, halves up and the ceiling; and
// the extended type's rounding on the desktop, for builds whose extended type is wider.

#include "UTypes.h"

// Nearest integer with halves rounded up, for non-negative x; trunc(x) for negative x. Values beyond the
// 32-bit range saturate and NaN gives 0.
std::int32_t RoundHalfUp(Extended x);
// Ceiling; saturates like RoundHalfUp.
std::int32_t CeilPositive(Extended x);
// x rounded to 64 significand bits, to nearest with ties to even, as the desktop's x87 extended type
// computes it; x itself where Extended has 64 bits. A wider Extended (WebAssembly's 113 bits) rounds with it
// the few values whose last bit decides how start-up rounds a half, so that it builds the desktop's sprite.
Extended RoundToDesktopPrecision(Extended x);
