// capture_test_support.h - runs the capture program on the forged data and reads what it
// writes: exit code and streams, float WAV files, PNG frames and the frame log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "forge_test_support.h"
#include "resources/png_writer.h"

namespace testing_support {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

inline std::string captureTool() {
#ifdef TIR_BIN_DIR
    return std::string(TIR_BIN_DIR) + "/capture";
#else
    return "capture";
#endif
}

// Runs `command` (a shell command line) in `dir`, with stdout and stderr kept.
inline ToolRun runIn(const ScratchDir& dir, const std::string& command) {
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    const std::string line = "cd '" + dir.path.string() + "' && SDL_VIDEODRIVER=offscreen " +
                             command + " > '" + out + "' 2> '" + err + "'";
    const int status = std::system(line.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto o = readFile(out), e = readFile(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

// Runs the capture program with `args`.
inline ToolRun runCaptureTool(const ScratchDir& dir, const std::string& args) {
    return runIn(dir, "'" + captureTool() + "' " + args);
}

// The samples of a float stereo WAV file as the capture writes it; empty when it is not one.
inline std::vector<float> readFloatWav(const std::string& path, int* rate = nullptr) {
    const std::vector<unsigned char> b = readFile(path);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     static_cast<uint32_t>(b[at + 3]) << 24);
    };
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        return {};
    }
    std::vector<float> samples;
    bool isFloatStereo = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && at + 24 <= b.size()) {
            isFloatStereo =
                (b[at + 8] | b[at + 9] << 8) == 3 && (b[at + 10] | b[at + 11] << 8) == 2;
            if (rate) {
                *rate = static_cast<int>(u32(at + 12));
            }
        }
        if (std::memcmp(&b[at], "data", 4) == 0 && isFloatStereo && at + 8 + size <= b.size()) {
            samples.resize(size / 4);
            std::memcpy(samples.data(), &b[at + 8], samples.size() * 4);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// RGB rows of a PNG (alpha dropped); empty when it cannot be read.
inline std::vector<unsigned char> readRgbPng(const std::string& path, int& width, int& height) {
    std::vector<unsigned char> rgba;
    if (!readPng(path, width, height, rgba)) {
        return {};
    }
    std::vector<unsigned char> rgb;
    rgb.reserve(rgba.size() / 4 * 3);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    }
    return rgb;
}

// The golden frames' tolerance, for pictures of the same moment drawn by two runs: llvmpipe on
// another CPU, or another path through the same GL, may round a colour by a step or two. A
// pixel counts as changed when a channel moves by more than goldenChannelTolerance, and two
// pictures match when at most goldenChangedShare of their pixels changed.
constexpr int goldenChannelTolerance = 4;
constexpr double goldenChangedShare = 0.001;

struct GoldenDifference {
    int changed = 0; // pixels with a channel more than goldenChannelTolerance off
    int largest = 0; // the largest step of any channel
};
// Compares two RGB pictures of the same size, pixel by pixel. `difference`, when given, gets an
// RGB picture of each pixel's largest step, times 8, for a person to look at.
inline GoldenDifference comparePictures(const std::vector<unsigned char>& a,
                                        const std::vector<unsigned char>& b,
                                        std::vector<unsigned char>* difference = nullptr) {
    GoldenDifference d;
    if (difference) {
        difference->assign(a.size(), 0);
    }
    for (size_t p = 0; p + 2 < a.size() && p + 2 < b.size(); p += 3) {
        int most = 0;
        for (int c = 0; c < 3; ++c) {
            most = std::max(most, std::abs(a[p + c] - b[p + c]));
        }
        d.changed += most > goldenChannelTolerance;
        d.largest = std::max(d.largest, most);
        if (difference) {
            for (int c = 0; c < 3; ++c) {
                (*difference)[p + c] = static_cast<unsigned char>(std::min(255, most * 8));
            }
        }
    }
    return d;
}
// Whether `changed` pixels of width x height are within the golden frames' tolerance.
inline bool withinGoldenTolerance(int changed, int width, int height) {
    return changed <= goldenChangedShare * width * height;
}

// One line of the capture's frame log.
struct LoggedFrame {
    int frame = 0;
    double seconds = 0;
    int order = 0;
    float demo = 0;
    std::string rows;
};

inline std::vector<LoggedFrame> readFrameLog(const std::string& path, int* parts = nullptr) {
    const std::vector<unsigned char> bytes = readFile(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::vector<LoggedFrame> frames;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            const size_t at = line.find("holds ");
            if (parts && at != std::string::npos) {
                *parts = std::atoi(line.c_str() + at + 6);
            }
            continue;
        }
        LoggedFrame f;
        std::istringstream fields(line);
        std::string demo;
        fields >> f.frame >> f.seconds >> f.order >> demo;
        f.demo = std::strtof(demo.c_str(), nullptr);
        std::getline(fields, f.rows);
        if (!f.rows.empty() && f.rows[0] == '\t') {
            f.rows.erase(0, 1);
        }
        frames.push_back(f);
    }
    return frames;
}

} // namespace testing_support
