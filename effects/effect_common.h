// effect_common.h - what several effect parts share: the texture-unit set-up most parts start
// or end with, their two projections, quads given as corner tables, the fade-in / fade-out
// ramp, and scene access that never reads past what a scene file holds.
#pragma once

#include "scene/scene.h"

// The demo time at which the layered scene (row 16) and the dust layers begin and the rows
// before them end. The pulse envelopes were keyed in demo time from this moment for the layered
// scene, so every part that reads one adds it to its own local time.
constexpr float layeredSceneStart = 69.753f;

// A corner of a textured quad: texture coordinate (s, t), then the vertex (x, y, z).
struct QuadCorner {
    float s, t, x, y, z;
};

// The full-screen picture in a -1..1 window: texture (0, 0) at the top left, so the picture's
// first row is drawn at the top.
extern const QuadCorner screenQuad[4];

// Texture unit 1 texturing off, then unit 0 texturing on or off; unit 0 is left active.
void selectUnitZero(bool texturing);

// Projection: identity, then glFrustum(-0.5, 0.5, -0.375, 0.375, 1, farPlane) (a 4:3 view with
// a 90-degree horizontal field). Model-view: identity, left current.
void loadPerspective(double farPlane);
// Projection: identity, then glOrtho(left, right, bottom, top, -1, 1). Model-view: identity,
// left current.
void loadOrtho(double left, double right, double bottom, double top);

// The four corners in table order, each glTexCoord2f then glVertex3f, inside the caller's
// batch; no colour is set.
void emitCorners(const QuadCorner (&corners)[4]);
// The same quad in its own GL_QUADS batch through the primitive guard.
void drawQuad(const QuadCorner (&corners)[4]);

// x limited to [0, 1].
float clamp01(float x);
// 0.5 t over the first two seconds, 1 up to `fadeOutAt`, then down to 0 over two seconds.
float fadeRamp(float t, float fadeOutAt);

// A scene loaded by file name; a missing or damaged file ends the program with its message.
Scene* loadSceneNamed(const char* fileName);
// Mesh `index` (from 0, list order) or null when the scene holds fewer meshes.
MeshObject* meshAt(Scene* scene, int index);
// Material `index` (from 0, file order) or null when the scene holds fewer materials.
Material* materialAt(Scene* scene, int index);
// Draws mesh `index` inside the caller's batch; a missing mesh draws nothing.
void drawMeshAt(Scene* scene, int index);
