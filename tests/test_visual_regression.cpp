// test_visual_regression.cpp - the demo's pictures against golden frames: stills at the demo
// times listed in tests/golden/times.txt, rendered at 160 x 120 from the default data by the
// capture program, compared with the PNGs that `make golden` wrote there after a person looked
// at them. Any change to an effect that moves its pixels (a colour, an alpha, a timing) fails
// here; a change on purpose is followed by `make golden` and a look at the new frames.
//
// The comparison allows what differs between machines: llvmpipe on another CPU may round a
// colour by a step or two (the golden tolerance of capture_test_support.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture_test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int width = 160, height = 120;

std::string goldenDir() {
    return std::string(TIR_SOURCE_DIR) + "/tests/golden";
}

std::vector<std::string> goldenTimes() {
    std::ifstream in(goldenDir() + "/times.txt");
    std::vector<std::string> times;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            times.push_back(line);
        }
    }
    return times;
}

std::string stillName(const std::string& time) {
    char name[40];
    std::snprintf(name, sizeof name, "at-%07.3f.png", std::stod(time));
    return name;
}

// Where a failing frame's golden, new and difference pictures are left for a person to see.
std::string diffDir() {
    return std::string(TIR_BIN_DIR) + "/../golden-diff";
}

} // namespace

struct VisualRegression : ForgedData {};

TEST_F(VisualRegression, FramesMatchTheGoldenFrames) {
    const std::vector<std::string> times = goldenTimes();
    ASSERT_GE(times.size(), 25u) << "tests/golden/times.txt lists the golden frames' times";
    std::string list;
    for (const std::string& t : times) {
        list += (list.empty() ? "" : ",") + t;
    }
    ScratchDir work("golden");
    const ToolRun r = runCaptureTool(work, "--data '" + dir->path.string() +
                                               "' --size 160x120 --at " + list + " --out new");
    ASSERT_EQ(r.code, 0) << r.err;

    // Every row of the schedule is on screen in at least one of the frames.
    int parts = -1;
    std::sscanf(r.out.c_str(), "timeline: %d parts", &parts);
    ASSERT_GE(parts, 0) << r.out;
    std::set<int> shown;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(": rows ");
        if (at == std::string::npos) {
            continue;
        }
        std::istringstream rows(line.substr(at + 7));
        std::string item;
        while (std::getline(rows, item, ',')) {
            const int row = std::atoi(item.c_str());
            if (row > 0) {
                shown.insert(row);
            }
        }
    }
    for (int row = 1; row <= parts; ++row) {
        EXPECT_TRUE(shown.count(row)) << "no golden time shows row " << row;
    }

    int goldens = 0;
    for (const std::string& t : times) {
        goldens += fs::exists(goldenDir() + "/" + stillName(t));
    }
    if (goldens == 0) {
        GTEST_SKIP() << "no golden frames under tests/golden yet: run `make golden`, look at "
                        "the frames and commit them";
    }
    for (const std::string& t : times) {
        SCOPED_TRACE("demo time " + t);
        const std::string name = stillName(t);
        int gw = 0, gh = 0, nw = 0, nh = 0;
        const auto golden = readRgbPng(goldenDir() + "/" + name, gw, gh);
        const auto fresh = readRgbPng(work.file("new/" + name), nw, nh);
        ASSERT_FALSE(golden.empty()) << name << " is missing: run `make golden`";
        ASSERT_EQ(gw, width);
        ASSERT_EQ(gh, height);
        ASSERT_EQ(nw, width);
        ASSERT_EQ(nh, height);
        std::vector<unsigned char> difference;
        const GoldenDifference d = comparePictures(golden, fresh, &difference);
        const bool same = withinGoldenTolerance(d.changed, width, height);
        EXPECT_TRUE(same) << d.changed << " pixels changed (largest step " << d.largest
                          << "); the frames are in " << diffDir();
        if (!same) {
            fs::create_directories(diffDir());
            const std::string stem = diffDir() + "/" + name.substr(0, name.size() - 4);
            writePng(stem + "-golden.png", width, height, 3, golden);
            writePng(stem + "-new.png", width, height, 3, fresh);
            writePng(stem + "-difference.png", width, height, 3, difference);
        }
    }
}
