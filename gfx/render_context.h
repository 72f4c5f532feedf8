// render_context.h - the demo window's double-buffered RGBA pixel format, its GL rendering
// context and the buffer swap; and the display-mode switch for full-screen play.
#pragma once

#include "gfx/gl_api.h"

class RenderContext {
public:
    // Stores the request and creates the context at once; see create() for the result.
    RenderContext(sys::Window* window, int colourBits, int depthBits);
    ~RenderContext() = default;

    // 0 when the pixel format is set and the context is current, 1 when either failed.
    int create();
    // 1 if there is no context; otherwise makes nothing current, deletes the context, 0.
    int release();
    // Swaps the buffers of the given device context (the one the paint began with).
    void present(HDC deviceContext);

    sys::Window* window;
    HGLRC glContext = nullptr;
    int colourBits;
    int depthBits;
    int pixelFormat = 0;
    PIXELFORMATDESCRIPTOR descriptor{};
    int createResult = 1;

private:
    int choosePixelFormat();
};

// Puts the screen into width x height at `depth` bits per pixel for `window`. 0 when an exact
// mode was set; otherwise the desktop full-screen fallback with the picture pillarboxed (1), or
// a failure code. The application does not act on the result.
int switchDisplay(int width, int height, int depth, sys::Window* window);
// Returns the desktop to its own mode (also when no switch was made).
void restoreDisplay();
