// scene_kit.cpp - mesh primitives and key tracks for the generated scenes.
#include "tools/forge/scene_kit.h"

#include <cmath>
#include <utility>

namespace forge::kit {

namespace {

V3 sub(V3 a, V3 b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
V3 add(V3 a, V3 b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
V3 mul(V3 a, float k) {
    return {a[0] * k, a[1] * k, a[2] * k};
}
float dot(V3 a, V3 b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
V3 cross(V3 a, V3 b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
V3 normalised(V3 a) {
    const float l = std::sqrt(dot(a, a));
    return l > 0 ? mul(a, 1.0f / l) : a;
}

struct Quat {
    float w, x, y, z;
};
Quat product(Quat a, Quat b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
Quat conjugate(Quat q) {
    return {q.w, -q.x, -q.y, -q.z};
}
Quat fromAxisAngle(AxisAngle r) {
    const V3 a = normalised(r.axis);
    const float s = std::sin(r.angle / 2);
    return {std::cos(r.angle / 2), a[0] * s, a[1] * s, a[2] * s};
}

// Rotation of a row vector p by the quaternion, as the scene engine's matrix applies it.
V3 rotateByQuat(V3 p, Quat q) {
    const float m0 = 1 - 2 * q.y * q.y - 2 * q.z * q.z, m1 = 2 * q.x * q.y - 2 * q.w * q.z,
                m2 = 2 * q.w * q.y + 2 * q.x * q.z;
    const float m4 = 2 * q.x * q.y + 2 * q.w * q.z, m5 = 1 - 2 * q.x * q.x - 2 * q.z * q.z,
                m6 = 2 * q.y * q.z - 2 * q.w * q.x;
    const float m8 = 2 * q.x * q.z - 2 * q.w * q.y, m9 = 2 * q.y * q.z + 2 * q.w * q.x,
                m10 = 1 - 2 * q.x * q.x - 2 * q.y * q.y;
    return {p[0] * m0 + p[1] * m4 + p[2] * m8, p[0] * m1 + p[1] * m5 + p[2] * m9,
            p[0] * m2 + p[1] * m6 + p[2] * m10};
}

std::vector<scenefile::RotationKey> relativeKeys(const std::vector<float>& times,
                                                 const std::vector<Quat>& absolute, Tcb tcb) {
    std::vector<scenefile::RotationKey> keys;
    for (size_t i = 0; i < absolute.size(); ++i) {
        Quat q = i == 0 ? absolute[0] : product(conjugate(absolute[i - 1]), absolute[i]);
        if (i > 0 && q.w < 0) {
            q = {-q.w, -q.x, -q.y, -q.z}; // the same rotation, the short way round
        }
        scenefile::RotationKey k;
        k.w = q.w;
        k.x = q.x;
        k.y = q.y;
        k.z = q.z;
        k.tension = tcb.tension;
        k.continuity = tcb.continuity;
        k.bias = tcb.bias;
        k.time = times[i];
        keys.push_back(k);
    }
    return keys;
}

} // namespace

float degrees(float d) {
    return d * pi / 180.0f;
}

V3 lerp(V3 a, V3 b, float t) {
    return add(a, mul(sub(b, a), t));
}

void Geometry::append(const Geometry& other) {
    const int32_t base = static_cast<int32_t>(pos.size());
    pos.insert(pos.end(), other.pos.begin(), other.pos.end());
    uv.insert(uv.end(), other.uv.begin(), other.uv.end());
    for (auto t : other.tri) {
        tri.push_back({t[0] + base, t[1] + base, t[2] + base});
    }
}

void Geometry::transform(const std::function<V3(V3)>& f) {
    for (V3& p : pos) {
        p = f(p);
    }
}

void Geometry::translate(V3 d) {
    transform([&](V3 p) { return add(p, d); });
}

void Geometry::scale(V3 s) {
    transform([&](V3 p) { return V3{p[0] * s[0], p[1] * s[1], p[2] * s[2]}; });
}

void Geometry::rotate(V3 axis, float angle) {
    // The conjugate turns the engine's row-vector convention into a turn by +angle.
    const Quat q = conjugate(fromAxisAngle({axis, angle}));
    transform([&](V3 p) { return rotateByQuat(p, q); });
}

void Geometry::orient(V3 centre, bool outward, V3 axis) {
    const V3 unitAxis = normalised(axis);
    const bool line = dot(axis, axis) > 0;
    for (auto& t : tri) {
        const V3 a = pos[static_cast<size_t>(t[0])], b = pos[static_cast<size_t>(t[1])],
                 c = pos[static_cast<size_t>(t[2])];
        const V3 n = cross(sub(b, a), sub(c, a));
        V3 away = sub(mul(add(add(a, b), c), 1.0f / 3.0f), centre);
        if (line) {
            away = sub(away, mul(unitAxis, dot(away, unitAxis)));
        }
        if ((dot(n, away) < 0) == outward) {
            std::swap(t[1], t[2]);
        }
    }
}

void Geometry::facet() {
    Geometry flat;
    for (auto t : tri) {
        const int32_t base = static_cast<int32_t>(flat.pos.size());
        for (int k = 0; k < 3; ++k) {
            flat.pos.push_back(pos[static_cast<size_t>(t[k])]);
            if (!uv.empty()) {
                flat.uv.push_back(uv[static_cast<size_t>(t[k])]);
            }
        }
        flat.tri.push_back({base, base + 1, base + 2});
    }
    *this = flat;
}

Geometry surface(int nu, int nv, const std::function<V3(float, float)>& f, float uScale,
                 float vScale) {
    Geometry g;
    for (int j = 0; j <= nv; ++j) {
        for (int i = 0; i <= nu; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(nu);
            const float v = static_cast<float>(j) / static_cast<float>(nv);
            g.pos.push_back(f(u, v));
            g.uv.push_back({u * uScale, v * vScale});
        }
    }
    for (int j = 0; j < nv; ++j) {
        for (int i = 0; i < nu; ++i) {
            const int32_t a = j * (nu + 1) + i, b = a + 1, c = a + nu + 1, d = c + 1;
            g.tri.push_back({a, b, d});
            g.tri.push_back({a, d, c});
        }
    }
    return g;
}

Geometry box(V3 size) {
    Geometry g;
    const V3 h = mul(size, 0.5f);
    // Six faces, each its own four corners so the texture sits square on every side.
    const int axes[6][3] = {{0, 1, 2}, {0, 1, 2}, {1, 2, 0}, {1, 2, 0}, {2, 0, 1}, {2, 0, 1}};
    for (int f = 0; f < 6; ++f) {
        const float sign = f % 2 == 0 ? 1.0f : -1.0f;
        const int u = axes[f][0], v = axes[f][1], n = axes[f][2];
        const int32_t base = static_cast<int32_t>(g.pos.size());
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners) {
            V3 p{};
            p[static_cast<size_t>(u)] = c[0] * h[static_cast<size_t>(u)];
            p[static_cast<size_t>(v)] = c[1] * h[static_cast<size_t>(v)];
            p[static_cast<size_t>(n)] = sign * h[static_cast<size_t>(n)];
            g.pos.push_back(p);
            g.uv.push_back({(c[0] + 1) / 2, (c[1] + 1) / 2});
        }
        g.tri.push_back({base, base + 1, base + 2});
        g.tri.push_back({base, base + 2, base + 3});
    }
    g.orient({0, 0, 0}, true);
    return g;
}

Geometry sphere(float radius, int segments, int rings, float uScale, float vScale) {
    Geometry g = surface(
        segments, rings,
        [&](float u, float v) {
            const float a = 2 * pi * u, b = pi * (v - 0.5f);
            return V3{radius * std::cos(b) * std::cos(a), radius * std::cos(b) * std::sin(a),
                      radius * std::sin(b)};
        },
        uScale, vScale);
    g.orient({0, 0, 0}, true);
    return g;
}

Geometry torus(float major, float minor, int segments, int sides, float uScale, float vScale) {
    Geometry g = surface(
        segments, sides,
        [&](float u, float v) {
            const float a = 2 * pi * u, b = 2 * pi * v;
            const float r = major + minor * std::cos(b);
            return V3{r * std::cos(a), r * std::sin(a), minor * std::sin(b)};
        },
        uScale, vScale);
    // Outward from the tube's own core circle.
    for (auto& t : g.tri) {
        const V3 a = g.pos[static_cast<size_t>(t[0])], b = g.pos[static_cast<size_t>(t[1])],
                 c = g.pos[static_cast<size_t>(t[2])];
        const V3 m = mul(add(add(a, b), c), 1.0f / 3.0f);
        const float ang = std::atan2(m[1], m[0]);
        const V3 core{major * std::cos(ang), major * std::sin(ang), 0};
        if (dot(cross(sub(b, a), sub(c, a)), sub(m, core)) < 0) {
            std::swap(t[1], t[2]);
        }
    }
    return g;
}

Geometry cylinder(float radius, float z0, float z1, int segments, int rings, float uScale,
                  float vScale) {
    Geometry g = surface(
        segments, rings,
        [&](float u, float v) {
            const float a = 2 * pi * u;
            return V3{radius * std::cos(a), radius * std::sin(a), z0 + (z1 - z0) * v};
        },
        uScale, vScale);
    g.orient({0, 0, 0}, true, {0, 0, 1});
    return g;
}

Geometry quad(float width, float height) {
    Geometry g;
    g.pos = {{-width / 2, 0, height / 2},
             {width / 2, 0, height / 2},
             {width / 2, 0, -height / 2},
             {-width / 2, 0, -height / 2}};
    // The reader flips v, so v = 1 at the top edge shows the picture's top row there.
    g.uv = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    g.tri = {{0, 1, 2}, {0, 2, 3}};
    g.orient({0, 1, 0}, true); // normals towards -y
    return g;
}

Geometry plane(float width, float depth, int nx, int ny, float uScale, float vScale) {
    Geometry g = surface(
        nx, ny,
        [&](float u, float v) {
            return V3{(u - 0.5f) * width, (v - 0.5f) * depth, 0};
        },
        uScale, vScale);
    g.orient({0, 0, -1}, true); // normals up
    return g;
}

Geometry icosahedron(float radius, int subdivisions) {
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    Geometry g;
    g.pos = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
             {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    g.tri = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
             {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
             {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int s = 0; s < subdivisions; ++s) {
        std::vector<std::array<int32_t, 3>> next;
        for (auto f : g.tri) {
            int32_t mid[3];
            for (int k = 0; k < 3; ++k) {
                const V3 m = mul(add(g.pos[static_cast<size_t>(f[k])],
                                     g.pos[static_cast<size_t>(f[(k + 1) % 3])]),
                                 0.5f);
                mid[k] = static_cast<int32_t>(g.pos.size());
                g.pos.push_back(m);
            }
            next.push_back({f[0], mid[0], mid[2]});
            next.push_back({f[1], mid[1], mid[0]});
            next.push_back({f[2], mid[2], mid[1]});
            next.push_back({mid[0], mid[1], mid[2]});
        }
        g.tri = next;
    }
    for (V3& p : g.pos) {
        p = mul(normalised(p), radius);
    }
    // Spherical texture coordinates; faceted meshes re-map per face anyway.
    for (const V3& p : g.pos) {
        g.uv.push_back(
            {0.5f + std::atan2(p[1], p[0]) / (2 * pi), 0.5f + std::asin(p[2] / radius) / pi});
    }
    g.orient({0, 0, 0}, true);
    return g;
}

Geometry tube(const std::function<V3(float)>& path, float radius, int segments, int sides,
              float uScale, float vScale) {
    Geometry g = surface(
        sides, segments,
        [&](float u, float v) {
            const float e = 1.0f / static_cast<float>(segments * 4);
            const V3 p = path(v);
            const V3 d = normalised(sub(path(std::min(v + e, 1.0f)), path(std::max(v - e, 0.0f))));
            V3 side = cross(d, {0, 0, 1});
            if (dot(side, side) < 1e-6f) {
                side = cross(d, {1, 0, 0});
            }
            side = normalised(side);
            const V3 up = cross(side, d);
            const float a = 2 * pi * u;
            return add(p, add(mul(side, radius * std::cos(a)), mul(up, radius * std::sin(a))));
        },
        uScale, vScale);
    // Outward from the path point of each face's ring.
    for (auto& t : g.tri) {
        const size_t ring = static_cast<size_t>(t[0]) / static_cast<size_t>(sides + 1);
        const V3 core = path(static_cast<float>(ring) / static_cast<float>(segments));
        const V3 a = g.pos[static_cast<size_t>(t[0])], b = g.pos[static_cast<size_t>(t[1])],
                 c = g.pos[static_cast<size_t>(t[2])];
        if (dot(cross(sub(b, a), sub(c, a)), sub(a, core)) < 0) {
            std::swap(t[1], t[2]);
        }
    }
    return g;
}

Geometry band(const std::function<V3(float)>& path, const std::function<V3(float)>& side,
              float width, int segments, float vScale) {
    Geometry g = surface(
        1, segments,
        [&](float u, float v) {
            return add(path(v), mul(normalised(side(v)), (u - 0.5f) * width));
        },
        1, vScale);
    return g;
}

scenefile::VectorKey vkey(float time, V3 v, Tcb tcb) {
    scenefile::VectorKey k;
    k.x = v[0];
    k.y = v[1];
    k.z = v[2];
    k.tension = tcb.tension;
    k.continuity = tcb.continuity;
    k.bias = tcb.bias;
    k.time = time;
    return k;
}

std::vector<scenefile::VectorKey> still(V3 v) {
    return {vkey(0, v)};
}

std::vector<scenefile::VectorKey> sampled(float t0, float t1, int n,
                                          const std::function<V3(float)>& f, Tcb tcb) {
    std::vector<scenefile::VectorKey> keys;
    for (int i = 0; i <= n; ++i) {
        const float t = t0 + (t1 - t0) * static_cast<float>(i) / static_cast<float>(n);
        keys.push_back(vkey(t, f(t), tcb));
    }
    return keys;
}

std::vector<scenefile::RotationKey>
rotations(float t0, float t1, int n, const std::function<AxisAngle(float)>& rotation, Tcb tcb) {
    return rotations2(
        t0, t1, n, rotation,
        [](float) {
            return AxisAngle{{0, 0, 1}, 0};
        },
        tcb);
}

std::vector<scenefile::RotationKey> rotations2(float t0, float t1, int n,
                                               const std::function<AxisAngle(float)>& a,
                                               const std::function<AxisAngle(float)>& b, Tcb tcb) {
    std::vector<float> times;
    std::vector<Quat> absolute;
    for (int i = 0; i <= n; ++i) {
        const float t = t0 + (t1 - t0) * static_cast<float>(i) / static_cast<float>(n);
        times.push_back(t);
        // The engine's matrix of the product a * b applies a's turn to a point first.
        absolute.push_back(product(fromAxisAngle(a(t)), fromAxisAngle(b(t))));
    }
    return relativeKeys(times, absolute, tcb);
}

std::vector<scenefile::RotationKey> noRotation() {
    return {scenefile::RotationKey{}};
}

std::vector<scenefile::ScalarKey> scalarKeys(std::initializer_list<std::pair<float, float>> keys) {
    std::vector<scenefile::ScalarKey> out;
    for (const auto& [t, v] : keys) {
        out.push_back({t, v});
    }
    return out;
}

scenefile::Mesh mesh(const std::string& name, int32_t id, int32_t material, const Geometry& g) {
    scenefile::Mesh m;
    m.name = name;
    m.id = id;
    m.materialIndex = material;
    m.vertices = g.pos;
    m.texVertices = g.uv;
    if (!g.uv.empty()) {
        m.faceTexVertices = g.tri;
    }
    for (auto t : g.tri) {
        m.faces.push_back({t[0], t[1], t[2], 0});
    }
    m.position = still({0, 0, 0});
    m.rotation = noRotation();
    m.scale = still({1, 1, 1});
    return m;
}

scenefile::Material material(const std::string& name, const std::string& texture0,
                             const std::string& texture1, int32_t mode, float alpha,
                             uint8_t twoSided, int8_t blendType) {
    scenefile::Material m;
    m.name = name;
    m.texture0 = texture0;
    m.texture1 = texture1;
    m.mode = mode;
    m.alpha = alpha;
    m.twoSided = twoSided;
    m.blendType = blendType;
    m.colours = {0.2f, 0.2f, 0.2f, 1, 1, 1, 0, 0, 0};
    return m;
}

scenefile::Material plainMaterial(const std::string& name, int32_t mode, V3 colour, float alpha) {
    scenefile::Material m = material(name, "", "", mode, alpha);
    m.colours[3] = colour[0];
    m.colours[4] = colour[1];
    m.colours[5] = colour[2];
    return m;
}

} // namespace forge::kit
