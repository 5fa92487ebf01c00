#pragma once
// The command line: with no arguments the program runs; otherwise it answers what was asked (the help, the
// version) or refuses an argument it does not know, in both cases before anything of the window system is
// touched, so that neither needs a display.

// The process's arguments as main received them, the program's name first. Set by main before anything else.
extern int ArgumentCount;
extern const char* const* ArgumentValues;

// Exit status of a command line the program refuses.
inline constexpr int RefusedCommandLine = 2;

// Reads the arguments and does what they ask. Returns the process exit status: RunProgram's with no
// arguments; 0 once the help or the version is written (1 when it cannot be); RefusedCommandLine after
// naming an unknown argument and giving the usage on standard error.
int RunCommandLine();
