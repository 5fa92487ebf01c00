#pragma once
// The command line: with no arguments the program runs; otherwise it answers what was asked (the help, the
// version), notes the mode asked for (ProgramMode.h: a screen saver, a host's window to draw in), or refuses
// an argument it does not know, a window number that is none, or a mode this window system has no host for,
// before anything of the window system is touched, so that none of that needs a display.

// The process's arguments as main received them, the program's name first. Set by main before anything else.
extern int ArgumentCount;
extern const char* const* ArgumentValues;

// Exit status of a command line the program refuses.
inline constexpr int RefusedCommandLine = 2;

// Reads the arguments (and XSCREENSAVER_WINDOW) and does what they ask. Returns the process exit status:
// RunProgram's in every drawing mode; 0 once the help, the version or the settings note is shown (1 when
// standard output cannot be written); RefusedCommandLine after naming what it refuses on standard error.
int RunCommandLine();
