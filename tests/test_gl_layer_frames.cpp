// test_gl_layer_frames.cpp - the whole demo through the GL layer against Mesa's own
// fixed-function pipeline: the capture program renders the golden frames' 31 demo times from
// the default data once with the driver's GL and once with TIR_GL=es3 (the layer on llvmpipe's
// OpenGL ES 3 context), at 320 x 240 and at 640 x 480. Each pair of frames must agree: a mean
// absolute difference of at most half a level, and at most 1% of the pixels more than 8 levels
// apart. A failing pair is left side by side in build/gl-layer-frames/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "capture_test_support.h"
#include "gl_layer_test_support.h"

using namespace testing_support;

namespace {

std::vector<std::string> goldenTimes() {
    std::ifstream in(std::string(TIR_SOURCE_DIR) + "/tests/golden/times.txt");
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

struct GlLayerFrames : ForgedData {};

// Renders the golden times at `size` through both paths and compares each pair.
void expectFramesMatch(const std::string& data, const char* size) {
    const std::vector<std::string> times = goldenTimes();
    ASSERT_EQ(times.size(), 31u);
    std::string list;
    for (const std::string& t : times) {
        list += (list.empty() ? "" : ",") + t;
    }
    ScratchDir work("layer-frames");
    {
        for (const char* path : {"mesa", "layer"}) {
            const std::string prefix = std::string(path) == "layer" ? "TIR_GL=es3 " : "";
            const ToolRun r =
                runIn(work, prefix + "'" + captureTool() + "' --data '" + data + "' --size " +
                                size + " --at " + list + " --out " + path + size);
            ASSERT_EQ(r.code, 0) << path << ": " << r.err;
        }
        double worstMean = 0, worstShare = 0;
        for (const std::string& t : times) {
            SCOPED_TRACE("demo time " + t);
            const std::string name = stillName(t);
            int mw = 0, mh = 0, lw = 0, lh = 0;
            const auto mesa =
                readRgbPng(work.file(std::string("mesa") + size + "/" + name), mw, mh);
            const auto layer =
                readRgbPng(work.file(std::string("layer") + size + "/" + name), lw, lh);
            ASSERT_FALSE(mesa.empty());
            ASSERT_EQ(mw, lw);
            ASSERT_EQ(mh, lh);
            const PictureDifference d = compareRgb(mesa, layer, 8);
            worstMean = std::max(worstMean, d.meanAbsolute);
            worstShare = std::max(worstShare, d.shareOver);
            const bool same = d.meanAbsolute <= 0.5 && d.shareOver <= 0.01;
            EXPECT_TRUE(same) << "mean difference " << d.meanAbsolute << " levels, "
                              << d.shareOver * 100 << "% of pixels more than 8 off; see "
                              << "build/gl-layer-frames/";
            if (!same) {
                writeSideBySide(std::string(TIR_BIN_DIR) + "/../gl-layer-frames",
                                std::string(size) + "-" + name.substr(0, name.size() - 4), mw, mh,
                                mesa, layer);
            }
        }
        std::cout << size << ": worst mean difference " << std::fixed << std::setprecision(4)
                  << worstMean << " levels, worst share " << worstShare * 100
                  << "% of pixels more than 8 off\n";
    }
}

} // namespace

TEST_F(GlLayerFrames, GoldenTimesMatchMesaAt320x240) {
    expectFramesMatch(dir->path.string(), "320x240");
}

TEST_F(GlLayerFrames, GoldenTimesMatchMesaAt640x480) {
    expectFramesMatch(dir->path.string(), "640x480");
}
