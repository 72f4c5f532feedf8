// main.cpp - capture: renders one frame of the release player headless, at a given demo time,
// and writes it as a PNG. Time comes from a virtual counter, so the picture depends only on the
// data and the time asked for.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/application.h"
#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "tools/common/offscreen_gl.h"
#include "tools/common/png_writer.h"

namespace fs = std::filesystem;

static int usage() {
    std::fprintf(stderr, "usage: capture --data DIR --at SECONDS --size WxH --out FILE.png\n"
                         "  renders the release player's frame at demo time SECONDS (0 to 186.5)\n"
                         "  from the data folder DIR (which holds tir.val) into FILE.png\n");
    return 2;
}

int main(int argc, char** argv) {
    std::string data = ".", out;
    double at = -1;
    int width = 640, height = 480;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--data" && hasValue) {
            data = argv[++i];
        } else if (a == "--at" && hasValue) {
            at = std::atof(argv[++i]);
        } else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 ||
                height <= 0 || width > 8192 || height > 8192) {
                std::fprintf(stderr, "capture: --size wants WIDTHxHEIGHT, such as 640x480\n");
                return 2;
            }
        } else if (a == "--out" && hasValue) {
            out = argv[++i];
        } else {
            return usage();
        }
    }
    if (out.empty() || at < 0) {
        return usage();
    }
    if (at > demoLength) {
        std::fprintf(stderr, "capture: the demo ends at %.1f s; %.3f s is past its end\n",
                     demoLength, at);
        return 2;
    }
    const fs::path outPath = fs::absolute(out);
    std::error_code ec;
    fs::current_path(data, ec);
    if (ec) {
        std::fprintf(stderr, "capture: cannot enter the data folder %s: %s\n", data.c_str(),
                     ec.message().c_str());
        return 1;
    }

    sys::preferHeadlessVideo();
    static sys::VirtualCounter counter;
    counter.frequency = 1000000;
    counter.now = 0;
    sys::useVirtualCounter(&counter);

    // The release player's settings without the dialog: no sound, so demo time is counter time.
    settings.showSetupDialog = 0;
    settings.fullscreen = 0;
    settings.screenWidth = width;
    settings.screenHeight = height;
    settings.colourDepth = 32;

    auto* app = new Application;
    app->createMainWindow();
    if (!app->context || !app->context->glContext) {
        std::fprintf(stderr, "capture: no GL context could be created\n");
        return 1;
    }

    std::vector<unsigned char> pixels;
    bool grab = false;
    app->beforePresent = [&] {
        if (!grab) {
            return;
        }
        pixels = readBackBuffer(width, height);
    };

    // Capture keeps a clock of its own on the virtual counter and renders the player's frame at
    // the times it gives; the player's own clock is never touched. One warm-up frame comes just
    // before T, since every frame starts from the GL state the last one left.
    DemoClock clock;
    clock.restart(0, 0.0f);
    const double warmUp = at >= 1.0 / 60 ? at - 1.0 / 60 : 0.0;
    counter.now = static_cast<int64_t>(warmUp * counter.frequency + 0.5);
    app->renderFrame(clock.update(counter.now, counter.frequency));
    grab = true;
    counter.now = static_cast<int64_t>(at * counter.frequency + 0.5);
    app->renderFrame(clock.update(counter.now, counter.frequency));

    if (pixels.empty() || !writePng(outPath.string(), width, height, 3, pixels)) {
        std::fprintf(stderr, "capture: no frame was written\n");
        return 1;
    }
    std::printf("captured demo time %.3f s at %dx%d into %s\n", static_cast<double>(clock.demoTime),
                width, height, outPath.string().c_str());
    return 0;
}
