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

// Changes the working directory for the life of the object.
struct WorkingDir {
    std::filesystem::path saved;
    explicit WorkingDir(const std::filesystem::path& to) : saved(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~WorkingDir() { std::filesystem::current_path(saved); }
};

} // namespace testing_support
