// cmd_monitor.cpp - tirtool monitor: the debug monitor. It owns the debug channel's shared
// buffer and prints every message that a running program sends through it, until interrupted
// or, with --count N, after N messages.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "tools/tirtool/command.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

int monitor(const std::vector<std::string>& args) {
    long count = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size()) {
            char* end = nullptr;
            count = std::strtol(args[++i].c_str(), &end, 10);
            if (*end || count < 1) {
                return usageError("monitor");
            }
        } else {
            return usageError("monitor");
        }
    }
    std::string reason;
    sys::DebugMonitor* m = sys::openDebugMonitor(reason);
    if (!m) {
        return fail("monitor: %s", reason.c_str());
    }
    // Interrupting ends the loop at its next turn, so the buffer and semaphores are removed.
    std::signal(SIGINT, &requestStop);
    std::signal(SIGTERM, &requestStop);
    std::fprintf(stderr, "tirtool monitor: waiting for messages (Ctrl+C ends)\n");
    std::fflush(stderr);
    long received = 0;
    int status = 0;
    while (!stopRequested && (count < 0 || received < count)) {
        uint32_t processId = 0;
        std::string text;
        const int got = sys::receiveDebugMessage(m, processId, text, 200);
        if (got < 0) {
            status = fail("monitor: the handshake failed");
            break;
        }
        if (got == 0) {
            continue;
        }
        ++received;
        if (processId != 0) {
            std::printf("[%u] ", processId);
        }
        std::fputs(text.c_str(), stdout);
        if (text.empty() || text.back() != '\n') {
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
    }
    sys::closeDebugMonitor(m);
    return status;
}

const CommandRegistration registration{
    {"monitor", "[--count N]",
     "prints every message that running programs send to the debug monitor (Ctrl+C ends)", &monitor,
     "    --count N  end after N messages (default: run until Ctrl+C or SIGTERM)\n"}};

} // namespace
