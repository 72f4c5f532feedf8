// scene_kit.h - building blocks for the generated scenes: triangle meshes (boxes, spheres,
// tori, tubes, planes, polyhedra) with texture coordinates, and key tracks for positions,
// rotations, scales and cameras, turned into the scene writer's chunks.
//
// Scenes use a Z-up world. A face is drawn when one of its vertices faces the camera, with the
// vertex normals taken from the faces' winding, so every solid is wound outwards (or inwards
// for the inside of a sky or tunnel).
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "tools/common/scene_writer.h"

namespace forge::kit {

using V3 = std::array<float, 3>;
constexpr float pi = 3.14159265358979f;

struct Geometry {
    std::vector<V3> pos;
    std::vector<std::array<float, 2>> uv; // one per vertex; empty for untextured meshes
    std::vector<std::array<int32_t, 3>> tri;

    void append(const Geometry& other);
    // Applies f to every position.
    void transform(const std::function<V3(V3)>& f);
    void translate(V3 d);
    void scale(V3 s);
    // Rotation by `angle` radians about a unit axis through the origin.
    void rotate(V3 axis, float angle);
    // Rewinds faces so their normals point away from (outward) or towards the nearest point
    // of the line through `centre` along `axis`; axis (0, 0, 0) means the point itself.
    void orient(V3 centre, bool outward, V3 axis = {0, 0, 0});
    // Every face gets its own three vertices, so vertex normals equal face normals.
    void facet();
};

// Grid surface: f(u, v) for u, v in [0, 1]; (nu + 1) x (nv + 1) vertices with uv scaled by
// (uScale, vScale).
Geometry surface(int nu, int nv, const std::function<V3(float, float)>& f, float uScale = 1,
                 float vScale = 1);
Geometry box(V3 size);
Geometry sphere(float radius, int segments, int rings, float uScale = 1, float vScale = 1);
Geometry torus(float major, float minor, int segments, int sides, float uScale = 1,
               float vScale = 1);
// Open cylinder along z from z0 to z1.
Geometry cylinder(float radius, float z0, float z1, int segments, int rings, float uScale = 1,
                  float vScale = 1);
// Flat quad in the x-z plane facing -y (towards a camera looking along +y), centred.
Geometry quad(float width, float height);
Geometry plane(float width, float depth, int nx, int ny, float uScale = 1, float vScale = 1);
Geometry icosahedron(float radius, int subdivisions);
// Tube of `radius` around a path p(s), s in [0, 1].
Geometry tube(const std::function<V3(float)>& path, float radius, int segments, int sides,
              float uScale = 1, float vScale = 1);
// Flat band of `width` following p(s) with its breadth along side(s).
Geometry band(const std::function<V3(float)>& path, const std::function<V3(float)>& side,
              float width, int segments, float vScale = 1);

// ---- key tracks ----

struct Tcb {
    float tension = 0, continuity = 0, bias = 0;
};

scenefile::VectorKey vkey(float time, V3 v, Tcb tcb = {});
std::vector<scenefile::VectorKey> still(V3 v);
// Samples f at n + 1 evenly spaced times from t0 to t1.
std::vector<scenefile::VectorKey> sampled(float t0, float t1, int n,
                                          const std::function<V3(float)>& f, Tcb tcb = {});

// Absolute rotations sampled at n + 1 times, stored as the file wants them: each key
// relative to the previous one. `rotation(t)` returns (axis, angle); consecutive samples must
// differ by less than half a turn.
struct AxisAngle {
    V3 axis;
    float angle;
};
std::vector<scenefile::RotationKey>
rotations(float t0, float t1, int n, const std::function<AxisAngle(float)>& rotation, Tcb tcb = {});
// Composite rotations: applied first `a`, then `b`.
std::vector<scenefile::RotationKey> rotations2(float t0, float t1, int n,
                                               const std::function<AxisAngle(float)>& a,
                                               const std::function<AxisAngle(float)>& b,
                                               Tcb tcb = {});
std::vector<scenefile::RotationKey> noRotation();
std::vector<scenefile::ScalarKey> scalarKeys(std::initializer_list<std::pair<float, float>> keys);

scenefile::Mesh mesh(const std::string& name, int32_t id, int32_t material, const Geometry& g);
scenefile::Material material(const std::string& name, const std::string& texture0,
                             const std::string& texture1, int32_t mode, float alpha = 1.0f,
                             uint8_t twoSided = 0, int8_t blendType = 0);
scenefile::Material plainMaterial(const std::string& name, int32_t mode, V3 colour,
                                  float alpha = 1.0f);

float degrees(float d);
V3 lerp(V3 a, V3 b, float t);

} // namespace forge::kit
