#include "platform/platform.h"
#include "shell/Shell.h"
#include "simulation/Pacing.h"

namespace {
// The page's message loop, one turn on each animation frame: the messages that came since the last one,
// then the steps due since it and their frame. False once the program has ended.
bool AnimationFrame() {
    platform::Message message{};
    while (platform::PeekMessage(message)) {
        if (message.Number == WM_QUIT) {
            FinishProgram(message);
            return false;
        }
        platform::DispatchMessage(message);
    }
    PacedAnimationFrame();
    return true;
}
} // namespace

// The program in a page, started when the page has loaded and again each time the visitor starts it after it
// ended. Always paced, at the screen savers' speed: a page in a browser is a guest on the visitor's machine.
int main() {
    StepsPerSecond = DefaultSpeed;
    if (!StartProgram()) {
        return 1;
    }
    platform::RequestAnimationFrames(AnimationFrame);
    return 0;
}
