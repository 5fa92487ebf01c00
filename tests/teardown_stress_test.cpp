// The hand-over at teardown, many times over: the whole program on the headless platform ended by a click at
// a random moment, from before the simulation thread has made its first step to well into its run. Under
// ThreadSanitizer every run is another chance to catch the main thread and the simulation thread touching the
// same thing without order: the flag, the frame under way while it clears, the surfaces released after it.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "ProgramRun.h"
#include "simulation/SimulationThread.h"

using namespace testing_support;

namespace {

TEST(TeardownStress, ClicksAtRandomMomentsEndEveryRunOnAWholeFrame) {
    const std::pair<std::int32_t, std::int32_t> screens[] = {{640, 480}, {1366, 768}, {27, 2}, {200, 1000}};
    std::mt19937 chooser(20240611u);
    std::uniform_int_distribution<int> microseconds(0, 20000);
    for (int run = 0; run < 300; ++run) {
        const auto& [w, h] = screens[run % 4];
        // One run in five clicks as soon as the window exists: the click waits in the queue while start-up
        // goes on, and the teardown stops a thread that has only just been created.
        const int delay = run % 5 == 0 ? 0 : microseconds(chooser);
        SCOPED_TRACE("run " + std::to_string(run) + ", " + std::to_string(w) + "x" + std::to_string(h) +
                     ", click after " + std::to_string(delay) + " us");
        auto program = StartProgram(w, h);
        const ProgramEnder ender{program};
        if (delay > 0) {
            ASSERT_TRUE(headless::WaitForIdle(Patience));
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
        } else {
            // A click before the window exists would reach no window at all.
            const auto deadline = std::chrono::steady_clock::now() + Patience;
            while (!headless::Window().Exists && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
        }
        headless::Inject(WM_LBUTTONDOWN, 0, w / 2, h / 2);
        ASSERT_EQ(ExitStatus(program), 0);

        // Every frame the thread began was finished, its two numbers included, before the surfaces went: the
        // start-up picture's two copies (a frame and the whole back buffer), then two copies and two texts a
        // frame.
        const std::size_t texts = headless::TextCalls().size();
        ASSERT_EQ(texts % 2, 0u);
        ASSERT_EQ(headless::WindowCopies().size(), 3 + texts);
        ASSERT_FALSE(Running);
        ASSERT_FALSE(SimulationWorker.joinable());
        ASSERT_EQ(headless::LiveSurfaces(), 0);
        ASSERT_TRUE(DistanceText.empty());
    }
}

} // namespace
