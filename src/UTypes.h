#pragma once
// The shared records and the globals that more than one subsystem reads. Every global is written once, on the
// main thread, before the simulation thread starts, unless its comment says otherwise.

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#include "platform/platform.h"

// All logical quantities are extended precision; the tables and the motion change when they are computed in
// double, so a compiler without a 64-bit significand cannot build this program.
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits >= 64,
              "coppertrowel needs long double with at least 64 significand bits (x87 extended precision)");

struct Ball {
    Extended X;           // centre, logical units
    Extended Y;           // centre, logical units, growing downwards
    std::int32_t ScreenX; // top-left corner of the sprite square in the frame being composed
    std::int32_t ScreenY;
    std::int32_t PrevScreenX; // corner of the frame last presented
    std::int32_t PrevScreenY;
    Extended VX; // logical units per step
    Extended VY;
    std::uint8_t Red;
    std::uint8_t Green;
    std::uint8_t Blue;
};

struct SpritePixel {
    std::int32_t Col;      // from the sprite square's left edge (shadow lists: displacement included)
    std::int32_t Row;      // from its top edge
    std::uint16_t Shade;   // LightTable column for the ball's colour; body lists only
    std::uint8_t Alpha;    // rim coverage 1..254; edge lists only
    std::uint8_t InvAlpha; // 255 - Alpha
};

// ---- Application shell ----
extern std::int32_t ScreenWidth;
extern std::int32_t ScreenHeight;
extern platform::WindowHandle MainWindow;
// The only value one thread writes while the other runs: cleared by the window procedure, read by the
// simulation thread before every step.
extern std::atomic<bool> Running;
// Set by the window procedure when the window system reports part of the window's picture lost; the
// simulation thread's next frame copies the whole back buffer to the window and clears it. Relaxed on both
// sides: it carries no other data.
extern std::atomic<bool> WindowPictureLost;
// Steps between two frames, less one: 10 for the screen, and set again by a paced thread at its start.
extern std::int32_t RenderPeriod;
extern std::uint16_t LightLevel;
// Written and read by the simulation thread alone after start-up (and by the first composition before it).
extern platform::DeviceContext WindowDC;

// ---- Balls and world ----
// Indexed 1 and 2; slot 0 is never used.
extern Ball Balls[3];
extern Extended Scale;
extern Extended BallDiameter;
extern Extended BallRadius;
extern Extended WorldMinX;
extern Extended WorldMaxX;
extern Extended WorldMinY;
extern Extended WorldMaxY;

// ---- Sprite tables ----
extern std::int32_t ShadowOffset;
extern std::int32_t SpriteSize;
extern std::int32_t RestoreRowBytes;
extern std::int32_t HalfSprite;
extern std::vector<SpritePixel> BodyFullPixels;
extern std::vector<SpritePixel> BodyEdgePixels;
extern std::vector<SpritePixel> ShadowFullPixels;
extern std::vector<SpritePixel> ShadowEdgePixels;
extern std::int32_t BodyFullLast;
extern std::int32_t BodyEdgeLast;
extern std::int32_t ShadowFullLast;
extern std::int32_t ShadowEdgeLast;

// ---- Blend tables ----
extern std::uint8_t MulTable[256][256];
extern std::uint8_t LightTable[256][513];

// ---- Surfaces ----
extern platform::Surface* BackgroundSurface;
extern platform::Surface* BackBuffer;
extern std::vector<std::uint8_t*> BackgroundRows;
extern std::vector<std::uint8_t*> BackBufferRows;
