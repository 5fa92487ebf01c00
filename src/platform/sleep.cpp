// The paced simulation thread's sleep, for the backends whose standard library's timed wait is precise enough
// (X11, headless): a condition variable the main thread's WakeSleeper signals.

#include <condition_variable>
#include <mutex>

#include "platform/platform.h"

namespace {
std::mutex WakeLock;
std::condition_variable WakeSignal;
bool WakePending = false;
} // namespace

namespace platform {

void SleepUntil(std::chrono::steady_clock::time_point due) {
    std::unique_lock guard(WakeLock);
    WakeSignal.wait_until(guard, due, [] { return WakePending; });
    WakePending = false;
}

void WakeSleeper() {
    {
        std::lock_guard guard(WakeLock);
        WakePending = true;
    }
    WakeSignal.notify_one();
}

} // namespace platform
