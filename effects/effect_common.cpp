// effect_common.cpp - the shared pieces of the effect parts.
#include "effects/effect_common.h"

#include <memory>

#include "gfx/gl_api.h"
#include "gfx/render_state.h"

const QuadCorner screenQuad[4] = {
    {0, 0, -1, 1, 0},
    {1, 0, 1, 1, 0},
    {1, 1, 1, -1, 0},
    {0, 1, -1, -1, 0},
};

void selectUnitZero(bool texturing) {
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    if (texturing) {
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
}

void loadPerspective(double farPlane) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.375, 0.375, 1.0, farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void loadOrtho(double left, double right, double bottom, double top) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void emitCorners(const QuadCorner (&corners)[4]) {
    for (const QuadCorner& c : corners) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x, c.y, c.z);
    }
}

void drawQuad(const QuadCorner (&corners)[4]) {
    beginPrimitive(GL_QUADS);
    emitCorners(corners);
    endPrimitive();
}

float clamp01(float x) {
    return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

float fadeRamp(float t, float fadeOutAt) {
    if (t < 2.0f) {
        return clamp01(0.5f * t);
    }
    if (t > fadeOutAt) {
        return 1.0f - clamp01(0.5f * (t - fadeOutAt));
    }
    return 1.0f;
}

Scene* loadSceneNamed(const char* fileName) {
    // Held until it has loaded: a damaged file that fails through an intercepted exit (the
    // development player's reload) gives the half-read scene back.
    auto scene = std::make_unique<Scene>(fileName);
    loadScene(scene.get());
    return scene.release();
}

MeshObject* meshAt(Scene* scene, int index) {
    MeshObject* mesh = scene ? scene->firstMesh : nullptr;
    for (int i = 0; mesh && i < index; ++i) {
        mesh = mesh->next;
    }
    return mesh;
}

Material* materialAt(Scene* scene, int index) {
    if (!scene || !scene->materials || index < 0 || index >= scene->materials->count) {
        return nullptr;
    }
    return scene->materials->items[index];
}

void drawMeshAt(Scene* scene, int index) {
    if (MeshObject* mesh = meshAt(scene, index)) {
        mesh->draw();
    }
}
