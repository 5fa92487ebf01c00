// The long run: the whole program started on the headless platform, then a hundred million steps (some nine
// million frames) with the balls' own velocities, every frame looked at. It takes minutes in an optimised
// build, so it lives outside the unit suite under the CTest label "long". COPPERTROWEL_LONG_STEPS sets
// another number of steps.
//
// What one frame can change: after start-up only ComposeFrame writes the back buffer, and it writes only the
// restore squares at the balls' previous and new corners. If everything outside the previous squares was
// background before a frame, then after it everything outside the new squares is background exactly when the
// parts of the previous squares that the new ones do not cover are. So each frame checks those parts, and the
// whole back buffer, the background surface and the window are checked every so often.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../CompositionSetup.h"
#include "../ProgramRun.h"
#include "simulation/SimulationThread.h"

using namespace testing_support;

namespace {

constexpr std::int32_t Width = 1366, Height = 768; // Scale 2.134375: corners of -1 at the left and top bounds
constexpr std::int64_t FramesBetweenWholeChecks = 1 << 17;
constexpr std::uint8_t BackgroundBgr[3] = {57, 151, 2};

std::int64_t StepsToRun() {
    const char* text = std::getenv("COPPERTROWEL_LONG_STEPS");
    return text && *text ? std::atoll(text) : 100'000'000;
}

struct Square {
    std::int32_t Left, Top, Right, Bottom; // [Left, Right) x [Top, Bottom), cut to the surfaces
};

Square SquareAt(std::int32_t x, std::int32_t y) {
    const std::int32_t side = SpriteSize + ShadowOffset;
    const std::int32_t columns = platform::SurfaceWidth(BackBuffer);
    const auto rows = static_cast<std::int32_t>(BackBufferRows.size());
    return {std::clamp(x, 0, columns), std::clamp(y, 0, rows), std::clamp(x + side, 0, columns),
            std::clamp(y + side, 0, rows)};
}

bool BackgroundBetween(std::int32_t y, std::int32_t from, std::int32_t to,
                       const std::vector<std::uint8_t>& row) {
    return from >= to || std::memcmp(BackBufferRows[static_cast<std::size_t>(y)] + 3 * from,
                                     row.data() + 3 * from, 3 * static_cast<std::size_t>(to - from)) == 0;
}

// Row y of the back buffer holds background in [left, right) except where a current square covers it.
bool BackgroundOutside(std::int32_t y, std::int32_t left, std::int32_t right, const Square (&current)[2],
                       const std::vector<std::uint8_t>& row) {
    // The current squares' columns on this row, in order: at most two holes in the span.
    Square holes[2];
    int count = 0;
    for (const Square& s : current) {
        if (y >= s.Top && y < s.Bottom && s.Left < s.Right) {
            holes[count++] = s;
        }
    }
    if (count == 2 && holes[1].Left < holes[0].Left) {
        std::swap(holes[0], holes[1]);
    }
    std::int32_t from = left;
    for (int h = 0; h < count; ++h) {
        if (!BackgroundBetween(y, from, std::min(right, holes[h].Left), row)) {
            return false;
        }
        from = std::max(from, holes[h].Right);
    }
    return BackgroundBetween(y, from, right, row);
}

// A number as NumberText writes it: digits, a fraction only where one remains (no trailing zero), an
// exponent of two to four digits only for magnitudes far from 1.
bool WellFormed(const std::string& text) {
    std::size_t at = 0;
    auto digits = [&] {
        const std::size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        return at - from;
    };
    if (digits() == 0) {
        return false;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (digits() == 0 || text[at - 1] == '0') {
            return false;
        }
    }
    if (at < text.size() && text[at] == 'e') {
        ++at;
        if (at == text.size() || (text[at] != '+' && text[at] != '-')) {
            return false;
        }
        ++at;
        const std::size_t exponent = digits();
        if (exponent < 2 || exponent > 4) {
            return false;
        }
    }
    return at == text.size();
}

bool Matches(const std::string& text, Extended value) {
    Extended parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return false;
    }
    // Fifteen significant digits.
    return std::fabs(parsed - value) <= 1e-14L * std::fabs(value);
}

// The window got each ball's old and new square, as far as they lie on the window.
bool Presented(const platform::CopyRect& r, const Square& a, const Square& b) {
    for (const Square& s : {a, b}) {
        const std::int32_t right = std::min(s.Right, ScreenWidth), bottom = std::min(s.Bottom, ScreenHeight);
        if (s.Left < right && s.Top < bottom &&
            (s.Left < r.X || s.Top < r.Y || right > r.X + r.Width || bottom > r.Y + r.Height)) {
            return false;
        }
    }
    return true;
}

