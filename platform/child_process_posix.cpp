// child_process_posix.cpp - child processes with pipes over posix_spawn, and background
// priority through Linux's idle scheduling class.
#include "platform/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace sys {

struct ChildProcess {
    pid_t pid = -1;
    std::vector<int> pipes; // our write ends, -1 once closed
};

bool programAvailable(const char* program) {
    if (std::strchr(program, '/')) {
        return access(program, X_OK) == 0;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon - start);
        if (dir.empty()) {
            dir = ".";
        }
        const std::string candidate = dir + "/" + program;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        if (colon == std::string::npos) {
            return false;
        }
        start = colon + 1;
    }
}

ChildProcess* startChild(const std::vector<std::string>& argv, int pipes,
                         const std::string& logPath, std::string& error) {
    if (argv.empty() || pipes < 1) {
        error = "nothing to start";
        return nullptr;
    }
    // A child that exits early must show up as a failed write, not as SIGPIPE ending us.
    signal(SIGPIPE, SIG_IGN);

    auto* child = new ChildProcess;
    std::vector<int> readEnds;
    for (int i = 0; i < pipes; ++i) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            error = std::string("no pipe: ") + std::strerror(errno);
            for (int fd : readEnds) {
                close(fd);
            }
            for (int fd : child->pipes) {
                close(fd);
            }
            delete child;
            return nullptr;
        }
        readEnds.push_back(fds[0]);
        child->pipes.push_back(fds[1]);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The read ends are close-on-exec; dup2 gives the child copies without that flag.
    for (int i = 0; i < pipes; ++i) {
        posix_spawn_file_actions_adddup2(&actions, readEnds[static_cast<size_t>(i)],
                                         i == 0 ? 0 : 2 + i);
    }
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int result = posix_spawnp(&child->pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : readEnds) {
        close(fd);
    }
    if (result != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(result);
        for (int fd : child->pipes) {
            close(fd);
        }
        delete child;
        return nullptr;
    }
    return child;
}

bool writeToChild(ChildProcess* child, int index, const void* data, size_t size) {
    if (!child || index < 0 || index >= static_cast<int>(child->pipes.size())) {
        return false;
    }
    const int fd = child->pipes[static_cast<size_t>(index)];
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0 && fd >= 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return fd >= 0;
}

int finishChild(ChildProcess* child) {
    if (!child) {
        return -1;
    }
    for (int& fd : child->pipes) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
    int status = 0;
    while (waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
    }
    delete child;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long peakMemoryKb() {
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

long childrenPeakMemoryKb() {
    rusage usage{};
    return getrusage(RUSAGE_CHILDREN, &usage) == 0 ? usage.ru_maxrss : -1;
}

bool runThreadInBackground() {
    sched_param lowest{};
    if (sched_setscheduler(0, SCHED_IDLE, &lowest) == 0) { // 0: the calling thread, on Linux
        return true;
    }
    return setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19) == 0;
}

bool standardErrorIsTerminal() {
    return isatty(2) != 0;
}

void keepDefaultSignalHandling() {
    // SDL reads its hints from the environment when a subsystem starts.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
}

} // namespace sys
