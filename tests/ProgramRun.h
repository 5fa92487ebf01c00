#pragma once
// Runs the whole program, start-up to exit, on the headless platform in a thread of its own, the way the
// process would run it, so a test can click, close and look at the window meanwhile.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless.h"
#include "shell/ProgramMode.h"
#include "shell/Shell.h"
#include "simulation/Pacing.h"
#include "simulation/SimulationThread.h"

namespace testing_support {

// How long a wait may take before it counts as a hang: generous, since a large screen in a sanitizer build on
// a loaded machine takes many seconds to start; only a failing test ever waits it out.
inline constexpr std::chrono::seconds Patience{60};

// Zeroes what the process would find zero at load, so every run starts like a fresh process.
inline void ResetProgramState() {
    for (Ball& ball : Balls) {
        ball = Ball{};
    }
    Running = false;
    Mode = ProgramMode::Demo;
    HostWindowId = 0;
    StepsPerSecond = 0;
    FramesPerSecond = 0;
}

// Starts RunProgram in a mode on a screen of the given size, or in a host's window of that size the test's
// host made, paced when stepsPerSecond is given; the future holds its exit status.
inline std::future<int> StartProgram(std::int32_t width, std::int32_t height,
                                     ProgramMode mode = ProgramMode::Demo, std::uint32_t stepsPerSecond = 0,
                                     std::uint32_t framesPerSecond = 0) {
    headless::Reset(width, height);
    ResetProgramState();
    Mode = mode;
    StepsPerSecond = stepsPerSecond;
    FramesPerSecond = framesPerSecond;
    if (InHostWindow()) {
        HostWindowId = headless::MakeHostWindow(width, height);
    }
    return std::async(std::launch::async, [] { return RunProgram(); });
}

// The program's exit status, or -1 when it has not ended within the test's patience.
inline int ExitStatus(std::future<int>& program) {
    return program.wait_for(Patience) == std::future_status::ready ? program.get() : -1;
}

// A window picture of width x height shows the background colour everywhere outside the two balls' squares
// (SpriteSize + ShadowOffset on a side at their ScreenX, ScreenY). Nothing black where nothing was copied,
// nothing left over from another frame or another screen size.
inline ::testing::AssertionResult BackgroundOutsideTheBalls(const std::vector<std::uint8_t>& picture,
                                                            std::int32_t width, std::int32_t height) {
    if (picture.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        return ::testing::AssertionFailure() << "the picture holds " << picture.size() << " bytes, not "
                                             << width << "x" << height << " pixels";
    }
    const std::int32_t side = SpriteSize + ShadowOffset;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            bool inBall = false;
            for (int i = 1; i <= 2; ++i) {
                inBall |= x >= Balls[i].ScreenX && x < Balls[i].ScreenX + side && y >= Balls[i].ScreenY &&
                          y < Balls[i].ScreenY + side;
            }
            const std::uint8_t* pixel =
                picture.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x)) *
                                     3;
            if (!inBall && (pixel[0] != 57 || pixel[1] != 151 || pixel[2] != 2)) {
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << int{pixel[0]} << "," << int{pixel[1]} << ","
                       << int{pixel[2]} << " (blue, green, red), not the background";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The ball lies inside the world and moves at a finite speed: false for NaN, and infinities fail the bounds.
inline bool InsideTheWorld(const Ball& ball) {
    return ball.X >= WorldMinX && ball.X <= WorldMaxX && ball.Y >= WorldMinY && ball.Y <= WorldMaxY &&
           std::isfinite(ball.VX) && std::isfinite(ball.VY);
}

// Waits until the simulation thread has drawn the numbers of `frames` more frames than `texts` counts.
inline bool WaitForFrames(std::size_t texts, std::size_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (headless::TextCalls().size() < texts + 2 * frames) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Ends the program however a test ends: after a failed assertion it would otherwise wait for input for ever,
// and the future's destructor with it.
struct ProgramEnder {
    std::future<int>& Program;
    ~ProgramEnder() {
        if (Program.valid()) {
            headless::Inject(WM_LBUTTONDOWN, 0, 0, 0);
            headless::Inject(WM_CLOSE); // in a host's window no click ends the program
            Program.wait();
        }
    }
};

} // namespace testing_support
