#include "rendering/Composition.h"

#include "rendering/SpriteRuns.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// A ball's sprite square can reach past the surfaces: one pixel before the left or top edge when HalfSprite
// exceeds the truncated radius, below the last row at start-up on very flat screens, and past the right or
// bottom margin on narrow screens whose shadow offset is thinner than the overhang. Every access is therefore
// kept to the part of the square that lies inside both surfaces; the picture is exactly what surfaces with
// margins on every side would show, cut to the surfaces we have.
struct SquareClip {
    // Columns [Left, Right) and rows [Top, Bottom); empty when nothing of the square is inside.
    std::int32_t Left, Top, Right, Bottom;
    // The whole square is inside. Every entry of the four pixel lists lies within the square, so then no
    // pixel needs a check of its own.
    bool Whole;
};

// Surface size common to both surfaces, taken once per frame.
std::int32_t SurfaceColumns;
std::int32_t SurfaceRows;

// Positions beyond this many pixels lie outside every surface; keeping the product below it makes the
// conversion to 32 bits defined and leaves room for the square's side and the rectangles' widths.
constexpr Extended FarPixel = 16777216.0L;

void MeasureSurfaces() {
    SurfaceColumns = std::min(platform::SurfaceWidth(BackgroundSurface), platform::SurfaceWidth(BackBuffer));
    SurfaceRows = static_cast<std::int32_t>(std::min(BackgroundRows.size(), BackBufferRows.size()));
    SurfaceColumns = std::max(SurfaceColumns, 0);
}

// The RestoreSquare at corner (x, y), cut to the surfaces.
SquareClip ClipSquare(std::int32_t x, std::int32_t y) {
    const std::int64_t side = std::int64_t{SpriteSize} + ShadowOffset;
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(x + side, SurfaceColumns);
    const std::int64_t bottom = std::min<std::int64_t>(y + side, SurfaceRows);
    if (left >= right || top >= bottom) {
        return SquareClip{0, 0, 0, 0, false};
    }
    const bool whole = left == x && top == y && right == x + side && bottom == y + side;
    return SquareClip{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                      static_cast<std::int32_t>(right), static_cast<std::int32_t>(bottom), whole};
}

bool Inside(const SquareClip& clip, std::ptrdiff_t x, std::ptrdiff_t y) {
    return x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
}

// Trunc(logical x Scale) - HalfSprite, the product in extended precision and truncated toward zero.
std::int32_t SquareCorner(Extended logical) {
    Extended pixel = logical * Scale;
    if (!(pixel > -FarPixel)) { // also a NaN
        pixel = -FarPixel;
    } else if (pixel > FarPixel) {
        pixel = FarPixel;
    }
    return static_cast<std::int32_t>(pixel) - HalfSprite;
}

void EraseSquare(const Ball& ball) {
    const SquareClip clip = ClipSquare(ball.PrevScreenX, ball.PrevScreenY);
    // RestoreRowBytes per row when the square is whole; fewer where it is cut.
    const std::size_t bytes = 3 * static_cast<std::size_t>(clip.Right - clip.Left);
    const std::size_t offset = 3 * static_cast<std::size_t>(clip.Left);
    std::uint8_t* const* const back = BackBufferRows.data();
    const std::uint8_t* const* const ground = BackgroundRows.data();
    for (std::int32_t y = clip.Top; y < clip.Bottom; ++y) {
        const auto row = static_cast<std::size_t>(y);
        std::memcpy(back[row] + offset, ground[row] + offset, bytes);
    }
}

// One ball's sprite in this frame: its corner and the row tables, read once per list into locals. Every
// pixel is a byte store, and a byte store may alias any global, so a global read inside the pixel loops
// would be read again after every pixel.
struct Placement {
    std::uint8_t* const* Back;
    const std::uint8_t* const* Ground;
    std::ptrdiff_t Left, Top;
    SquareClip Clip;
};

Placement PlaceSprite(const Ball& ball, const SquareClip& clip) {
    return Placement{BackBufferRows.data(), BackgroundRows.data(), ball.ScreenX, ball.ScreenY, clip};
}

// The three bytes of each pixel are worked out into locals first and stored together afterwards, so no
// store stands between the loads of one pixel. Each pixel loop is a function of its own, kept out of
// ComposeFrame, so that it has the registers to itself: inlined, some of its locals lived on the stack.

