// gl_layer_test_support.h - drawing the same thing through Mesa's own fixed-function pipeline
// and through the GL layer over OpenGL ES 3 (both on llvmpipe, one context after the other in
// this process), and comparing the pictures.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/gl_api.h"
#include "tools/common/offscreen_gl.h"
#include "resources/png_writer.h"

namespace testing_support {

enum class GlPath { mesa, layer };

inline const char* pathName(GlPath path) {
    return path == GlPath::mesa ? "Mesa" : "layer";
}

// Chooses the GL library for the next loadGl: the driver's own or the layer (TIR_GL=es3).
// Whatever table was loaded is unloaded first, so the choice takes effect.
inline void chooseGl(GlPath path) {
    unloadGl();
    if (path == GlPath::layer) {
        setenv("TIR_GL", "es3", 1);
    } else {
        unsetenv("TIR_GL");
    }
}

// A width x height headless context of one path, for the life of the object; afterwards the
// driver's own GL is chosen again.
struct PathContext {
    OffscreenGl gl;
    std::string error;
    bool open = false;
    PathContext(GlPath path, int width, int height) {
        chooseGl(path);
        open = gl.open(width, height, error);
    }
    ~PathContext() {
        gl.close();
        chooseGl(GlPath::mesa);
    }
};

// How far apart two RGB pictures of the same size are.
struct PictureDifference {
    double meanAbsolute = 0; // over every channel of every pixel, in levels
    double shareOver = 0;    // pixels with a channel off by more than `threshold`, 0..1
    int largest = 0;         // the largest channel difference
};

inline PictureDifference compareRgb(const std::vector<unsigned char>& a,
                                    const std::vector<unsigned char>& b, int threshold) {
    PictureDifference d;
    if (a.size() != b.size() || a.empty()) {
        d.meanAbsolute = d.shareOver = 1e9;
        return d;
    }
    double sum = 0;
    size_t over = 0;
    for (size_t p = 0; p + 2 < a.size(); p += 3) {
        int most = 0;
        for (int c = 0; c < 3; ++c) {
            const int diff = std::abs(a[p + c] - b[p + c]);
            sum += diff;
            most = std::max(most, diff);
        }
        over += most > threshold;
        d.largest = std::max(d.largest, most);
    }
    d.meanAbsolute = sum / static_cast<double>(a.size());
    d.shareOver = static_cast<double>(over) / static_cast<double>(a.size() / 3);
    return d;
}

// Writes `mesa`, `layer` and their difference (amplified 16 times) side by side into
// DIR/NAME.png, each pixel drawn `zoom` times as wide and high, for a person to look at when a
// comparison fails.
inline void writeSideBySide(const std::string& dir, const std::string& name, int width, int height,
                            const std::vector<unsigned char>& mesa,
                            const std::vector<unsigned char>& layer, int zoom = 1) {
    std::filesystem::create_directories(dir);
    const size_t outWidth = static_cast<size_t>(width) * 3 * zoom;
    std::vector<unsigned char> out(outWidth * static_cast<size_t>(height * zoom) * 3);
    for (int y = 0; y < height * zoom; ++y) {
        for (int x = 0; x < width * zoom; ++x) {
            const size_t in = (static_cast<size_t>(y / zoom) * width + x / zoom) * 3;
            unsigned char* row = &out[static_cast<size_t>(y) * outWidth * 3];
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(mesa[in + c] - layer[in + c]);
                row[x * 3 + c] = mesa[in + c];
                row[(width * zoom + x) * 3 + c] = layer[in + c];
                row[(2 * width * zoom + x) * 3 + c] =
                    static_cast<unsigned char>(std::min(255, diff * 16));
            }
        }
    }
    writePng(dir + "/" + name + ".png", static_cast<int>(outWidth), height * zoom, 3, out);
}

} // namespace testing_support
