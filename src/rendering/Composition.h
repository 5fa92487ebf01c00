#pragma once
// Frame composition: erase both balls, draw both shadows and both balls into the back buffer, and copy the
// two dirty rectangles to the window.

#include "UTypes.h"

void ComposeFrame();
// A composed frame, then the whole back buffer copied to the window: the first picture of start-up and of
// every screen change.
void PresentAll();
// The whole back buffer, margins included, copied to the window (clipped to it).
void CopyBackBufferToWindow();
// Both balls' screen corners, current and previous, computed from their logical positions with the current
// Scale and HalfSprite: after the surfaces were made anew, the next composition erases where the balls are
// now, not where they were on surfaces that are gone.
void PlaceBallsOnScreen();
