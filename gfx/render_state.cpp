// render_state.cpp - the shared render state, its reset and the primitive guard.
#include "gfx/render_state.h"

#include "gfx/gl_api.h"

RenderState renderState;

const float& fadeFactor = renderState.fadeFactor();
const int& currentPrimitive = renderState.currentPrimitive();
const int& drawnFaceCount = renderState.drawnFaceCount();

void RenderState::reset() {
    *this = RenderState{};
}

int RenderState::beginPrimitive(int mode) {
    if (currentPrimitiveValue != 0) {
        return currentPrimitiveValue;
    }
    currentPrimitiveValue = mode;
    glBegin(static_cast<GLenum>(mode));
    return 0;
}

int RenderState::endPrimitive() {
    if (currentPrimitiveValue == 0) {
        return 0;
    }
    const int mode = currentPrimitiveValue;
    currentPrimitiveValue = 0;
    glEnd();
    return mode;
}

int beginPrimitive(int mode) {
    return renderState.beginPrimitive(mode);
}

int endPrimitive() {
    return renderState.endPrimitive();
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