// The columns [from, to) of a run that lie inside the clip, for a run at x on row y; empty when none do.
template <bool Checked>
bool ClipRun(const SquareClip& clip, std::ptrdiff_t x, std::ptrdiff_t y, std::ptrdiff_t length,
             std::ptrdiff_t& from, std::ptrdiff_t& to) {
    from = x;
    to = x + length;
    if constexpr (Checked) {
        if (y < clip.Top || y >= clip.Bottom) {
            return false;
        }
        from = std::max<std::ptrdiff_t>(from, clip.Left);
        to = std::min<std::ptrdiff_t>(to, clip.Right);
    }
    return from < to;
}

// Shadows are always computed from the background, so where two shadows overlap the pixel is darkened once.
// Each byte of a run is the light table's entry for the byte beneath it at the shadow's level; over one
// colour, as the background is, that is one darkened pixel repeated.
template <bool Checked>
[[gnu::noinline]] void DrawShadowFull(const Placement& at, const SpriteRuns& runs, std::size_t level) {
    std::uint8_t* const* const back = at.Back;
    const std::uint8_t* const* const ground = at.Ground;
    const std::uint8_t* const darkened = &LightTable[0][level];
    constexpr std::size_t Levels = sizeof LightTable[0];
    for (const SpriteRun& run : runs.Runs) {
        const std::ptrdiff_t y = at.Top + run.Row;
        std::ptrdiff_t from = 0, to = 0;
        if (!ClipRun<Checked>(at.Clip, at.Left + run.Col, y, run.Length, from, to)) {
            continue;
        }
        const std::uint8_t* under = ground[y] + 3 * from;
        std::uint8_t* pixel = back[y] + 3 * from;
        const auto bytes = 3 * static_cast<std::size_t>(to - from);
        // Every pixel beneath like its neighbour: the run lies on one colour.
        if (std::memcmp(under, under + 3, bytes - 3) == 0) {
            std::memcpy(pixel, ShadowFillFor(under, level), bytes);
            continue;
        }
        for (std::size_t k = 0; k < bytes; ++k) {
            pixel[k] = darkened[Levels * under[k]];
        }
    }
}

template <bool Checked>
[[gnu::noinline]] void DrawShadowEdge(const Placement& at, const std::vector<SpritePixel>& pixels,
                                      std::size_t level) {
    std::uint8_t* const* const back = at.Back;
    const std::uint8_t* const* const ground = at.Ground;
    const std::ptrdiff_t left = at.Left, top = at.Top;
    for (const SpritePixel *p = pixels.data(), *end = p + pixels.size(); p != end; ++p) {
        const std::ptrdiff_t x = left + p->Col;
        const std::ptrdiff_t y = top + p->Row;
        if constexpr (Checked) {
            if (!Inside(at.Clip, x, y)) {
                continue;
            }
        }
        const std::uint8_t* under = ground[y] + 3 * x;
        const std::uint8_t* keep = MulTable[p->InvAlpha];
        const std::uint8_t* cover = MulTable[p->Alpha];
        const std::uint8_t u0 = under[0], u1 = under[1], u2 = under[2];
        const auto blue = static_cast<std::uint8_t>(keep[u0] + cover[LightTable[u0][level]]);
        const auto green = static_cast<std::uint8_t>(keep[u1] + cover[LightTable[u1][level]]);
        const auto red = static_cast<std::uint8_t>(keep[u2] + cover[LightTable[u2][level]]);
        std::uint8_t* pixel = back[y] + 3 * x;
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
    }
}

// The ball's colour lit by each pixel's shade: one LightTable row per colour byte.
struct LitColour {
    const std::uint8_t* Blue;
    const std::uint8_t* Green;
    const std::uint8_t* Red;
};

// The body's fully covered pixels take the ball's colour at their shade, made once: a run is a copy.
template <bool Checked>
[[gnu::noinline]] void DrawBodyFull(const Placement& at, const SpriteRuns& runs,
                                    const std::uint8_t* colours) {
    std::uint8_t* const* const back = at.Back;
    for (const SpriteRun& run : runs.Runs) {
        const std::ptrdiff_t x = at.Left + run.Col;
        const std::ptrdiff_t y = at.Top + run.Row;
        std::ptrdiff_t from = 0, to = 0;
        if (!ClipRun<Checked>(at.Clip, x, y, run.Length, from, to)) {
            continue;
        }
        std::memcpy(back[y] + 3 * from, colours + 3 * (run.First + (from - x)),
                    3 * static_cast<std::size_t>(to - from));
    }
}

