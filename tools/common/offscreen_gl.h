// offscreen_gl.h - a headless GL window for tools and tests that render: a window and context of
// a given size made through the platform layer and the entry-point table, and the back buffer
// read back as RGB rows, top to bottom. Also a GL table whose entries do nothing, for tools and
// benchmarks that run drawing code without any display.
#pragma once

#include <string>
#include <vector>

#include "gfx/gl_api.h"

class RenderContext;

class OffscreenGl {
public:
    OffscreenGl() = default;
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    // Loads GL, makes a width x height window with a 32-bit colour buffer and a depth buffer,
    // makes its context current, fetches the multitexture entries and sets the viewport.
    // Prefers the headless video driver unless SDL_VIDEODRIVER names another. Returns false
    // with the reason in `error` when any step fails.
    bool open(int width, int height, std::string& error);
    // Releases the context and the window (the GL library stays loaded). In sanitizer builds
    // leak checking is paused on this thread from open() to close(): the GL driver keeps
    // allocations of its own until the process ends.
    void close();
    // The back buffer as width * height * 3 bytes, rows top to bottom.
    std::vector<unsigned char> readRgb() const;

    int width = 0;
    int height = 0;
    sys::Window* window = nullptr;
    RenderContext* context = nullptr;
    bool leakChecksPaused = false;
};

// In sanitizer builds, pauses (true) or resumes (false) leak checking on this thread, for code
// that holds a GL context: the GL driver keeps allocations of its own until the process ends,
// made by code it has unloaded by then. Elsewhere it does nothing.
void pauseLeakChecks(bool pause);

// The current context's back buffer, width x height from the bottom left, as RGB rows top to
// bottom (the order image files use).
std::vector<unsigned char> readBackBuffer(int width, int height);

// Points every entry of the GL table (the multitexture ones too) at functions that do nothing;
// glGenTextures hands out increasing names and glGetString answers with the multitexture
// extension, so loaders and the scene engine run as on a real context.
void installNullGl();
