// render_context.cpp - pixel format, rendering context and display-mode switching.
#include "gfx/render_context.h"

#include <cstring>

RenderContext::RenderContext(sys::Window* window, int colourBits, int depthBits)
    : window(window), colourBits(colourBits), depthBits(depthBits) {
    createResult = create();
}

int RenderContext::choosePixelFormat() {
    if (pixelFormat != 0) {
        return 0;
    }
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = sys::PFD_DRAW_TO_WINDOW | sys::PFD_SUPPORT_OPENGL | sys::PFD_DOUBLEBUFFER;
    descriptor.iPixelType = sys::PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<uint8_t>(colourBits);
    descriptor.cDepthBits = static_cast<uint8_t>(depthBits);
    pixelFormat = sys::choosePixelFormat(window, descriptor);
    if (pixelFormat == 0) {
        // The request could not be met: try once more with a 16-bit depth buffer.
        depthBits = 16;
        descriptor.cDepthBits = 16;
        pixelFormat = sys::choosePixelFormat(window, descriptor);
    }
    if (pixelFormat != 0 && sys::setPixelFormat(window, pixelFormat, descriptor)) {
        return 0;
    }
    return 1;
}

int RenderContext::create() {
    if (choosePixelFormat() != 0) {
        return 1;
    }
    if (!wglCreateContext) {
        return 1; // the GL library was not loaded
    }
    glContext = wglCreateContext(window);
    if (!glContext) {
        return 1;
    }
    wglMakeCurrent(window, glContext);
    return 0;
}

int RenderContext::release() {
    if (!glContext) {
        return 1;
    }
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(glContext);
    glContext = nullptr;
    return 0;
}

void RenderContext::present(HDC deviceContext) {
    if (wglSwapBuffers) {
        wglSwapBuffers(deviceContext);
    }
}

int switchDisplay(int width, int height, int depth, sys::Window* window) {
    if (depth == 15) {
        depth = 16;
    }
    return sys::switchDisplayMode(window, width, height, depth);
}

void restoreDisplay() {
    sys::restoreDisplayMode();
}
