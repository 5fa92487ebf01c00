#include "shell/Shell.h"

int RunProgram() {
    if (!StartProgram()) {
        return 1;
    }
    platform::Message message{};
    while (platform::GetMessage(message)) {
        platform::TranslateMessage(message);
        platform::DispatchMessage(message);
    }
    return FinishProgram(message);
}
