#include "shell/CommandLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ProgramVersion.h"
#include "shell/Startup.h"

int ArgumentCount;
const char* const* ArgumentValues;

namespace {

enum class Request : std::uint8_t { Run, Help, Version, Unknown };

struct Option {
    const char* Name;
    Request Asks;
    const char* Meaning;
};

// The options, in the order the usage lists them. One that takes a value would step over it in
// ReadCommandLine's loop.
constexpr Option Options[] = {
    {"--help", Request::Help, "print this help and exit"},
    {"--version", Request::Version, "print the name and version and exit"},
};

// What the command line asks for, and the argument it does not know when it asks for nothing the program can
// do. Set by ReadCommandLine.
Request Requested = Request::Run;
const char* UnknownArgument = nullptr;

// Every argument must be known, wherever it stands, so that a mistyped one is never passed over because an
// option before it had already decided; of the known ones the first decides.
void ReadCommandLine() {
    Requested = Request::Run;
    UnknownArgument = nullptr;
    for (int i = 1; i < ArgumentCount; ++i) {
        const char* argument = ArgumentValues[i];
        const auto option = std::find_if(std::begin(Options), std::end(Options), [argument](const Option& o) {
            return std::strcmp(o.Name, argument) == 0;
        });
        if (option == std::end(Options)) {
            Requested = Request::Unknown;
            UnknownArgument = argument;
            return;
        }
        if (Requested == Request::Run) {
            Requested = option->Asks;
        }
    }
}

std::string UsageText() {
    std::size_t nameWidth = 0;
    for (const Option& option : Options) {
        nameWidth = std::max(nameWidth, std::strlen(option.Name));
    }
    // Short lines: on Windows the text may be shown in a message box, which wraps long ones.
    std::string text = "Usage: coppertrowel [OPTION]\n"
                       "A full-screen demo: two shaded red balls float\n"
                       "over a green field. With no option it starts at\n"
                       "once; a left click anywhere ends it.\n"
                       "\n"
                       "Options:";
    for (const Option& option : Options) {
        text += "\n  " + std::string(option.Name) +
                std::string(nameWidth + 2 - std::strlen(option.Name), ' ') + option.Meaning;
    }
    return text;
}

// The unknown argument on one line, quoted so that an empty one shows; a control character (a line end, a
// terminal's escape) is written as \xHH rather than acted on.
std::string RefusalLine() {
    std::string line = "coppertrowel: unknown argument \"";
    for (const char* c = UnknownArgument; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            line += escaped;
        } else {
            line += *c;
        }
    }
    return line + "\"";
}

int Answer(const std::string& text) {
    if (!platform::ReportInformation(text.c_str())) {
        platform::ReportFatal("coppertrowel: cannot write to standard output");
        return 1;
    }
    return 0;
}

} // namespace

int RunCommandLine() {
    ReadCommandLine();
    switch (Requested) {
    case Request::Run:
        break;
    case Request::Help:
        return Answer(UsageText());
    case Request::Version:
        return Answer(std::string("coppertrowel ") + ProgramVersion);
    case Request::Unknown:
        platform::ReportFatal((RefusalLine() + "\n" + UsageText()).c_str());
        return RefusedCommandLine;
    }
    return RunProgram();
}
