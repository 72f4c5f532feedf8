// main.cpp - tirtool, the data tool: packs and inspects archives, scenes, envelopes and the
// music's compressed samples.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "tools/common/file_bytes.h"
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

bool writesOverInput(const std::string& output, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (sameFile(output, input)) {
            if (output == input) {
                fail("%s is both read and written; write to another file", output.c_str());
            } else {
                fail("%s is the same file as %s, which is read; write to another file",
                     output.c_str(), input.c_str());
            }
            return true;
        }
    }
    return false;
}

int usageError(const char* name) {
    for (const Command& c : commands()) {
        if (std::strcmp(c.name, name) == 0) {
            std::fprintf(stderr, "usage: tirtool %s %s\n", c.name, c.usage);
        }
    }
    return 2;
}

static void printCommand(FILE* out, const Command& c) {
    std::fprintf(out, "  tirtool %s %s\n      %s\n", c.name, c.usage, c.summary);
    if (c.options) {
        std::fputs(c.options, out);
    }
}

static void printUsage(FILE* out) {
    std::fprintf(out, "usage: tirtool COMMAND ARGS...\n"
                      "       tirtool COMMAND --help | tirtool --help | tirtool --version\n"
                      "The TIR VAL data tool: archives, scenes, envelopes, the music's compressed\n"
                      "samples, the debug monitor and the setup dialog's picture. No command\n"
                      "writes over one of its own inputs.\n\n"
                      "  --help     print this help and exit; after a command, that command's\n"
                      "  --version  print the version and exit\n\n"
                      "commands:\n");
    for (const Command& c : commands()) {
        printCommand(out, c);
    }
    std::fprintf(out, "\nTIR_GL=es3 makes the commands that draw (scene) use the program's own\n"
                      "OpenGL 1.1 layer over OpenGL ES 3 instead of the driver's OpenGL.\n");
}

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tirtool (TIR VAL) %s\n", tirVersion());
        return 0;
    }
    for (const Command& c : commands()) {
        if (std::strcmp(c.name, argv[1]) == 0) {
            if (argc == 3 &&
                (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
                std::printf("usage:\n");
                printCommand(stdout, c);
                return 0;
            }
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "tirtool: unknown command \"%s\"\n\n", argv[1]);
    printUsage(stderr);
    return 2;
}
