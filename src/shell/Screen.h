#pragma once
// The program built for the screen it covers: what start-up, a screen change, the tests and the benchmarks
// all do once the window is there.

#include <string>

#include "UTypes.h"

// The host's window the program draws in (Preview, InsideWindow), and the class's brush, which paints a
// window too small for the program. Set at start-up.
extern platform::WindowHandle Host;
extern platform::BrushHandle BackgroundBrush;
// The balls have been set off in this run: a rebuild keeps them where they are instead of starting them.
extern bool BallsStarted;

// ScreenWidth and ScreenHeight from the primary screen's metrics, or the host's window's inside in the modes
// that draw in one, and Scale from them.
void MeasureScreen();
// Empty when the program can work on a ScreenWidth x ScreenHeight screen, else why not, for the user.
std::string ScreenRefusal();
// Why the surfaces for the current screen could not be had, for the user.
std::string SurfacesRefusal();

// The program built for a ScreenWidth x ScreenHeight screen of that Scale whose window exists: ball size,
// sprite tables, world bounds, light level, surfaces, the program's own window shown the first time, and the
// whole picture presented: the balls set off the first time, else kept where they are in the world (brought
// inside a world that no longer holds them). False when the surfaces cannot be had; no surface is left then.
bool BuildProgramForScreen();
// The whole window painted in the background colour: the picture of a window too small for the program.
void PaintBackgroundOnly();
// Releases the dynamic arrays that outlive start-up, in the program's finalisation order.
void ReleaseDynamicArrays();
