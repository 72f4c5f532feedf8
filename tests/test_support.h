// test_support.h - shared helpers for the test suite: catching process exits, capturing
// standard streams, scratch folders, and finding the shared reference data.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <random>
#include <thread>
#include <vector>

#include "app/application.h"
#include "platform/platform.h"

namespace testing_support {

// Thrown in place of ending the process, so a test can check the exit code.
struct ProcessExit {
    int code;
};

inline void throwingExitHook(int code) {
    throw ProcessExit{code};
}

// Installs the throwing exit hook for the life of the object.
struct ExitTrap {
    ExitTrap() { sys::setExitHook(&throwingExitHook); }
    ~ExitTrap() { sys::setExitHook(nullptr); }
};

// Runs `f` and returns the exit code it ended with, or -1000 if it returned normally.
template <class F> int exitCodeOf(F&& f) {
    ExitTrap trap;
    try {
        f();
    } catch (const ProcessExit& e) {
        return e.code;
    }
    return -1000;
}

// A fresh folder under the system's temp directory, removed with the object.
struct ScratchDir {
    std::filesystem::path path;
    explicit ScratchDir(const std::string& tag) {
        path = std::filesystem::temp_directory_path() /
               ("tirval-" + tag + "-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), {});
}

// The shared reference-data folder (the MPEG conformance streams live under it): TIR_SHARED
// when set, else "shared" beside the source tree. Empty when it has no conformance streams.
inline std::string sharedDir() {
    if (const char* env = std::getenv("TIR_SHARED")) {
        return std::filesystem::exists(std::string(env) + "/mp3-conformance") ? env : "";
    }
#ifdef TIR_SOURCE_DIR
    const std::filesystem::path beside = std::filesystem::path(TIR_SOURCE_DIR) / ".." / "shared";
    if (std::filesystem::exists(beside / "mp3-conformance")) {
        return beside.lexically_normal().string();
    }
#endif
    return "";
}

// CI sets TIR_REQUIRE_SHARED=1: there a missing reference is a failure, not a skip.
inline bool sharedDataRequired() {
    const char* v = std::getenv("TIR_REQUIRE_SHARED");
    return v && *v && std::string(v) != "0";
}

} // namespace testing_support

// Opens a test that reads the shared reference data: skipped, with a message saying where the
// data is looked for, when a clone has none; failed instead where TIR_REQUIRE_SHARED is set.
#define TIR_NEED_SHARED_DATA()                                                                     \
    do {                                                                                           \
        if (::testing_support::sharedDir().empty()) {                                              \
            if (::testing_support::sharedDataRequired()) {                                         \
                FAIL() << "the shared reference data is missing: set TIR_SHARED to the folder "    \
                          "that holds mp3-conformance/";                                           \
            }                                                                                      \
            GTEST_SKIP() << "no shared reference data (looked in TIR_SHARED and ../shared "        \
                            "beside the source tree)";                                             \
        }                                                                                          \
    } while (0)

namespace testing_support {

// The player's settings and clock as a fresh process has them.
inline void resetPlayerState() {
    settings.reset();
    demoClock.reset();
}

// A program run until it has done enough: `command` (a shell command line, run in `folder` with
// exec, so that the program itself gets the signal) is interrupted with SIGINT, as Ctrl+C
// would, once `enough()` holds; `enough` is asked every 20 ms, typically about what the program
// wrote so far (so the files it reads must not be left from an earlier run). A program that ends by
// itself is not interrupted. After `limitSeconds` it is interrupted whatever it did, which a test
// then sees as `reached` false. `status` is the exit status, or 128 + the signal that ended it. How
// long this takes depends on how busy the machine is, what the program did by then does not.
struct ProgramRun {
    int status = -1;
    bool reached = false; // enough() held before the program ended or the limit
};
inline ProgramRun runUntil(const std::string& folder, const std::string& command,
                           const std::function<bool()>& enough, double limitSeconds = 120.0) {
    const std::string line = "cd '" + folder + "' && exec " + command;
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ProgramRun r;
    if (pid < 0) {
        return r;
    }
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    bool interrupted = false;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (!interrupted && (enough() || std::chrono::steady_clock::now() - start >
                                             std::chrono::duration<double>(limitSeconds))) {
            r.reached = enough();
            kill(pid, SIGINT);
            interrupted = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!interrupted) {
        r.reached = enough();
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// True when text contains part.
inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The text of a file, "" when there is none.
inline std::string readText(const std::string& path) {
    const std::vector<unsigned char> bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Frames of a 32-bit float stereo raw file (SDL's disk driver) after its first frame that is
// not silent; 0 while it is all silence.
inline int64_t soundingFramesIn(const std::string& path) {
    const std::vector<unsigned char> raw = readFile(path);
    const size_t frames = raw.size() / 8;
    for (size_t i = 0; i < frames; ++i) {
        float l, r;
        std::memcpy(&l, &raw[i * 8], 4);
        std::memcpy(&r, &raw[i * 8 + 4], 4);
        if (l != 0.0f || r != 0.0f) {
            return static_cast<int64_t>(frames - i);
        }
    }
    return 0;
}

// Changes the working directory for the life of the object.
struct WorkingDir {
    std::filesystem::path saved;
    explicit WorkingDir(const std::filesystem::path& to) : saved(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~WorkingDir() { std::filesystem::current_path(saved); }
};

} // namespace testing_support