TEST(LongRun, AHundredMillionStepsKeepTheBallsInsideAndLeaveNothingBehind) {
    const std::int64_t steps = StepsToRun();
    auto program = StartProgram(Width, Height);
    const ProgramEnder ender{program};
    ASSERT_TRUE(headless::WaitForIdle(Patience));
    // The steps are made here, so that every frame can be looked at before the next.
    StopSimulation();
    std::printf("start: ball 1 velocity %.21Lg, %.21Lg; ball 2 velocity %.21Lg, %.21Lg\n", Balls[1].VX,
                Balls[1].VY, Balls[2].VX, Balls[2].VY);

    std::vector<headless::TextCall> texts;
    std::vector<platform::CopyRect> copies;
    headless::TakeDrawingLogs(texts, copies);
    const std::int32_t columns = platform::SurfaceWidth(BackBuffer);
    std::vector<std::uint8_t> backgroundRow(3 * static_cast<std::size_t>(columns));
    for (std::int32_t x = 0; x < columns; ++x) {
        std::memcpy(&backgroundRow[3 * static_cast<std::size_t>(x)], BackgroundBgr, 3);
    }
    const auto rows = static_cast<std::int32_t>(BackBufferRows.size());

    auto wholeCheck = [&](std::int64_t frame) {
        const Square current[2] = {SquareAt(Balls[1].ScreenX, Balls[1].ScreenY),
                                   SquareAt(Balls[2].ScreenX, Balls[2].ScreenY)};
        for (std::int32_t y = 0; y < rows; ++y) {
            ASSERT_EQ(std::memcmp(BackgroundRows[static_cast<std::size_t>(y)], backgroundRow.data(),
                                  backgroundRow.size()),
                      0)
                << "the background surface changed in row " << y << ", frame " << frame;
            ASSERT_TRUE(BackgroundOutside(y, 0, columns, current, backgroundRow))
                << "row " << y << " of the back buffer holds more than background, frame " << frame;
        }
        ASSERT_TRUE(WindowEqualsBackBuffer()) << "frame " << frame;
    };

    std::int64_t frames = 0, bounces = 0;
    Extended nearest = 1e30L, farthest = 0, fastest = 0;
    const auto started = std::chrono::steady_clock::now();
    for (std::int64_t step = 0; step < steps; ++step) {
        const bool frameStep = StepCounter + 1 > RenderPeriod;
        const Square previous[2] = {SquareAt(Balls[1].PrevScreenX, Balls[1].PrevScreenY),
                                    SquareAt(Balls[2].PrevScreenX, Balls[2].PrevScreenY)};
        // Bounces, for the record: a step whose motion alone would carry a ball past a bound.
        for (int i = 1; i <= 2; ++i) {
            const Extended x = Balls[i].X + Balls[i].VX, y = Balls[i].Y + Balls[i].VY;
            bounces += (x < WorldMinX || x > WorldMaxX) + (y < WorldMinY || y > WorldMaxY);
        }

        SimulationStep();

        for (int i = 1; i <= 2; ++i) {
            ASSERT_TRUE(InsideTheWorld(Balls[i]))
                << "ball " << i << " at " << Balls[i].X << "," << Balls[i].Y << " moving " << Balls[i].VX
                << "," << Balls[i].VY << " after step " << step;
        }
        if (!frameStep) {
            continue;
        }
        ++frames;
        const Square current[2] = {SquareAt(Balls[1].ScreenX, Balls[1].ScreenY),
                                   SquareAt(Balls[2].ScreenX, Balls[2].ScreenY)};
        for (const Square& s : previous) {
            for (std::int32_t y = s.Top; y < s.Bottom; ++y) {
                ASSERT_TRUE(BackgroundOutside(y, s.Left, s.Right, current, backgroundRow))
                    << "left behind in row " << y << " at frame " << frames;
            }
        }

        headless::TakeDrawingLogs(texts, copies);
        ASSERT_EQ(copies.size(), 2u) << "frame " << frames;
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(Presented(copies[static_cast<std::size_t>(i)], previous[i], current[i]))
                << "ball " << i + 1 << " at frame " << frames;
        }
        const Extended speedSum = std::hypot(Balls[1].VX, Balls[1].VY) + std::hypot(Balls[2].VX, Balls[2].VY);
        ASSERT_TRUE(WellFormed(DistanceText) && Matches(DistanceText, StepDistance))
            << "'" << DistanceText << "' for " << StepDistance << " at frame " << frames;
        ASSERT_TRUE(WellFormed(SpeedSumText) && Matches(SpeedSumText, speedSum))
            << "'" << SpeedSumText << "' for " << speedSum << " at frame " << frames;
        ASSERT_EQ(texts.size(), 2u) << "frame " << frames;
        ASSERT_TRUE(texts[0].X == 10 && texts[0].Y == 10 && texts[0].Text == DistanceText.substr(0, 5))
            << "'" << texts[0].Text << "' at frame " << frames;
        ASSERT_TRUE(texts[1].X == 10 && texts[1].Y == 30 && texts[1].Text == SpeedSumText.substr(0, 8))
            << "'" << texts[1].Text << "' at frame " << frames;
        nearest = std::min(nearest, StepDistance);
        farthest = std::max(farthest, StepDistance);
        fastest = std::max(fastest, speedSum);

        if (frames % FramesBetweenWholeChecks == 0) {
            wholeCheck(frames);
            ASSERT_FALSE(HasFatalFailure());
        }
    }
    wholeCheck(frames);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "%lld steps, %lld frames, %lld bounces in %.0f s; distance %.3Lf to %.3Lf, speed sum up to %.6Lf\n",
        static_cast<long long>(steps), static_cast<long long>(frames), static_cast<long long>(bounces),
        seconds, nearest, farthest, fastest);

    headless::Inject(WM_LBUTTONDOWN, 0, Width / 2, Height / 2);
    EXPECT_EQ(ExitStatus(program), 0);
    EXPECT_EQ(headless::LiveSurfaces(), 0);
}

} // namespace
