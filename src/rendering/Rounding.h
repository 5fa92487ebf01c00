#pragma once
// The two ways start-up turns an extended value into a pixel count or a byte: halves up, and the ceiling.

#include "UTypes.h"

// Nearest integer with halves rounded up, for non-negative x; trunc(x) for negative x. Values beyond the
// 32-bit range saturate and NaN gives 0.
std::int32_t RoundHalfUp(Extended x);
// Ceiling; saturates like RoundHalfUp.
std::int32_t CeilPositive(Extended x);
