#pragma once
// The program's screen on the headless platform, and a steady motion of the two balls, so that frames can be
// composed and stepped in isolation; and the whole program run in a thread of its own.

#include <algorithm>
#include <chrono>
#include <future>

#include "ProgramScreen.h"
#include "platform/headless.h"
#include "rendering/Surfaces.h"
#include "shell/Shell.h"

namespace bench_support {

// A fresh headless screen, the balls zeroed as at load, and the program built for it up to its first
// picture.
inline void OpenScreen(std::int32_t width, std::int32_t height) {
    headless::Reset(width, height);
    for (Ball& ball : Balls) {
        ball = Ball{};
    }
    bench::OpenProgramScreen(width, height);
}

inline void CloseScreen() {
    ReleaseSurfaces();
    ReleaseDynamicArrays();
    MainWindow = nullptr;
}

// Both balls glide a few pixels per frame and turn back at the world's bounds, crossing each other now and
// then: ball 1 by (3, 2) pixels, ball 2 by (-2, 3).
struct Glide {
    Extended Step[3][2];

    Glide() {
        const Extended pixel = 1.0L / Scale;
        Step[1][0] = 3.0L * pixel;
        Step[1][1] = 2.0L * pixel;
        Step[2][0] = -2.0L * pixel;
        Step[2][1] = 3.0L * pixel;
        // Inside the bounds even on flat screens, where the start-up position lies below them.
        for (int i = 1; i <= 2; ++i) {
            Balls[i].Y = std::clamp(Balls[i].Y, WorldMinY, WorldMaxY);
        }
    }

    void Advance() {
        for (int i = 1; i <= 2; ++i) {
            Ball& ball = Balls[i];
            ball.X += Step[i][0];
            ball.Y += Step[i][1];
            if (ball.X < WorldMinX || ball.X > WorldMaxX) {
                Step[i][0] = -Step[i][0];
                ball.X = std::clamp(ball.X, WorldMinX, WorldMaxX);
            }
            if (ball.Y < WorldMinY || ball.Y > WorldMaxY) {
                Step[i][1] = -Step[i][1];
                ball.Y = std::clamp(ball.Y, WorldMinY, WorldMaxY);
            }
        }
    }
};

// The whole program, start-up to exit, on a headless screen of its own in a thread of its own.
inline std::future<int> StartProgram(std::int32_t width, std::int32_t height) {
    headless::Reset(width, height);
    for (Ball& ball : Balls) {
        ball = Ball{};
    }
    Running = false;
    return std::async(std::launch::async, [] { return RunProgram(); });
}

// Ends a program started above with a left click and waits for it; false if it does not end.
inline bool EndProgram(std::future<int>& program) {
    headless::Inject(WM_LBUTTONDOWN, 0, 100, 100);
    return program.wait_for(std::chrono::seconds(30)) == std::future_status::ready && program.get() == 0;
}

} // namespace bench_support
