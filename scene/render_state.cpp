// render_state.cpp - the shared render state and the primitive guard.
#include "scene/render_state.h"

#include "gfx/gl_api.h"

float fadeFactor = 1.0f;
int currentPrimitive = 0;
int drawnFaceCount = 0;

int beginPrimitive(int mode) {
    if (currentPrimitive != 0) {
        return currentPrimitive;
    }
    currentPrimitive = mode;
    glBegin(static_cast<GLenum>(mode));
    return 0;
}

int endPrimitive() {
    if (currentPrimitive == 0) {
        return 0;
    }
    const int mode = currentPrimitive;
    currentPrimitive = 0;
    glEnd();
    return mode;
}

PrimitivePause::PrimitivePause() {
    if (currentPrimitive != 0) {
        glEnd();
    }
}

PrimitivePause::~PrimitivePause() {
    if (currentPrimitive != 0) {
        glBegin(static_cast<GLenum>(currentPrimitive));
    }
}
