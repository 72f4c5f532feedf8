// render_state.cpp - the shared render state, its reset and the primitive guard.
#include "gfx/render_state.h"

#include "gfx/gl_api.h"

RenderState renderState;

float& fadeFactor = renderState.fadeFactor;
int& currentPrimitive = renderState.currentPrimitive;
int& drawnFaceCount = renderState.drawnFaceCount;
Material*& currentMaterial = renderState.currentMaterial;
TextureCatalogue& textureCatalogue = renderState.textureCatalogue;
char (&sceneFileMagic)[5] = renderState.sceneFileMagic;

void RenderState::reset() {
    fadeFactor = 1.0f;
    currentPrimitive = 0;
    drawnFaceCount = 0;
    currentMaterial = nullptr;
    textureCatalogue.clear();
    materialTextureLoader = nullptr;
    static constexpr char kexp[5] = {'K', 'E', 'X', 'P', 0};
    for (int i = 0; i < 5; ++i) {
        sceneFileMagic[i] = kexp[i];
    }
}

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
