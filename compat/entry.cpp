// The process entry: what a Windows runtime's GUI start-up does before it
// calls WinMain, and the exit status it makes of WinMain's result.
#include <windows.h>

#include <stdlib.h>
#include <string>

#include "host.h"

// Stands in for the module's image base, which is what an HINSTANCE is.
static char module_image;

int main(int argc, char **argv)
{
    // The command line after the program name, re-quoted as Windows keeps it.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i > 1)
            line += ' ';
        line += arg.empty() || arg.find_first_of(" \t") != std::string::npos ? '"' + arg + '"' : arg;
    }
    int result = WinMain(reinterpret_cast<HINSTANCE>(&module_image), nullptr, line.data(), SW_SHOWDEFAULT);
    compat::host_disconnect();
    // NOTE: exit rather than a return: where the program runs as a call that
    // pauses and is resumed (in a browser), nothing is left to take main's
    // result by the time it returns.
    exit(result);
}
