// The paced simulation thread's sleep on Windows. A plain timed wait follows the system's tick, up to 16 ms
// late; a high-resolution waitable timer (Windows 10 1803 and later) is precise to about a millisecond, and
// where the system has none a plain waitable timer stands in. The timer is waited on together with an event
// WakeSleeper sets, which stays set until a sleep consumes it. Both are made once, on first use by either
// thread, and live as long as the process.

#include "platform/win32_windows.h"

#include "platform/platform.h"

// Older SDKs do not name the flag; older systems refuse it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

struct Sleeper {
    HANDLE Wake;  // auto-reset: the wait that returns on it consumes it
    HANDLE Timer; // nullptr where no timer could be made: the wait then times out on the system's tick
};

Sleeper MakeSleeper() {
    HANDLE timer =
        ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer) {
        timer = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    return Sleeper{::CreateEventW(nullptr, FALSE, FALSE, nullptr), timer};
}

const Sleeper& TheSleeper() {
    static const Sleeper sleeper = MakeSleeper();
    return sleeper;
}

} // namespace

namespace platform {

void SleepUntil(std::chrono::steady_clock::time_point due) {
    const Sleeper& sleeper = TheSleeper();
    // In the timer's units of 100 ns, rounded up so that the sleep never ends before `due`.
    const auto left = std::chrono::ceil<std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>>(
        due - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        ::WaitForSingleObject(sleeper.Wake, 0);
        return;
    }
    const LARGE_INTEGER relative{.QuadPart = -left.count()};
    if (sleeper.Timer && ::SetWaitableTimer(sleeper.Timer, &relative, 0, nullptr, nullptr, FALSE)) {
        // Both set: the lower index, the wake, is the one consumed.
        const HANDLE either[] = {sleeper.Wake, sleeper.Timer};
        ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        return;
    }
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    ::WaitForSingleObject(sleeper.Wake, static_cast<DWORD>(milliseconds));
}

void WakeSleeper() {
    ::SetEvent(TheSleeper().Wake);
}

} // namespace platform
