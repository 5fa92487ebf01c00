#pragma once
// The two rounding routines of start-up and the byte tables through which all colour arithmetic of a frame
// runs.

#include "UTypes.h"

// Nearest integer with halves rounded up, for non-negative x; trunc(x) for negative x.
std::int32_t RoundHalfUp(Extended x);
// Ceiling.
std::int32_t CeilPositive(Extended x);
// Fills MulTable, then LightTable.
void BuildBlendTables();
