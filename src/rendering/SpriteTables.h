#pragma once
// The ball's sprite for the actual screen: its size, the shadow's offset and the four precomputed pixel
// lists.

#include "UTypes.h"

void BuildSpriteTables();
