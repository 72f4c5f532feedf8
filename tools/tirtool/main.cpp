// main.cpp - tirtool, the data tool: packs and inspects archives, scenes, envelopes and the
// music's compressed samples.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tools/tirtool/command.h"

static std::vector<Command>& commands() {
    static std::vector<Command> list;
    return list;
}

CommandRegistration::CommandRegistration(const Command& command) {
    commands().push_back(command);
}

const std::vector<Command>& registeredCommands() {
    return commands();
}

int fail(const char* format, ...) {
    std::fputs("tirtool: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

int usageError(const char* name) {
    for (const Command& c : commands()) {
        if (std::strcmp(c.name, name) == 0) {
            std::fprintf(stderr, "usage: tirtool %s %s\n", c.name, c.usage);
        }
    }
    return 2;
}

static void printUsage(FILE* out) {
    std::fprintf(out, "usage: tirtool COMMAND ARGS...\n\ncommands:\n");
    for (const Command& c : commands()) {
        std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
    }
    std::fprintf(out, "\nTIR_GL=es3 makes the commands that draw (scene) use the program's own\n"
                      "OpenGL 1.1 layer over OpenGL ES 3 instead of the driver's OpenGL.\n");
}

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command& c : commands()) {
        if (std::strcmp(c.name, argv[1]) == 0) {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "tirtool: unknown command \"%s\"\n\n", argv[1]);
    printUsage(stderr);
    return 2;
}
