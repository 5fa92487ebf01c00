#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "ProgramRun.h"
#include "ProgramVersion.h"
#include "shell/CommandLine.h"
#include "simulation/Pacing.h"

using namespace testing_support;

namespace {

// Runs the command line with these arguments after the program's name; headless::Told holds what it said.
int RunWith(std::vector<const char*> arguments,
            platform::ScreenSaverHost system = platform::ScreenSaverHost::Both) {
    headless::Reset(640, 480, true, system);
    ResetProgramState();
    arguments.insert(arguments.begin(), "coppertrowel");
    ArgumentCount = static_cast<int>(arguments.size());
    ArgumentValues = arguments.data();
    return RunCommandLine();
}

// XSCREENSAVER_WINDOW set to the value, or removed for nullptr. Windows' C library has no setenv; there an
// empty value removes the variable, which the program treats as unset anyway.
void SetHostVariable(const char* value) {
#ifdef _WIN32
    _putenv_s("XSCREENSAVER_WINDOW", value ? value : "");
#else
    if (value) {
        setenv("XSCREENSAVER_WINDOW", value, 1);
    } else {
        unsetenv("XSCREENSAVER_WINDOW");
    }
#endif
}

} // namespace

TEST(CommandLine, AnswersOrRefusesWithoutTouchingTheWindowSystem) {
    ASSERT_EQ(RunWith({"--help"}), 0);
    ASSERT_EQ(headless::Told().size(), 1u);
    const std::string help = headless::Told()[0];
    ASSERT_EQ(help.rfind("ReportInformation Usage: coppertrowel", 0), 0u) << help;
    EXPECT_NE(help.find("left click"), std::string::npos) << help;
    EXPECT_NE(help.find("\n  --help "), std::string::npos) << help;
    EXPECT_NE(help.find("\n  --version "), std::string::npos) << help;
    for (const char* option : {"\n  --speed S ", "\n  --fps F ", "\n  --unpaced ", "\n  --window-id ID ",
                               "\n  --root ", "\n  /s ", "\n  /p HWND ", "\n  /c "}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    const std::string usage = help.substr(std::string("ReportInformation ").size());

    const std::string version = std::string("ReportInformation coppertrowel ") + ProgramVersion;
    auto refusal = [&usage](const char* named) {
        return std::string("ReportFatal coppertrowel: unknown argument \"") + named + "\"\n" + usage;
    };
    auto noNumber = [&usage](const char* option) {
        return std::string("ReportFatal coppertrowel: \"") + option + "\" needs a window number\n" + usage;
    };
    auto badNumber = [&usage](const char* option, const char* value) {
        return std::string("ReportFatal coppertrowel: \"") + option +
               "\" needs a window number (decimal or 0x hexadecimal), not \"" + value + "\"\n" + usage;
    };
    auto badCount = [&usage](const char* option, const char* most, const char* value) {
        return std::string("ReportFatal coppertrowel: \"") + option + "\" needs a whole number from 1 to " +
               most + ", not \"" + value + "\"\n" + usage;
    };
    constexpr int No = RefusedCommandLine;
    struct Case {
        std::vector<const char*> Arguments;
        int Status;
        std::string Says; // all the program says: no connection, class or window before or after it
    };
    for (const Case& c : {
             Case{{"--version"}, 0, version},
             // The first known option decides.
             Case{{"--help", "--version"}, 0, "ReportInformation " + usage},
             Case{{"--version", "--version", "--help"}, 0, version},
             Case{{"--bogus"}, No, refusal("--bogus")},
             // Options match whole and exactly.
             Case{{"--version=2"}, No, refusal("--version=2")},
             Case{{"--Version"}, No, refusal("--Version")},
             Case{{"-"}, No, refusal("-")},
             Case{{""}, No, refusal("")},
             // An unknown argument is refused wherever it stands, even after an option that had decided.
             Case{{"--version", "extra"}, No, refusal("extra")},
             Case{{"--bogus", "--help"}, No, refusal("--bogus")},
             Case{{"--help", "x", "y"}, No, refusal("x")},
             // A line end or a terminal's escape in the argument stays on the one line, shown, not acted on.
             Case{{"a\nb\x1b[2J\x7f"}, No, refusal("a\\x0Ab\\x1B[2J\\x7F")},
             // A Windows spelling takes a colon only where it takes a window number, and only one letter.
             Case{{"/s:1"}, No, refusal("/s:1")},
             Case{{"/sx"}, No, refusal("/sx")},
             Case{{"//s"}, No, refusal("//s")},
             // A window number missing, or one that is none: junk, a sign, an empty hex, 0, beyond 32 bits.
             Case{{"--window-id"}, No, noNumber("--window-id")},
             Case{{"/p"}, No, noNumber("/p")},
             Case{{"--window-id", "12x"}, No, badNumber("--window-id", "12x")},
             Case{{"--window-id", "-5"}, No, badNumber("--window-id", "-5")},
             Case{{"--window-id", " 5"}, No, badNumber("--window-id", " 5")},
             Case{{"--window-id", "0x"}, No, badNumber("--window-id", "0x")},
             Case{{"--window-id", "0"}, No, badNumber("--window-id", "0")},
             Case{{"--window-id", "0x0"}, No, badNumber("--window-id", "0x0")},
             Case{{"--window-id", "4294967296"}, No, badNumber("--window-id", "4294967296")},
             Case{{"--window-id", "0x100000000"}, No, badNumber("--window-id", "0x100000000")},
             Case{{"--window-id", "18446744073709551617"},
                  No,
                  badNumber("--window-id", "18446744073709551617")},
             Case{{"/p:"}, No, badNumber("/p:", "")},
             Case{{"/c:0x1g"}, No, badNumber("/c:0x1g", "0x1g")},
             // A number after an option that had already decided is checked all the same.
             Case{{"--help", "/p", "junk"}, No, badNumber("/p", "junk")},
             // A pacing count missing, or one that is none: 0, a sign, junk, beyond its range or 32 bits.
             Case{{"--speed"}, No, "ReportFatal coppertrowel: \"--speed\" needs a whole number\n" + usage},
             Case{{"--speed", "0"}, No, badCount("--speed", "1000000", "0")},
             Case{{"--speed", "-5"}, No, badCount("--speed", "1000000", "-5")},
             Case{{"--speed", "+5"}, No, badCount("--speed", "1000000", "+5")},
             Case{{"--speed", "3e3"}, No, badCount("--speed", "1000000", "3e3")},
             Case{{"--speed", "0x10"}, No, badCount("--speed", "1000000", "0x10")},
             Case{{"--speed", "1000001"}, No, badCount("--speed", "1000000", "1000001")},
             Case{{"--speed", "99999999999999999999"},
                  No,
                  badCount("--speed", "1000000", "99999999999999999999")},
             Case{{"--fps", ""}, No, badCount("--fps", "1000", "")},
             Case{{"--fps", "1001"}, No, badCount("--fps", "1000", "1001")},
             Case{{"--version", "--fps", "60.5"}, No, badCount("--fps", "1000", "60.5")},
             // Unpaced and paced at once is no request at all.
             Case{{"--speed", "660", "--unpaced"},
                  No,
                  "ReportFatal coppertrowel: \"--unpaced\" cannot go with --speed or --fps"},
             Case{{"--unpaced", "--fps", "30", "--help"},
                  No,
                  "ReportFatal coppertrowel: \"--unpaced\" cannot go with --speed or --fps"},
         }) {
        SCOPED_TRACE(c.Says);
        EXPECT_EQ(RunWith(c.Arguments), c.Status);
        EXPECT_EQ(headless::Told(), std::vector<std::string>{c.Says});
        EXPECT_FALSE(headless::Window().Connected);
    }
}

// Catches a help that offers options the system then refuses, or hides ones it runs.
TEST(CommandLine, HelpListsWhatRunsHere) {
    using enum platform::ScreenSaverHost;
    for (const auto system : {XWindow, Scr}) {
        ASSERT_EQ(RunWith({"--help"}, system), 0);
        const std::string help = headless::Told().at(0);
        for (const char* option : {"\n  --window-id ID ", "\n  --root ", "XSCREENSAVER_WINDOW"}) {
            EXPECT_EQ(help.find(option) != std::string::npos, system == XWindow) << option;
        }
        for (const char* option : {"\n  /s ", "\n  /p HWND ", "\n  /c "}) {
            EXPECT_EQ(help.find(option) != std::string::npos, system == Scr) << option;
        }
        EXPECT_NE(help.find("\n  --speed S "), std::string::npos);
    }
}

TEST(CommandLine, NoArgumentsRunTheProgram) {
    // argc is 0 when a program is started with an empty argument list: nothing to read, not even a name.
    for (const int count : {1, 0}) {
        SCOPED_TRACE(count);
        headless::Reset(640, 480);
        ResetProgramState();
        const char* const arguments[] = {"coppertrowel", nullptr};
        ArgumentCount = count;
        ArgumentValues = count ? arguments : arguments + 1;
        auto program = std::async(std::launch::async, [] { return RunCommandLine(); });
        const ProgramEnder ender{program};
        ASSERT_TRUE(headless::WaitForIdle(Patience));
        EXPECT_TRUE(headless::Window().Visible);
        headless::Inject(WM_LBUTTONDOWN, 0, 1, 1);
        EXPECT_EQ(ExitStatus(program), 0);
    }
}

TEST(CommandLine, ModesAndWindowNumbersInEverySpellingAndWhereTheyComeFrom) {
    using enum platform::ScreenSaverHost;
    struct Case {
        std::vector<const char*> Arguments;
        const char* Name;       // the program's own file name
        const char* HostWindow; // XSCREENSAVER_WINDOW, nullptr: not set
        platform::ScreenSaverHost System;
        int Status; // with no display, a mode that draws ends with 1 right after connecting
        ProgramMode Asked;
        std::uintptr_t Id;
        std::string Says; // the last thing said, when it matters
    };
    const std::string usage = [] { // as X11 shows it, where the variable is read
        RunWith({"--help"}, XWindow);
        return headless::Told()[0].substr(std::string("ReportInformation ").size());
    }();
    const std::string settingsShown = "ShowSettings 6600 from 660 to 33000";
    auto badVariable = [&usage](const char* value) {
        return "ReportFatal coppertrowel: XSCREENSAVER_WINDOW is not a window number (decimal or 0x "
               "hexadecimal): \"" +
               std::string(value) + "\"\n" + usage;
    };
    auto notHere = [](const char* option, const char* system) {
        return "ReportFatal coppertrowel: \"" + std::string(option) + "\" is for " + system +
               ", not this system";
    };
    using enum ProgramMode;
    const char* const P = "coppertrowel";
    constexpr int No = RefusedCommandLine;
    for (const Case& c : {
             Case{{}, P, nullptr, Both, 1, Demo, 0, ""},
             // Windows' spellings: either slash or dash, either case; a value apart or after a colon.
             Case{{"/s"}, P, nullptr, Both, 1, ScreenSaver, 0, ""},
             Case{{"/S"}, P, nullptr, Scr, 1, ScreenSaver, 0, ""},
             Case{{"-s"}, P, nullptr, Scr, 1, ScreenSaver, 0, ""},
             Case{{"/p", "1234"}, P, nullptr, Scr, 1, Preview, 1234, ""},
             Case{{"/p:1234"}, P, nullptr, Scr, 1, Preview, 1234, ""},
             Case{{"-P", "0x4D2"}, P, nullptr, Scr, 1, Preview, 1234, ""},
             Case{{"/c"}, P, nullptr, Scr, 0, Configure, 0, settingsShown},
             Case{{"/C:99"}, P, nullptr, Scr, 0, Configure, 99, settingsShown},
             // A screen saver file started by name alone shows its settings; with an option it does that.
             Case{{}, "C:\\Windows\\COPPERTROWEL.SCR", nullptr, Scr, 0, Configure, 0, settingsShown},
             Case{{"/s"}, "coppertrowel.scr", nullptr, Scr, 1, ScreenSaver, 0, ""},
             Case{{}, "coppertrowel.scr", nullptr, XWindow, 1, Demo, 0, ""},
             Case{{}, "scr", nullptr, Scr, 1, Demo, 0, ""},
             // X11's: a window number, the root, and the host's variable, which --window-id overrides.
             Case{{"--window-id", "0x2A"}, P, nullptr, XWindow, 1, InsideWindow, 42, ""},
             Case{{"--window-id", "4294967295"}, P, nullptr, XWindow, 1, InsideWindow, 4294967295u, ""},
             Case{{"--root"}, P, nullptr, XWindow, 1, InsideWindow, 0, ""},
             Case{{"--root"}, P, "0x10", XWindow, 1, InsideWindow, 16, ""},
             Case{{"--window-id", "5"}, P, "7", XWindow, 1, InsideWindow, 5, ""},
             Case{{"--window-id", "5"}, P, "junk", XWindow, 1, InsideWindow, 5, ""},
             Case{{}, P, "7", XWindow, 1, InsideWindow, 7, ""},
             Case{{}, P, "", XWindow, 1, Demo, 0, ""},
             // Windows has no such host: the variable leaves the demo alone there.
             Case{{}, P, "7", Scr, 1, Demo, 0, ""},
             Case{{"--root"}, P, "junk", XWindow, No, InsideWindow, 0, badVariable("junk")},
             Case{{}, P, "-1", XWindow, No, Demo, 0, badVariable("-1")},
             // The first option decides.
             Case{{"/s", "--root"}, P, nullptr, Both, 1, ScreenSaver, 0, ""},
             // A mode the window system has no host for: one line, nothing started.
             Case{{"/p", "5"}, P, nullptr, XWindow, No, Preview, 5, notHere("/p", "Windows")},
             Case{{"-S"}, P, nullptr, XWindow, No, ScreenSaver, 0, notHere("-S", "Windows")},
             Case{{"--window-id", "5"}, P, nullptr, Scr, No, InsideWindow, 5, notHere("--window-id", "X11")},
             Case{{"--root"}, P, nullptr, Scr, No, InsideWindow, 0, notHere("--root", "X11")},
         }) {
        SCOPED_TRACE(std::string(c.Name) + " " + (c.Arguments.empty() ? "" : c.Arguments[0]) + " " +
                     (c.HostWindow ? c.HostWindow : "(unset)"));
        headless::Reset(640, 480, false, c.System);
        ResetProgramState();
        SetHostVariable(c.HostWindow);
        std::vector<const char*> arguments = c.Arguments;
        arguments.insert(arguments.begin(), c.Name);
        ArgumentCount = static_cast<int>(arguments.size());
        ArgumentValues = arguments.data();
        EXPECT_EQ(RunCommandLine(), c.Status);
        SetHostVariable(nullptr);
        if (c.Status != RefusedCommandLine) {
            EXPECT_EQ(Mode, c.Asked);
            EXPECT_EQ(HostWindowId, c.Id);
        }
        const auto told = headless::Told();
        if (!c.Says.empty()) {
            ASSERT_FALSE(told.empty());
            EXPECT_EQ(told.back().rfind(c.Says, 0), 0u) << told.back();
        }
        // Only a mode that draws reaches the window system: nothing of it is touched otherwise.
        EXPECT_EQ(headless::Window().Connected, c.Status == 1);
        EXPECT_FALSE(headless::Window().Exists);
    }
    ResetProgramState();
}

// Catches a screen saver left racing (or the demo slowed), an option that is not obeyed, or a saved speed
// that overrides the user's own --speed.
TEST(CommandLine, PacingFollowsTheModeTheOptionsAndTheSavedSpeed) {
    using enum platform::ScreenSaverHost;
    struct Case {
        std::vector<const char*> Arguments;
        platform::ScreenSaverHost System;
        std::uint32_t Saved; // 0: none
        std::uint32_t Speed, FrameRate;
        const char* Settings; // what the settings show, nullptr: none shown
    };
    for (const Case& c : {
             Case{{}, Both, 0, 0, 0, nullptr},
             Case{{}, Scr, 5000, 0, 0, nullptr},
             Case{{"--fps", "30"}, Scr, 5000, DefaultSpeed, 30, nullptr},
             Case{{"--speed", "7"}, Both, 0, 7, 0, nullptr},
             Case{{"/s"}, Scr, 0, DefaultSpeed, 0, nullptr},
             Case{{"/s"}, Scr, 5000, 5000, 0, nullptr},
             Case{{"/p", "5", "--fps", "24"}, Scr, 5000, 5000, 24, nullptr},
             Case{{"--speed", "1000000", "/s"}, Scr, 5000, 1000000, 0, nullptr},
             Case{{"/s", "--unpaced"}, Scr, 5000, 0, 0, nullptr},
             Case{{"--root"}, XWindow, 0, DefaultSpeed, 0, nullptr},
             Case{{"--fps", "1000", "--window-id", "9"}, XWindow, 0, DefaultSpeed, 1000, nullptr},
             Case{{"--unpaced", "--root"}, XWindow, 0, 0, 0, nullptr},
             // A saved speed the settings cannot show is shown at the nearest end of the slider.
             Case{{"/c"}, Scr, 0, DefaultSpeed, 0, "ShowSettings 6600 from 660 to 33000"},
             Case{{"/c:7"}, Scr, 13200, 13200, 0, "ShowSettings 13200 from 660 to 33000"},
             Case{{"/c", "--speed", "1"}, Scr, 6600, 1, 0, "ShowSettings 660 from 660 to 33000"},
             Case{{"/c"}, Scr, 999999, 999999, 0, "ShowSettings 33000 from 660 to 33000"},
         }) {
        SCOPED_TRACE(c.Arguments.empty() ? "(none)" : c.Arguments[0]);
        headless::Reset(640, 480, false, c.System);
        headless::SetSavedSpeed(c.Saved);
        ResetProgramState();
        std::vector<const char*> arguments = c.Arguments;
        arguments.insert(arguments.begin(), "coppertrowel");
        ArgumentCount = static_cast<int>(arguments.size());
        ArgumentValues = arguments.data();
        EXPECT_EQ(RunCommandLine(), c.Settings ? 0 : 1); // no display: a mode that draws ends with 1
        EXPECT_EQ(StepsPerSecond, c.Speed);
        EXPECT_EQ(FramesPerSecond, c.FrameRate);
        if (c.Settings) {
            EXPECT_EQ(headless::Told(), std::vector<std::string>{c.Settings});
        }
    }
    ResetProgramState();
}
