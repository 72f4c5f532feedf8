// test_support.h - shared helpers for the test suite: catching process exits, capturing
// standard streams, scratch folders, and finding the shared reference data.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <random>
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

// The shared reference-data folder (the MPEG conformance streams live under it), or an empty
// string when this machine has none. TIR_SHARED overrides the built-in guess.
inline std::string sharedDir() {
    if (const char* env = std::getenv("TIR_SHARED")) {
        return env;
    }
#ifdef TIR_SHARED_DIR
    // Beside the checkout, where the workplace keeps it.
    if (std::filesystem::exists(TIR_SHARED_DIR)) {
        return TIR_SHARED_DIR;
    }
#endif
    // A clone made elsewhere on the same machine.
    if (std::filesystem::exists("/work/shared/mp3-conformance")) {
        return "/work/shared";
    }
    return "";
}

// The player's settings and clock as a fresh process has them.
inline void resetPlayerState() {
    settings.reset();
    demoClock.reset();
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
