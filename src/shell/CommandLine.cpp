#include "shell/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ProgramVersion.h"
#include "platform/platform.h"
#include "shell/ProgramMode.h"
#include "shell/Shell.h"
#include "simulation/Pacing.h"

int ArgumentCount;
const char* const* ArgumentValues;

namespace {

enum class Request : std::uint8_t { Run, Help, Version, Refused };

// Whether an option takes a window number, and how: as the next argument or after a colon ("/p 1234",
// "/p:1234"), or only after a colon, where a bare option means none ("/c", "/c:1234"); or a count, a whole
// number from 1 as the next argument ("--speed 6600").
enum class ValueKind : std::uint8_t { Nothing, Number, NumberAfterColon, Count };

// What an option says of the pacing; an option that says something of it decides no mode.
enum class Pace : std::uint8_t { Nothing, Speed, FrameRate, Unpaced };

struct Option {
    const char* Name;      // a name with one slash is a Windows spelling: "/s" also matches "/S", "-s", "-S"
    const char* ValueName; // as the usage shows it
    Request Asks;
    ProgramMode Sets;
    ValueKind Takes;
    bool HostFromVariable; // XSCREENSAVER_WINDOW, when set, names the host's window (and the mode)
    const char* Meaning;
    Pace Paces = Pace::Nothing;
    std::uint32_t Most = 0; // the largest count taken
};

// The options, in the order the usage lists them. Short meanings: on Windows the usage may be shown in a
// message box, which wraps long lines.
constexpr Option Options[] = {
    {"--help", "", Request::Help, ProgramMode::Demo, ValueKind::Nothing, false, "print this help and exit"},
    {"--version", "", Request::Version, ProgramMode::Demo, ValueKind::Nothing, false,
     "print the name and version and exit"},
    {"--speed", " S", Request::Run, ProgramMode::Demo, ValueKind::Count, false, "paced at S steps a second",
     Pace::Speed, MostStepsPerSecond},
    {"--fps", " F", Request::Run, ProgramMode::Demo, ValueKind::Count, false, "paced at F frames a second",
     Pace::FrameRate, MostFramesPerSecond},
    {"--unpaced", "", Request::Run, ProgramMode::Demo, ValueKind::Nothing, false,
     "run without pause, as the demo does", Pace::Unpaced},
    {"--window-id", " ID", Request::Run, ProgramMode::InsideWindow, ValueKind::Number, false,
     "draw in X window ID (X11)"},
    {"--root", "", Request::Run, ProgramMode::InsideWindow, ValueKind::Nothing, true,
     "draw in the root window (X11)"},
    {"/s", "", Request::Run, ProgramMode::ScreenSaver, ValueKind::Nothing, false,
     "screen saver: any input ends it"},
    {"/p", " HWND", Request::Run, ProgramMode::Preview, ValueKind::Number, false,
     "preview inside window HWND"},
    {"/c", "", Request::Run, ProgramMode::Configure, ValueKind::NumberAfterColon, false,
     "settings: the speed"},
};
// No option at all, where an X11 host may name its window in the environment.
constexpr Option NoOption{"", "", Request::Run, ProgramMode::Demo, ValueKind::Nothing, true, ""};

constexpr const char* HostVariable = "XSCREENSAVER_WINDOW";

// What the command line asks for, and the line that refuses it.
struct Reading {
    Request Asks;
    std::string Refusal;
    bool RefusalNeedsUsage;
};

// The pacing options as read: 0 where not given.
struct PaceAsked {
    std::uint32_t Speed, FrameRate;
    bool Unpaced;
};

Reading Refused(std::string line, bool withUsage = true) {
    return Reading{Request::Refused, std::move(line), withUsage};
}

// The argument on one line, quoted so that an empty one shows; a control character (a line end, a terminal's
// escape) is written as \xHH rather than acted on.
std::string Quoted(const char* argument) {
    std::string text = "\"";
    for (const char* c = argument; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += *c;
        }
    }
    return text + "\"";
}

// A window number: decimal, or hexadecimal after 0x; nothing else around it (no sign, no space), not 0, and
// within 32 bits, which is what an X window id and a window handle passed between programs hold.
bool ReadWindowNumber(const char* text, std::uintptr_t& number) {
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text + 2 : text;
    const char* end = digits + std::strlen(digits);
    std::uint32_t value = 0;
    const auto [stop, error] = std::from_chars(digits, end, value, hex ? 16 : 10);
    if (digits == end || stop != end || error != std::errc{} || value == 0) {
        return false;
    }
    number = value;
    return true;
}

