#pragma once
// The two balls and the geometry of the logical world, 640 units wide and as tall as the screen allows.

#include "UTypes.h"

// Scale := ScreenWidth / 640.
void ComputeScale();
// BallDiameter := 24, BallRadius := BallDiameter / 2.
void ComputeBallSize();
// WorldMinX, WorldMaxX, WorldMinY, WorldMaxY, in that order.
void ComputeWorldBounds();
// The whole of BackgroundSurface copied into BackBuffer (both the same size): the plain background.
void ResetBackBuffer();
// The back buffer reset to the background, the clock-seeded generator, starting positions and velocities.
void InitBalls();
// A value uniformly distributed in [0, 1), never 1, from the generator InitBalls seeds.
Extended NextUniform();
