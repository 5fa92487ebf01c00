#pragma once
// The two off-screen 24-bit surfaces (plain background and back buffer) with their row tables.

#include "UTypes.h"

// Red 2, green 151, blue 57 in the platform's 0x00BBGGRR layout; the bytes 57, 151, 2 in pixel memory.
inline constexpr std::uint32_t BackgroundColour = 0x00399702u;

// Both surfaces ScreenWidth + 2 x ShadowOffset by ScreenHeight + 2 x ShadowOffset, the background painted,
// the row tables filled and both balls made red. When the platform cannot create one, neither is kept: both
// stay nullptr and their row tables empty, and start-up refuses to go on.
void CreateSurfaces();
// Releases the back buffer, then the background surface, and forgets both; nullptr ones are skipped.
void ReleaseSurfaces();
