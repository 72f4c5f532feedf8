// command_line.h - what both players accept on their command line: --help, --version and
// --data DIR. Without options a player starts exactly as it always has, from the working
// directory.
#pragma once

#include <string>

#include <cstdio>

// How a player introduces itself in its usage and messages, and the options it has beyond the
// shared ones.
struct PlayerProgram {
    const char* name;    // "player" or "devplayer"
    const char* summary; // what it does, one or more lines, shown by --help
    // The program's own options: their part of the usage line ("[--at SECONDS]"), and their
    // lines in the help, each ending in a newline.
    const char* usage = nullptr;
    const char* options = nullptr;
    // Reads one of the program's own options at argv[i] (with its value). Returns how many
    // arguments it used, 0 when argv[i] is not one of its options, or -1 when its value is
    // wrong (the reason already printed).
    int (*takeOption)(int argc, char** argv, int i) = nullptr;
    // Prints more help after the options (the development player's keys).
    void (*printMore)(FILE* out) = nullptr;
};

// The program that runs (for messages); "player" until handleCommandLine names another.
const char* programName();
// The version both players and the tools report.
const char* tirVersion();

// Reads the options. Returns -1 to go on (after entering DIR for --data DIR), or the exit code to
// end with at once: 0 after --help or --version, 2 for an option it does not know or a value the
// program refuses (with the usage on standard error), 1 when DIR cannot be entered.
int handleCommandLine(const PlayerProgram& program, int argc, char** argv);

// Ends the program through the fatal path, saying so, when no display can be opened; a player
// without one would otherwise run with nothing to show.
void requireDisplay();

// How to make the default data: "make the default data with `make play`, or ...".
std::string missingDataAdvice();
// The line that says "tir.val" is missing here, with the advice.
std::string missingDataHint();
