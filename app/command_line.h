// command_line.h - what both players accept on their command line: --help, --version and
// --data DIR. Without options a player starts exactly as it always has, from the working
// directory.
#pragma once

#include <string>

// How a player introduces itself in its usage and messages.
struct PlayerProgram {
    const char* name;    // "player" or "devplayer"
    const char* summary; // what it does, one or more lines, shown by --help
};

// The program that runs (for messages); "player" until handleCommandLine names another.
const char* programName();
// The version both players and the tools report.
const char* tirVersion();

// Reads the options. Returns -1 to go on (after entering DIR for --data DIR), or the exit code to
// end with at once: 0 after --help or --version, 2 for an option it does not know (with the
// usage on standard error), 1 when DIR cannot be entered.
int handleCommandLine(const PlayerProgram& program, int argc, char** argv);

// Ends the program through the fatal path, saying so, when no display can be opened; a player
// without one would otherwise run with nothing to show.
void requireDisplay();

// The line printed after the report of a missing "tir.val": how to make the default data.
std::string missingDataHint();
