#include "shell/CommandLine.h"

int main(int argc, char** argv) {
    ArgumentCount = argc;
    ArgumentValues = argv;
    return RunCommandLine();
}
