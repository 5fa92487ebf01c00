#pragma once
// Runs the whole program, start-up to exit, on the headless platform in a thread of its own, the way the
// process would run it, so a test can click, close and look at the window meanwhile.

#include <chrono>
#include <future>

#include "platform/headless.h"
#include "shell/Startup.h"

namespace testing_support {

inline constexpr std::chrono::seconds Patience{20};

// Zeroes what the process would find zero at load, so every run starts like a fresh process.
inline void ResetProgramState() {
    for (Ball& ball : Balls) {
        ball = Ball{};
    }
    Running = false;
}

// Starts RunProgram on a screen of the given size; the future holds its exit status.
inline std::future<int> StartProgram(std::int32_t width, std::int32_t height) {
    headless::Reset(width, height);
    ResetProgramState();
    return std::async(std::launch::async, [] { return RunProgram(); });
}

// The program's exit status, or -1 when it has not ended within the test's patience.
inline int ExitStatus(std::future<int>& program) {
    return program.wait_for(Patience) == std::future_status::ready ? program.get() : -1;
}

// Ends the program however a test ends: after a failed assertion it would otherwise wait for input for ever,
// and the future's destructor with it.
struct ProgramEnder {
    std::future<int>& Program;
    ~ProgramEnder() {
        if (Program.valid()) {
            headless::InjectLeftClick(0, 0);
            Program.wait();
        }
    }
};

} // namespace testing_support
