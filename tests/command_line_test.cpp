#include <gtest/gtest.h>

#include <vector>

#include "ProgramRun.h"
#include "ProgramVersion.h"
#include "shell/CommandLine.h"

using namespace testing_support;

namespace {

// Runs the command line with these arguments after the program's name; the call log holds what it did.
int RunWith(std::vector<const char*> arguments) {
    headless::Reset(640, 480);
    ResetProgramState();
    arguments.insert(arguments.begin(), "coppertrowel");
    ArgumentCount = static_cast<int>(arguments.size());
    ArgumentValues = arguments.data();
    return RunCommandLine();
}

} // namespace

TEST(CommandLine, AnswersOrRefusesWithoutTouchingTheWindowSystem) {
    ASSERT_EQ(RunWith({"--help"}), 0);
    ASSERT_EQ(headless::CallLog().size(), 1u);
    const std::string help = headless::CallLog()[0];
    ASSERT_EQ(help.rfind("ReportInformation Usage: coppertrowel", 0), 0u) << help;
    EXPECT_NE(help.find("left click"), std::string::npos) << help;
    EXPECT_NE(help.find("\n  --help "), std::string::npos) << help;
    EXPECT_NE(help.find("\n  --version "), std::string::npos) << help;
    const std::string usage = help.substr(std::string("ReportInformation ").size());

    const std::string version = std::string("ReportInformation coppertrowel ") + ProgramVersion;
    auto refusal = [&usage](const char* named) {
        return std::string("ReportFatal coppertrowel: unknown argument \"") + named + "\"\n" + usage;
    };
    struct Case {
        std::vector<const char*> Arguments;
        int Status;
        std::string Says; // the one call the program makes: no connection, class or window before or after it
    };
    for (const Case& c : {
             Case{{"--version"}, 0, version},
             // The first known option decides.
             Case{{"--help", "--version"}, 0, "ReportInformation " + usage},
             Case{{"--version", "--version", "--help"}, 0, version},
             Case{{"--bogus"}, RefusedCommandLine, refusal("--bogus")},
             // Options match whole and exactly.
             Case{{"--version=2"}, RefusedCommandLine, refusal("--version=2")},
             Case{{"--Version"}, RefusedCommandLine, refusal("--Version")},
             Case{{"-"}, RefusedCommandLine, refusal("-")},
             Case{{""}, RefusedCommandLine, refusal("")},
             // An unknown argument is refused wherever it stands, even after an option that had decided.
             Case{{"--version", "extra"}, RefusedCommandLine, refusal("extra")},
             Case{{"--bogus", "--help"}, RefusedCommandLine, refusal("--bogus")},
             Case{{"--help", "x", "y"}, RefusedCommandLine, refusal("x")},
             // A line end or a terminal's escape in the argument stays on the one line, shown, not acted on.
             Case{{"a\nb\x1b[2J\x7f"}, RefusedCommandLine, refusal("a\\x0Ab\\x1B[2J\\x7F")},
         }) {
        SCOPED_TRACE(c.Says);
        EXPECT_EQ(RunWith(c.Arguments), c.Status);
        EXPECT_EQ(headless::CallLog(), std::vector<std::string>{c.Says});
        EXPECT_FALSE(headless::Window().Exists);
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
        ASSERT_TRUE(headless::WaitForMessageLoop(Patience));
        EXPECT_TRUE(headless::Window().Visible);
        headless::InjectLeftClick(1, 1);
        EXPECT_EQ(ExitStatus(program), 0);
    }
}
