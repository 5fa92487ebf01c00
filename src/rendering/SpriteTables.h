#pragma once
// The ball's sprite for the actual screen: its size, the shadow's offset and the four precomputed pixel
// lists.

#include "UTypes.h"

void BuildSpriteTables();

// The ball's radius in subsamples (30 per pixel) for the current Scale and BallRadius, rounded with halves to
// even; never negative.
std::int64_t DiscRadiusSub();
