// heap_growth.cpp - the heap over the whole demo: the release player's frames, headless at
// 160 x 120, 60 frames a second of virtual time from 0 to 186 s, with every C++ allocation
// counted. Prints the live heap after start-up, at 10 s and at 180 s of demo time, and the
// ratio of the growth from 10 s to 180 s to the heap at 10 s (goal: 0 - nothing accumulates
// from frame to frame once every effect has drawn once).
//
//   bench_heap_growth [DATA_DIR]
//
// DATA_DIR holds tir.val; without it forge (beside this program) writes one into a temporary
// folder first. The demo's parts come from the schedule, so the figures cover every effect the
// schedule has.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "app/application.h"
#include "gfx/render_context.h"
#include "platform/platform.h"
#include "tools/common/offscreen_gl.h"

namespace {

// Live bytes and allocations of operator new, with the size kept in front of each block.
std::atomic<long long> liveBytes{0};
std::atomic<long long> liveBlocks{0};
constexpr size_t headerBytes = alignof(std::max_align_t);

void* counted(size_t size) {
    void* p = std::malloc(size + headerBytes);
    if (!p) {
        throw std::bad_alloc();
    }
    *static_cast<size_t*>(p) = size;
    liveBytes += static_cast<long long>(size);
    ++liveBlocks;
    return static_cast<char*>(p) + headerBytes;
}

void released(void* p) {
    if (!p) {
        return;
    }
    char* block = static_cast<char*>(p) - headerBytes;
    liveBytes -= static_cast<long long>(*reinterpret_cast<size_t*>(block));
    --liveBlocks;
    std::free(block);
}

} // namespace

void* operator new(size_t size) {
    return counted(size);
}
void* operator new[](size_t size) {
    return counted(size);
}
void operator delete(void* p) noexcept {
    released(p);
}
void operator delete[](void* p) noexcept {
    released(p);
}
void operator delete(void* p, size_t) noexcept {
    released(p);
}
void operator delete[](void* p, size_t) noexcept {
    released(p);
}

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path data;
    fs::path scratch;
    if (argc > 1) {
        data = fs::absolute(argv[1]);
    } else {
        scratch = fs::temp_directory_path() / ("tirval-heap-" + std::to_string(std::rand()));
        const fs::path forge = fs::absolute(argv[0]).parent_path() / "forge";
        const std::string cmd =
            "'" + forge.string() + "' --out '" + scratch.string() + "' > /dev/null";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "heap_growth: forge failed; give a data folder instead\n");
            return 1;
        }
        data = scratch;
    }
    fs::current_path(data);

    sys::preferHeadlessVideo();
    static sys::VirtualCounter counter;
    sys::useVirtualCounter(&counter);
    settings.showSetupDialog = 0; // no sound: demo time is counter time
    settings.fullscreen = 0;
    settings.screenWidth = 160;
    settings.screenHeight = 120;
    settings.colourDepth = 32;
    auto* app = new Application;
    app->createMainWindow();
    if (!app->context || !app->context->glContext) {
        std::fprintf(stderr, "heap_growth: no GL context could be created\n");
        return 1;
    }
    const long long afterStart = liveBytes;

    // Two passes over the demo. The first meets every part, GL state and texture for the first
    // time (the GL driver's shader compiler keeps what it builds); the second must not grow.
    for (int pass = 1; pass <= 2; ++pass) {
        DemoClock clock;
        clock.restart(0, 0.0f);
        long long at10 = 0, blocks10 = 0, peak = 0;
        const int frames = 186 * 60;
        for (int frame = 0; frame <= frames; ++frame) {
            counter.now = static_cast<int64_t>(frame) * counter.frequency / 60;
            app->renderFrame(clock.update(counter.now, counter.frequency));
            peak = std::max(peak, liveBytes.load());
            if (frame == 10 * 60) {
                at10 = liveBytes;
                blocks10 = liveBlocks;
            }
            if (frame == 180 * 60) {
                const long long at180 = liveBytes;
                std::printf("pass %d over the demo\n", pass);
                if (pass == 1) {
                    std::printf("  live heap after start-up: %lld bytes\n", afterStart);
                }
                std::printf("  live heap at 10 s:  %lld bytes in %lld blocks\n", at10, blocks10);
                std::printf("  live heap at 180 s: %lld bytes in %lld blocks\n", at180,
                            liveBlocks.load());
                std::printf("  peak during frames: %lld bytes\n", peak);
                std::printf("  growth 10 s -> 180 s: %lld bytes (%lld blocks), ratio to the heap "
                            "at 10 s: %.6f (goal 0 on the second pass)\n",
                            at180 - at10, liveBlocks.load() - blocks10,
                            static_cast<double>(at180 - at10) / static_cast<double>(at10));
            }
        }
    }
    if (!scratch.empty()) {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(scratch);
    }
    std::fflush(stdout);
    sys::exitProcess(0); // as the player ends: the parts live until the process does
}
