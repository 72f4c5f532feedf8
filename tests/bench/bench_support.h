// bench_support.h - what the demo-level benchmarks share: the default data forged into a
// scratch folder by the forge program beside the benchmark, child runs of the benchmark
// itself (one player start-up per process), wall time and peak memory.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

inline double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The folder of the running program (the build's bin folder, where forge and capture are).
inline fs::path programDir(const char* argv0) {
    return fs::absolute(argv0).parent_path();
}

// A scratch folder removed with the object.
struct Scratch {
    fs::path path;
    explicit Scratch(const std::string& tag) {
        path = fs::temp_directory_path() /
               ("tirval-bench-" + tag + "-" + std::to_string(std::random_device{}()));
        fs::create_directories(path);
    }
    ~Scratch() { fs::remove_all(path); }
};

// Writes the default data set (tir.val) into `dir` with the forge program. False when forge
// is missing or fails.
inline bool forgeData(const fs::path& bin, const fs::path& dir) {
    const std::string command = "'" + (bin / "forge").string() + "' --out '" + dir.string() +
                                "' > '" + (dir / "forge.log").string() + "' 2>&1";
    return std::system(command.c_str()) == 0 && fs::exists(dir / "tir.val");
}

// Runs a shell command line; true when it exited with 0.
inline bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The process's peak resident memory in kB (VmHWM), or -1 where the system does not say.
inline long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

inline double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace bench
