// command.h - tirtool's subcommand registry. Each cmd_*.cpp registers its commands with a
// static CommandRegistration, so a new subcommand is one new file.
#pragma once

#include <string>
#include <vector>

using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;   // arguments, shown after "tirtool NAME"
    const char* summary; // one line
    CommandFunction run;
    // The command's arguments and options explained, one or more lines each ending in a
    // newline, indented by four spaces; null when the usage says it all.
    const char* options = nullptr;
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& registeredCommands();

// Prints "tirtool: " and the message to stderr and returns exit status 1 (bad input) for use as
// `return fail(...)`.
int fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// True, after saying so, when `output` is the same file as one of `inputs`: a command never
// writes over what it reads.
bool writesOverInput(const std::string& output, const std::vector<std::string>& inputs);
// Exit status for wrong arguments (after printing the usage of `command`).
int usageError(const char* command);
