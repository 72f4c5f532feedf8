// interrupts_posix.cpp - what SIGINT and SIGTERM do to a program of ours.
//
// An interrupt always ends the program, with 128 + the signal's number as its exit code. While
// the window's message loop is pumping, the first interrupt closes the windows, so the sound
// and the display mode are given back as after Escape; the exit code still says that it was
// interrupted. A second interrupt, an interrupt while a modal message box or dialog waits for an
// answer, or one that arrives while nothing pumps the queue ends the process at once. A message
// box may live in a child process (SDL shows X11 boxes from a fork, and Wayland ones through
// zenity): that child is killed first, so no box outlives the program. A close that has not
// finished two seconds after the interrupt is cut short the same way.
//
// SDL's own handlers, which only queue a quit event that a modal box never reads, are switched
// off before SDL starts.
#include "platform/sdl/interrupts.h"

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <ctime>

namespace sys {

namespace {

// A pump counts as recent for this long: a frame or a load step between two pumps is shorter.
constexpr int64_t pumpRecentNanoseconds = 500'000'000;
constexpr unsigned closeGraceSeconds = 2;

volatile sig_atomic_t interruptSignal = 0; // the signal being served; 0 for none
volatile sig_atomic_t closeRequested = 0;  // the pump has turned it into a close
std::atomic<int> modalDepth{0};
std::atomic<long> modalThread{0};
std::atomic<int64_t> lastPump{INT64_MIN / 2};

int64_t monotonicNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Kills the children of the thread that opened the modal box (its box process, if it has one).
// Reads /proc with async-signal-safe calls only; where /proc has no child list nothing is done.
void killModalChildren() {
    const long thread = modalThread.load();
    if (thread <= 0) {
        return;
    }
    char path[64];
    // "/proc/self/task/TID/children", the number written by hand: no snprintf in a handler.
    const char head[] = "/proc/self/task/";
    const char tail[] = "/children";
    size_t n = 0;
    for (const char* p = head; *p; ++p) {
        path[n++] = *p;
    }
    char digits[24];
    int count = 0;
    for (long v = thread; v > 0 && count < 23; v /= 10) {
        digits[count++] = static_cast<char>('0' + v % 10);
    }
    while (count > 0) {
        path[n++] = digits[--count];
    }
    for (const char* p = tail; *p; ++p) {
        path[n++] = *p;
    }
    path[n] = '\0';
    const int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return;
    }
    char list[512];
    const ssize_t got = read(fd, list, sizeof list - 1);
    close(fd);
    long pid = 0;
    for (ssize_t i = 0; i <= got; ++i) {
        const char c = i < got ? list[i] : ' ';
        if (c >= '0' && c <= '9') {
            pid = pid * 10 + (c - '0');
        } else {
            if (pid > 0) {
                kill(static_cast<pid_t>(pid), SIGKILL);
            }
            pid = 0;
        }
    }
}

[[noreturn]] void endNow(int signal) {
    killModalChildren();
    _exit(128 + signal);
}

void install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void onAlarm(int) {
    endNow(interruptSignal != 0 ? interruptSignal : SIGALRM);
}

void onInterrupt(int signal) {
    const bool pumping = monotonicNanoseconds() - lastPump.load() < pumpRecentNanoseconds;
    if (interruptSignal != 0 || modalDepth.load() > 0 || !pumping) {
        endNow(interruptSignal != 0 ? interruptSignal : signal);
    }
    interruptSignal = signal;
    // The alarm's handler only now: a program that links this backend without an interrupt
    // (a fuzzing harness timing its inputs with SIGALRM, say) keeps the alarm to itself.
    install(SIGALRM, &onAlarm);
    alarm(closeGraceSeconds);
}

// Before main, so before any SDL_Init: SDL must not install handlers of its own.
const bool installed = [] {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    install(SIGINT, &onInterrupt);
    install(SIGTERM, &onInterrupt);
    return true;
}();

} // namespace

ModalScope::ModalScope() {
    if (modalDepth.fetch_add(1) == 0) {
        modalThread.store(static_cast<long>(syscall(SYS_gettid)));
    }
}

ModalScope::~ModalScope() {
    if (modalDepth.fetch_sub(1) == 1) {
        modalThread.store(0);
    }
}

bool takeInterrupt() {
    lastPump.store(monotonicNanoseconds());
    if (interruptSignal == 0 || closeRequested) {
        return false;
    }
    closeRequested = 1;
    return true;
}

int interruptExitCode() {
    (void)installed;
    return interruptSignal != 0 ? 128 + interruptSignal : 0;
}

} // namespace sys