// A count: decimal digits alone, from 1 to `most`.
bool ReadCount(const char* text, std::uint32_t most, std::uint32_t& count) {
    const char* end = text + std::strlen(text);
    std::uint32_t value = 0;
    const auto [stop, error] = std::from_chars(text, end, value);
    if (text == end || stop != end || error != std::errc{} || value == 0 || value > most) {
        return false;
    }
    count = value;
    return true;
}

// Whether the argument is this option; `inlineValue` is what follows a Windows spelling's colon, if anything.
bool Matches(const Option& option, const char* argument, const char*& inlineValue) {
    inlineValue = nullptr;
    if (option.Name[1] == '-') {
        return std::strcmp(option.Name, argument) == 0;
    }
    if ((argument[0] != '/' && argument[0] != '-') ||
        std::tolower(static_cast<unsigned char>(argument[1])) != option.Name[1]) {
        return false;
    }
    if (argument[2] == ':' && option.Takes != ValueKind::Nothing) {
        inlineValue = argument + 3;
        return true;
    }
    return argument[2] == '\0';
}

bool EndsWithScr(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && std::equal(name + length - 4, name + length, ".scr", [](char c, char lower) {
               return std::tolower(static_cast<unsigned char>(c)) == lower;
           });
}

bool PlatformDoes(ProgramMode mode) {
    const platform::ScreenSaverHost host = platform::ScreenSaverHostKind();
    if (host == platform::ScreenSaverHost::Both || mode == ProgramMode::Demo) {
        return true;
    }
    return (mode == ProgramMode::InsideWindow) == (host == platform::ScreenSaverHost::XWindow);
}

// The deciding option's mode, with the host's window XSCREENSAVER_WINDOW names where the option takes it from
// there; refused when the variable is set to no window number, or when the mode is one this window system
// has no host for.
Reading Decide(const Option& option, const char* spelling, std::uintptr_t number) {
    Mode = option.Sets;
    HostWindowId = number;
    const char* value = option.HostFromVariable ? std::getenv(HostVariable) : nullptr;
    if (value && *value) {
        if (!ReadWindowNumber(value, HostWindowId)) {
            return Refused(std::string("coppertrowel: ") + HostVariable +
                           " is not a window number (decimal or 0x hexadecimal): " + Quoted(value));
        }
        Mode = ProgramMode::InsideWindow;
    }
    if (!PlatformDoes(Mode)) {
        return Refused("coppertrowel: " + Quoted(spelling) + " is for " +
                           (Mode == ProgramMode::InsideWindow ? "X11" : "Windows") + ", not this system",
                       false);
    }
    return Reading{option.Asks, {}, false};
}

// What an option's value must be, for the line that refuses it.
std::string ValueWanted(const Option& option, bool detailed) {
    if (option.Takes != ValueKind::Count) {
        return detailed ? "a window number (decimal or 0x hexadecimal)" : "a window number";
    }
    return detailed ? "a whole number from 1 to " + std::to_string(option.Most) : "a whole number";
}

// Every argument must be known, and every value valid, wherever it stands, so that a mistyped one is never
// passed over because an option before it had already decided; of the known ones the first that is not a
// pacing option decides.
Reading ReadCommandLine(PaceAsked& pace) {
    pace = PaceAsked{};
    Mode = ProgramMode::Demo;
    HostWindowId = 0;
    const Option* deciding = nullptr;
    const char* decidingSpelling = nullptr;
    std::uintptr_t decidingNumber = 0;
    for (int i = 1; i < ArgumentCount; ++i) {
        const char* argument = ArgumentValues[i];
        const char* value = nullptr;
        const auto option = std::find_if(std::begin(Options), std::end(Options),
                                         [&](const Option& o) { return Matches(o, argument, value); });
        if (option == std::end(Options)) {
            return Refused("coppertrowel: unknown argument " + Quoted(argument));
        }
        if ((option->Takes == ValueKind::Number || option->Takes == ValueKind::Count) && !value) {
            if (i + 1 == ArgumentCount) {
                return Refused("coppertrowel: " + Quoted(argument) + " needs " + ValueWanted(*option, false));
            }
            value = ArgumentValues[++i];
        }
        std::uintptr_t number = 0;
        std::uint32_t count = 0;
        if (value && !(option->Takes == ValueKind::Count ? ReadCount(value, option->Most, count)
                                                         : ReadWindowNumber(value, number))) {
            return Refused("coppertrowel: " + Quoted(argument) + " needs " + ValueWanted(*option, true) +
                           ", not " + Quoted(value));
        }
        if (option->Paces == Pace::Speed) {
            pace.Speed = count;
        } else if (option->Paces == Pace::FrameRate) {
            pace.FrameRate = count;
        }
        pace.Unpaced |= option->Paces == Pace::Unpaced;
        if (!deciding && option->Paces == Pace::Nothing) {
            deciding = option;
            decidingSpelling = argument;
            decidingNumber = number;
        }
    }
    if (pace.Unpaced && (pace.Speed || pace.FrameRate)) {
        return Refused("coppertrowel: \"--unpaced\" cannot go with --speed or --fps", false);
    }
    if (deciding) {
        return Decide(*deciding, decidingSpelling, decidingNumber);
    }
    // Started by name alone: Windows starts a screen saver file that way for its settings; an X11 host names
    // its window in the environment.
    if (ArgumentCount == 1 && EndsWithScr(ArgumentValues[0]) && PlatformDoes(ProgramMode::Configure)) {
        Mode = ProgramMode::Configure;
        return Reading{Request::Run, {}, false};
    }
    if (!PlatformDoes(ProgramMode::InsideWindow)) {
        return Reading{Request::Run, {}, false};
    }
    return Decide(NoOption, "", 0);
}

