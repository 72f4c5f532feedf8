// command_line.cpp - the players' options, the display check and the missing-data hint.
#include "app/command_line.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gfx/debug_channel.h"
#include "platform/fatal.h"
#include "platform/platform.h"

namespace {

const char* currentProgram = "player";

void printUsage(const PlayerProgram& program, FILE* out) {
    std::fprintf(out,
                 "usage: %s [--data DIR] [--help] [--version]%s%s\n\n"
                 "%s\n"
                 "It plays from the folder that holds tir.val: the working directory, or DIR.\n"
                 "\n"
                 "  --data DIR  run from DIR as if started there\n"
                 "  --help      print this help and exit\n"
                 "  --version   print the version and exit\n"
                 "%s"
                 "\n"
                 "Make the default data with `make play` (into data/), or `forge --out DIR`.\n"
                 "Without a display, SDL_VIDEODRIVER=offscreen runs it headless.\n"
                 "TIR_GL=es3 draws through the program's own OpenGL 1.1 layer over OpenGL ES 3\n"
                 "(for drivers without fixed-function GL); unset, the driver's OpenGL draws.\n",
                 program.name, program.usage ? " " : "", program.usage ? program.usage : "",
                 program.summary, program.options ? program.options : "");
    if (program.printMore) {
        std::fputc('\n', out);
        program.printMore(out);
    }
}

} // namespace

const char* programName() {
    return currentProgram;
}

const char* tirVersion() {
    return TIR_VERSION; // the project's version, from the build
}

int handleCommandLine(const PlayerProgram& program, int argc, char** argv) {
    currentProgram = program.name;
    // Every player starts here: from now on the platform's warnings reach the debug channel.
    routeSystemDiagnostics();
    const char* data = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            printUsage(program, stdout);
            return 0;
        }
        if (std::strcmp(a, "--version") == 0) {
            std::printf("%s (TIR VAL) %s\n", program.name, tirVersion());
            return 0;
        }
        if (program.takeOption) {
            const int used = program.takeOption(argc, argv, i);
            if (used < 0) {
                printUsage(program, stderr);
                return 2;
            }
            if (used > 0) {
                i += used - 1;
                continue;
            }
        }
        if (std::strcmp(a, "--data") == 0 || std::strncmp(a, "--data=", 7) == 0) {
            // A following option is not taken for the folder: `--data --defaults` lacks one
            // (a folder whose name starts with "--" can be given as ./--name).
            const bool joined = a[6] == '=';
            const bool valueNext = i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0;
            data = joined ? a + 7 : (valueNext ? argv[++i] : "");
            if (*data == '\0') {
                std::fprintf(stderr, "%s: --data needs a folder: --data DIR\n", program.name);
                return 2;
            }
        } else {
            std::fprintf(stderr, "%s: unknown option \"%s\"\n", program.name, a);
            printUsage(program, stderr);
            return 2;
        }
    }
    if (data) {
        std::error_code ec;
        std::filesystem::current_path(data, ec);
        if (ec) {
            std::fprintf(stderr, "%s: cannot enter the data folder %s: %s\n", program.name, data,
                         ec.message().c_str());
            return 1;
        }
    }
    return -1;
}

void requireDisplay() {
    std::string reason;
    if (!sys::openDisplay(reason)) {
        sys::fatalf("no display",
                    "%s cannot open a display: %s\n"
                    "Run it on a desktop, under xvfb-run, or headless with "
                    "SDL_VIDEODRIVER=offscreen.",
                    currentProgram, reason.c_str());
    }
}

std::string missingDataAdvice() {
    return std::string("make the default data with `make play`, or `forge --out DIR` and then `") +
           currentProgram + " --data DIR`";
}

std::string missingDataHint() {
    std::error_code ec;
    const std::string here = std::filesystem::current_path(ec).string();
    return std::string(currentProgram) + ": there is no tir.val in " + (ec ? "." : here) + "; " +
           missingDataAdvice();
}