// The rim blends with whatever the back buffer already holds there: background, a shadow or the other ball.
template <bool Checked>
[[gnu::noinline]] void DrawBodyEdge(const Placement& at, const std::vector<SpritePixel>& pixels,
                                    LitColour lit) {
    std::uint8_t* const* const back = at.Back;
    const std::ptrdiff_t left = at.Left, top = at.Top;
    for (const SpritePixel *p = pixels.data(), *end = p + pixels.size(); p != end; ++p) {
        const std::ptrdiff_t x = left + p->Col;
        const std::ptrdiff_t y = top + p->Row;
        if constexpr (Checked) {
            if (!Inside(at.Clip, x, y)) {
                continue;
            }
        }
        std::uint8_t* pixel = back[y] + 3 * x;
        const std::uint8_t* keep = MulTable[p->InvAlpha];
        const std::uint8_t* cover = MulTable[p->Alpha];
        const std::size_t shade = p->Shade;
        const auto blue = static_cast<std::uint8_t>(keep[pixel[0]] + cover[lit.Blue[shade]]);
        const auto green = static_cast<std::uint8_t>(keep[pixel[1]] + cover[lit.Green[shade]]);
        const auto red = static_cast<std::uint8_t>(keep[pixel[2]] + cover[lit.Red[shade]]);
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
    }
}

template <bool Checked>
void DrawShadow(const Ball& ball, const SquareClip& clip) {
    const Placement at = PlaceSprite(ball, clip);
    DrawShadowFull<Checked>(at, ShadowFullRuns, LightLevel);
    DrawShadowEdge<Checked>(at, ShadowEdgePixels, LightLevel);
}

template <bool Checked>
void DrawBody(const Ball& ball, BodyColours& colours, const SquareClip& clip) {
    const Placement at = PlaceSprite(ball, clip);
    const LitColour lit{LightTable[ball.Blue], LightTable[ball.Green], LightTable[ball.Red]};
    DrawBodyFull<Checked>(at, BodyFullRuns, BodyColoursOf(ball, colours));
    DrawBodyEdge<Checked>(at, BodyEdgePixels, lit);
}

void Present(Ball& ball) {
    const std::int32_t dx = ball.ScreenX - ball.PrevScreenX;
    const std::int32_t dy = ball.ScreenY - ball.PrevScreenY;
    const std::int32_t left = dx > 0 ? ball.PrevScreenX : ball.ScreenX;
    const std::int32_t top = dy > 0 ? ball.PrevScreenY : ball.ScreenY;
    const std::int32_t width = std::abs(dx) + ShadowOffset + SpriteSize;
    const std::int32_t height = std::abs(dy) + ShadowOffset + SpriteSize;
    // The platform clips the rectangle to the back buffer and the window.
    platform::BitBlt(WindowDC, left, top, width, height, platform::SurfaceDC(BackBuffer), left, top, SRCCOPY);
    ball.PrevScreenY = ball.ScreenY;
    ball.PrevScreenX = ball.ScreenX;
}

} // namespace

void ComposeFrame() {
    MeasureSurfaces();

    for (int i = 1; i <= 2; ++i) {
        EraseSquare(Balls[i]);
    }

    SquareClip clips[3];
    for (int i = 1; i <= 2; ++i) {
        Ball& ball = Balls[i];
        ball.ScreenX = SquareCorner(ball.X);
        ball.ScreenY = SquareCorner(ball.Y);
        clips[i] = ClipSquare(ball.ScreenX, ball.ScreenY);
        if (clips[i].Whole) {
            DrawShadow<false>(ball, clips[i]);
        } else {
            DrawShadow<true>(ball, clips[i]);
        }
    }

    for (int i = 1; i <= 2; ++i) {
        if (clips[i].Whole) {
            DrawBody<false>(Balls[i], BallBodyColours[i], clips[i]);
        } else {
            DrawBody<true>(Balls[i], BallBodyColours[i], clips[i]);
        }
    }

    WindowDC = platform::GetDC(MainWindow);
    for (int i = 1; i <= 2; ++i) {
        Present(Balls[i]);
    }
    platform::ReleaseDC(MainWindow, WindowDC);
}

void CopyBackBufferToWindow() {
    WindowDC = platform::GetDC(MainWindow);
    platform::BitBlt(WindowDC, 0, 0, platform::SurfaceWidth(BackBuffer), platform::SurfaceHeight(BackBuffer),
                     platform::SurfaceDC(BackBuffer), 0, 0, SRCCOPY);
    platform::ReleaseDC(MainWindow, WindowDC);
}

void PresentAll() {
    ComposeFrame();
    CopyBackBufferToWindow();
}

void PlaceBallsOnScreen() {
    for (int i = 1; i <= 2; ++i) {
        Ball& ball = Balls[i];
        ball.ScreenX = SquareCorner(ball.X);
        ball.ScreenY = SquareCorner(ball.Y);
        ball.PrevScreenX = ball.ScreenX;
        ball.PrevScreenY = ball.ScreenY;
    }
}