// The options this window system runs, and why the demo alone runs unpaced.
std::string UsageText() {
    std::size_t nameWidth = 0;
    for (const Option& option : Options) {
        nameWidth = std::max(nameWidth, std::strlen(option.Name) + std::strlen(option.ValueName));
    }
    std::string text = "Usage: coppertrowel [OPTION]...\n"
                       "A full-screen demo: two shaded red balls float\n"
                       "over a green field. With no option it starts at\n"
                       "once; a left click anywhere ends it.\n"
                       "\n"
                       "Options:";
    for (const Option& option : Options) {
        if (PlatformDoes(option.Sets)) {
            const std::string name = std::string(option.Name) + option.ValueName;
            text += "\n  " + name + std::string(nameWidth + 2 - name.size(), ' ') + option.Meaning;
        }
    }
    text += "\n\nThe demo steps without pause, as fast as the\n"
            "machine allows. The screen savers are paced, at\n" +
            std::to_string(DefaultSpeed) +
            " steps a second and a frame at each of the\n"
            "display's refreshes (60 a second where it cannot\n"
            "be read), to use almost no processor time.";
    if (PlatformDoes(ProgramMode::InsideWindow)) {
        text += std::string("\n\n") + HostVariable +
                ", when set, names the X11 window\n"
                "for --root and for no option.";
    }
    return text;
}

int Answer(const std::string& text) {
    if (!platform::ReportInformation(text.c_str())) {
        platform::ReportFatal("coppertrowel: cannot write to standard output");
        return 1;
    }
    return 0;
}

// The pacing the options and the mode ask for: the demo unpaced, every screen saver paced at the saved speed
// (where the system keeps one) or the default; --speed and --fps pace any mode, --unpaced none.
void ChoosePacing(const PaceAsked& pace) {
    FramesPerSecond = pace.FrameRate;
    std::uint32_t saved = 0;
    if (pace.Unpaced || (Mode == ProgramMode::Demo && !pace.Speed && !pace.FrameRate)) {
        StepsPerSecond = 0;
    } else if (pace.Speed) {
        StepsPerSecond = pace.Speed;
    } else if (Mode != ProgramMode::Demo && Mode != ProgramMode::InsideWindow &&
               platform::ReadSavedSpeed(saved) && saved >= 1 && saved <= MostStepsPerSecond) {
        StepsPerSecond = saved;
    } else {
        StepsPerSecond = DefaultSpeed;
    }
}

} // namespace

int RunCommandLine() {
    PaceAsked pace{};
    const Reading reading = ReadCommandLine(pace);
    switch (reading.Asks) {
    case Request::Run:
        break;
    case Request::Help:
        return Answer(UsageText());
    case Request::Version:
        return Answer(std::string("coppertrowel ") + ProgramVersion);
    case Request::Refused:
        platform::ReportFatal(
            (reading.RefusalNeedsUsage ? reading.Refusal + "\n" + UsageText() : reading.Refusal).c_str());
        return RefusedCommandLine;
    }
    ChoosePacing(pace);
    if (Mode == ProgramMode::Configure) {
        platform::ShowSettings(
            HostWindowId ? platform::HostWindow(HostWindowId) : nullptr,
            std::clamp(StepsPerSecond ? StepsPerSecond : DefaultSpeed, SlowestSpeed, FastestSpeed),
            SlowestSpeed, FastestSpeed);
        return 0;
    }
    return RunProgram();
}
