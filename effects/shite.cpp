// shite.cpp - the wobbling scene: the backdrop's "Qua" meshes drawn twice through a projection
// that slides in from the side and rocks about the horizontal axis, then the main scene rising
// from below, its first four meshes deformed by VertexWobbleModifier and drawn with scrolling
// texture offsets.
#include "effects/shite.h"

#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

constexpr int wobbledMeshes = 4;
// Both slides end when sin(h / 2) reaches its peak: h stops growing at 3.14 (about pi).
constexpr float slideEnd = 3.14f;

float fourthPower(float v) {
    const float square = v * v;
    return square * square;
}

// Projection matrix current, one translation multiplied onto it, model-view current again.
void shiftProjection(float x, float y) {
    glMatrixMode(GL_PROJECTION);
    glTranslatef(x, y, 0.0f);
    glMatrixMode(GL_MODELVIEW);
}

// Texture offsets of a material the scene may lack.
void scroll(Material* material, float u) {
    if (material) {
        material->uOffset = u;
    }
}
void scroll(Material* material, float u, float v) {
    if (material) {
        material->uOffset = u;
        material->vOffset = v;
    }
}

} // namespace

VertexWobbleModifier::VertexWobbleModifier(MeshObject* mesh) : object(mesh) {
    rest.resize(static_cast<size_t>(mesh->vertexCount > 0 ? mesh->vertexCount : 0));
    for (size_t i = 0; i < rest.size(); ++i) {
        const Vertex& v = mesh->vertices[i];
        for (int k = 0; k < 3; ++k) {
            rest[i].position[k] = v.position[k];
            rest[i].normal[k] = v.normal[k];
        }
    }
    addModifier(mesh, this);
}

void VertexWobbleModifier::render(float x) {
    // sx lies in [1.5, 2.8] and sy in [1.5, 2.5]: the shape only ever grows, and breathes
    // at different rates across and up.
    const size_t count = rest.size() < static_cast<size_t>(object->vertexCount)
                             ? rest.size()
                             : static_cast<size_t>(object->vertexCount);
    for (size_t i = 0; i < count; ++i) {
        const RestVertex& r = rest[i];
        const float sx = 1.3f * fourthPower(std::sin(3.2f * r.normal[0] + 0.2f * x)) + 1.5f;
        const float sy = fourthPower(std::cos(3.2f * r.normal[1] + 0.32f * x + 1.2f)) + 1.5f;
        float* p = object->vertices[i].position;
        p[0] = sx * r.position[0];
        p[1] = sy * r.position[1];
        p[2] = r.position[2];
    }
    computeNormals(object);
}

ShitePart::ShitePart(float start, float end)
    : scene(loadSceneNamed("shite1.exp")), backdropScene(loadSceneNamed("design_bw2.exp")) {
    this->start = start;
    this->end = end;
    // The render routines were chosen from the file's texture names; these replace only the
    // pictures, so the file must already name textures in the same slots.
    if (Material* m = materialAt(scene.get(), 0)) {
        m->texture0 = loadTexture("max_t5.jpg");
        m->alpha *= 0.4f;
    }
    if (Material* m = materialAt(scene.get(), 1)) {
        m->texture0 = loadTexture("water2.jpg");
        m->texture1 = loadTexture("max_t3.jpg");
    }
    for (int i = 0; i < wobbledMeshes; ++i) {
        if (MeshObject* mesh = meshAt(scene.get(), i)) {
            modifiers.push_back(std::make_unique<VertexWobbleModifier>(mesh));
        }
    }
}

ShitePart::~ShitePart() = default;

void ShitePart::render(float t) {
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);

    // The backdrop: its camera's projection, slid in from x = 200 and rocking about x.
    updateCamera(backdropScene.get(), 0.0f);
    const float h = t <= slideEnd ? t : slideEnd;
    glMatrixMode(GL_PROJECTION);
    glTranslatef(200.0f - 200.0f * std::sin(h / 2.0f), 0.0f, 0.0f);
    glRotatef(16.0f * std::sin(0.4f * t), 1.0f, 0.0f, 0.0f);
    glMatrixMode(GL_MODELVIEW);

    Material* backdropMaterial = materialAt(backdropScene.get(), 0);
    glDisable(GL_DEPTH_TEST);
    beginPrimitive(GL_TRIANGLES);
    prepareMeshes(backdropScene.get(), 0.0f);
    scroll(backdropMaterial, t);
    drawMeshesNamed(backdropScene.get(), "Qua");
    endPrimitive();

    // The second copy, 10 units to the left and scrolled 16 texture widths on.
    shiftProjection(-10.0f, 0.0f);
    beginPrimitive(GL_TRIANGLES);
    scroll(backdropMaterial, t + 16.0f);
    drawMeshesNamed(backdropScene.get(), "Qua");
    // The main scene fades in over the part's second second; the backdrop above was drawn
    // with the fade the previous frame left.
    renderState.setFadeFactor(clamp01(t - 1.0f));
    endPrimitive();

    // The main scene: its camera swings along its path (scene times 0.5 to 127.5), it rises
    // from 3000 units below, and preparing the meshes runs the wobble modifiers.
    Scene* shapes = scene.get();
    updateCamera(shapes, 64.0f + 63.5f * std::sin(0.62f * t));
    updateLight(shapes, 10.0f * t);
    prepareMeshes(shapes, std::fmod(10.0f * t, 200.0f));
    shiftProjection(0.0f, 3000.0f - 3000.0f * std::sin(h / 2.0f));

    // Material 0 scrolls differently under each mesh. vOffset is first set after mesh 2 is
    // drawn, so mesh 2 keeps the value mesh 1 left in the previous frame.
    Material* bands = materialAt(shapes, 0);
    beginPrimitive(GL_TRIANGLES);
    scroll(bands, 0.6f * t);
    drawMeshAt(shapes, 1);
    scroll(bands, 0.7f * t, 0.01f);
    drawMeshAt(shapes, 2);
    scroll(bands, 0.3f * t, 0.04f);
    drawMeshAt(shapes, 3);
    scroll(bands, 0.9f * t, 0.08f);
    drawMeshAt(shapes, 0);
    endPrimitive();

    selectUnitZero(true);
    renderState.setFadeFactor(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}
