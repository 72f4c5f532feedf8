// scenes.cpp - the demo's ".exp" scenes. Each is shaped for the part that plays it: the scene
// times it is drawn at, the meshes and materials the part reaches by index or name, and how
// the part blends it. Times below are scene times (key-time units), not seconds.
#include <cmath>

#include "tools/forge/forge.h"
#include "tools/forge/random.h"
#include "tools/forge/scene_kit.h"

namespace forge {

namespace {

using namespace kit;
using scenefile::SceneFile;

struct Builder {
    SceneFile file;
    int32_t nextId = 1;

    explicit Builder(const char* magic) { file.magic = magic; }

    int32_t add(scenefile::Mesh m) {
        m.id = nextId++;
        const int32_t id = m.id;
        file.chunks.push_back(std::move(m));
        return id;
    }
    void add(const scenefile::Material& m) { file.chunks.push_back(m); }
    // A camera and its target dummy node ("<name>.Target").
    void camera(std::vector<scenefile::VectorKey> eye, std::vector<scenefile::VectorKey> target,
                std::vector<scenefile::ScalarKey> fov, std::vector<scenefile::ScalarKey> roll,
                const std::string& name = "Camera01") {
        scenefile::Camera c;
        c.name = name;
        c.targetName = name + ".Target";
        c.id = nextId++;
        c.position = std::move(eye);
        c.fov = std::move(fov);
        c.roll = std::move(roll);
        file.chunks.push_back(c);
        scenefile::Dummy d;
        d.name = c.targetName;
        d.id = nextId++;
        d.position = std::move(target);
        file.chunks.push_back(d);
    }
    // Chunks the reader reads past: kind 3 (a block and a track) and a kind it does not know.
    void extras(int32_t unknownKind) {
        scenefile::Ignored ignored;
        for (size_t i = 0; i < ignored.block.size(); ++i) {
            ignored.block[i] = static_cast<uint8_t>(i * 7 + 3);
        }
        ignored.track = {vkey(0, {1, 2, 3}), vkey(10, {4, 5, 6})};
        file.chunks.push_back(ignored);
        file.chunks.push_back(scenefile::UnknownKind{unknownKind});
    }
};

const std::vector<scenefile::ScalarKey> noRoll = {{0, 0}};

std::vector<scenefile::ScalarKey> constant(float v) {
    return {{0, v}};
}

// Per-face texture coordinates for a faceted look: every face shows its own patch.
void facetUv(Geometry& g, uint64_t seed) {
    g.facet();
    Random rng(seed);
    for (size_t f = 0; f < g.tri.size(); ++f) {
        const float u0 = rng.uniform(), v0 = rng.uniform(), s = rng.uniform(0.3f, 0.6f);
        g.uv[3 * f] = {u0, v0};
        g.uv[3 * f + 1] = {u0 + s, v0};
        g.uv[3 * f + 2] = {u0 + s * 0.5f, v0 + s};
    }
}

// ---- the opening: a ribbon of light through a starry tube, gates to fly through ----
// Camera times run 0..~340, mesh times 0..440. The part draws mesh 2 (background, material 1
// scrolling in u), then meshes 1 and 5 with depth test (material 0 scrolling in v).
V3 openingPath(float s) {
    return {80 * std::sin(s * 0.0035f), s, 40 * std::sin(s * 0.0023f)};
}

SceneFile beginning() {
    Builder b("KEXP");
    b.add(material("Flow", tex::ribbon, "", 2, 0.85f, 1));
    b.add(material("Sky", tex::stars, "", 3));
    b.add(material("Gate", tex::panels, "", 1));
    b.add(material("Beacon", tex::glow, "", 4));
    b.extras(42);

    Geometry ribbon = band([](float s) { return openingPath(-200 + 3600 * s); },
                           [](float s) {
                               const float a = (-200 + 3600 * s) * 0.0021f;
                               return V3{std::cos(a), 0, std::sin(a)};
                           },
                           56, 180, 18);
    b.add(mesh("Ribbon", 0, 0, ribbon));

    Geometry sky = cylinder(1800, -600, 4000, 48, 8, 4, 3);
    sky.orient({0, 0, 0}, false, {0, 0, 1});
    sky.rotate({1, 0, 0}, -pi / 2);
    scenefile::Mesh skyMesh = mesh("Sky", 0, 1, sky);
    skyMesh.rotation = rotations(0, 440, 8, [](float t) {
        return AxisAngle{{0, 1, 0}, degrees(t * 0.2f)};
    });
    b.add(skyMesh);

    scenefile::Mesh beacon = mesh("Beacon", 0, 3, sphere(12, 12, 8));
    beacon.position = sampled(0, 440, 8, [](float t) { return V3{0, 200 + 8 * t, 60}; });
    b.add(beacon);
    b.add(mesh("Marker", 0, 3, box({10, 10, 10})));

    Geometry gates;
    for (int i = 1; i <= 10; ++i) {
        Geometry ring = torus(70, 5, 24, 6, 4, 1);
        ring.rotate({1, 0, 0}, pi / 2);
        ring.rotate({0, 1, 0}, static_cast<float>(i) * 0.4f);
        const V3 at = openingPath(300.0f * static_cast<float>(i));
        ring.translate({at[0], at[1], at[2] + 28});
        gates.append(ring);
    }
    b.add(mesh("Gates", 0, 2, gates));

    b.camera(sampled(0, 360, 18,
                     [](float t) {
                         const V3 p = openingPath(8 * t);
                         return V3{p[0], p[1], p[2] + 28};
                     },
                     {0.2f, 0, 0}),
             sampled(0, 360, 18,
                     [](float t) {
                         const V3 p = openingPath(8 * t + 180);
                         return V3{p[0], p[1], p[2] + 10};
                     }),
             scalarKeys({{0, 1.4f}, {120, 1.0f}, {360, 1.2f}}),
             scalarKeys({{0, 0}, {100, 0.15f}, {200, -0.15f}, {360, 0}}));
    return b.file;
}

// ---- boxes: a ring of boxes round a pulsing core; everything loops every 100 units ----
SceneFile boxical() {
    Builder b("KEXP");
    b.add(material("Panels", tex::panels, "", 2));
    b.add(material("Grid", tex::grid, "", 4));

    const float loop = 100;
    Geometry ring;
    for (int i = 0; i < 12; ++i) {
        Geometry cube = box({30, 30, 30});
        const float a = 2 * pi * static_cast<float>(i) / 12;
        cube.rotate({std::cos(a), std::sin(a), 0}, static_cast<float>(i) * 0.5f);
        cube.translate({130 * std::cos(a), 130 * std::sin(a), 0});
        ring.append(cube);
    }
    scenefile::Mesh ringMesh = mesh("BoxRing", 0, 0, ring);
    ringMesh.rotation = rotations(0, loop, 8, [&](float t) {
        return AxisAngle{{0, 0, 1}, 2 * pi * t / loop};
    });
    const int32_t ringId = b.add(ringMesh);

    scenefile::Mesh core = mesh("Core", 0, 1, box({60, 60, 60}));
    core.parentId = ringId;
    core.rotation = rotations2(
        0, loop, 16,
        [&](float t) {
            return AxisAngle{{1, 0, 0}, 4 * pi * t / loop};
        },
        [&](float t) {
            return AxisAngle{{0, 0, 1}, 2 * pi * t / loop};
        });
    core.scale = sampled(0, loop, 8,
                         [](float t) {
                             const float k =
                                 static_cast<int>(std::lround(t / 12.5f)) % 2 == 0 ? 1.0f : 1.3f;
                             return V3{k, k, k};
                         },
                         {0.5f, 0, 0});
    b.add(core);

    Geometry orbit;
    for (int i = 0; i < 6; ++i) {
        Geometry cube = box({16, 16, 16});
        const float a = 2 * pi * static_cast<float>(i) / 6;
        cube.translate({200 * std::cos(a), 0, 200 * std::sin(a)});
        orbit.append(cube);
    }
    scenefile::Mesh orbiters = mesh("Orbiters", 0, 0, orbit);
    orbiters.parentId = ringId;
    orbiters.rotation = rotations(0, loop, 16, [&](float t) {
        return AxisAngle{{1, 0, 0}, -4 * pi * t / loop};
    });
    b.add(orbiters);

    b.camera(
        sampled(0, loop, 16,
                [&](float t) {
                    const float a = 2 * pi * t / loop;
                    return V3{380 * std::cos(a), 380 * std::sin(a), 120 + 60 * std::sin(2 * a)};
                }),
        still({0, 0, 0}), constant(1.0f), scalarKeys({{0, 0}, {50, 0.2f}, {100, 0}}));
    // A second camera: the reader links it behind the first and never uses it.
    b.camera(still({0, -500, 0}), still({0, 0, 0}), constant(0.8f), noRoll, "Spare");
    return b.file;
}

// ---- nested box frames turning at different rates; loops every 100 units ----
Geometry boxFrame(float size, float thickness) {
    Geometry g;
    const float h = size / 2;
    for (int axis = 0; axis < 3; ++axis) {
        for (int i = 0; i < 4; ++i) {
            V3 dims{thickness, thickness, thickness};
            dims[static_cast<size_t>(axis)] = size + thickness;
            Geometry bar = box(dims);
            V3 at{};
            const size_t a1 = static_cast<size_t>((axis + 1) % 3),
                         a2 = static_cast<size_t>((axis + 2) % 3);
            at[a1] = (i & 1) ? h : -h;
            at[a2] = (i & 2) ? h : -h;
            bar.translate(at);
            g.append(bar);
        }
    }
    return g;
}

SceneFile boxical4() {
    Builder b("KEXP");
    b.add(material("Beams", tex::beam, "", 2));
    b.add(material("Lattice", tex::lattice, "", 3));
    const float loop = 100;
    const V3 axes[4] = {{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}};
    for (int k = 0; k < 4; ++k) {
        scenefile::Mesh frame = mesh("Frame" + std::to_string(k + 1), 0, k % 2,
                                     boxFrame(60 + 50 * static_cast<float>(k), 6));
        const float turns = (k % 2 == 0 ? 1.0f : -1.0f) * static_cast<float>(k + 1);
        frame.rotation = rotations(0, loop, 8 * (k + 1), [&](float t) {
            return AxisAngle{axes[k], 2 * pi * turns * t / loop};
        });
        b.add(frame);
    }
    Geometry heart = icosahedron(22, 1);
    facetUv(heart, 44);
    scenefile::Mesh heartMesh = mesh("Heart", 0, 1, heart);
    heartMesh.scale = sampled(0, loop, 8, [](float t) {
        const float k = 1.0f + 0.4f * std::sin(2 * pi * t / 25);
        return V3{k, k, k};
    });
    b.add(heartMesh);
    b.camera(sampled(0, loop, 16,
                     [&](float t) {
                         const float a = -2 * pi * t / loop;
                         return V3{420 * std::sin(a), -420 * std::cos(a), 90};
                     }),
             still({0, 0, 0}), constant(1.1f), noRoll);
    return b.file;
}

// ---- a wavy checkered floor with hovering cubes; scene times 0..40 ----
SceneFile check() {
    Builder b("KEXP");
    b.add(material("Check", tex::grid, "", 2));
    b.add(material("CubeSkin", tex::grid, "", 3));
    Geometry floor = plane(1600, 1600, 40, 40, 10, 10);
    floor.transform([](V3 p) {
        return V3{p[0], p[1], 25 * std::sin(p[0] * 0.01f) * std::cos(p[1] * 0.008f)};
    });
    b.add(mesh("Floor", 0, 0, floor));
    for (int i = 0; i < 3; ++i) {
        scenefile::Mesh cube = mesh("Cube" + std::to_string(i + 1), 0, 1, box({50, 50, 50}));
        const float x = (i % 2 == 0 ? -1.0f : 1.0f) * 150,
                    y = -300.0f + 350.0f * static_cast<float>(i);
        cube.position =
            sampled(0, 48, 8,
                    [=](float t) {
                        return V3{x, y, 90 + 25 * std::sin(t * 0.4f + static_cast<float>(i))};
                    },
                    {0, 0.3f, 0});
        cube.rotation = rotations2(
            0, 48, 12,
            [=](float t) {
                return AxisAngle{{0, 0, 1}, t * 0.15f};
            },
            [=](float t) {
                return AxisAngle{{1, 0, 0}, t * 0.1f * static_cast<float>(i + 1)};
            });
        b.add(cube);
    }
    b.camera(sampled(0, 48, 12,
                     [](float t) {
                         return V3{100 * std::sin(t / 8), -700 + 25 * t, 90 + 30 * std::sin(t / 5)};
                     },
                     {0, 0, 0.3f}),
             sampled(0, 48, 12,
                     [](float t) {
                         return V3{60 * std::sin(t / 6), -400 + 25 * t, 0};
                     }),
             scalarKeys({{0, 1.3f}, {48, 0.9f}}),
             scalarKeys({{0, 0}, {12, 0.25f}, {24, -0.2f}, {36, 0.15f}, {48, 0}}));
    return b.file;
}

// ---- the finale: helical beams round a glowing core; scene times 0..~110 ----
SceneFile energy() {
    Builder b("QUOR");
    b.add(material("Beam", tex::beam, "", 2, 0.9f, 1, 1));
    b.add(material("Core", "", tex::glow, 3, 0.9f, 0, 1));
    b.add(material("Rays", tex::streaks, "", 4, 0.8f, 1, 1));
    Geometry helix;
    for (int k = 0; k < 3; ++k) {
        const float phase = 2 * pi * static_cast<float>(k) / 3;
        helix.append(band(
            [=](float s) {
                const float a = 6 * pi * s + phase;
                return V3{120 * std::cos(a), 120 * std::sin(a), -300 + 600 * s};
            },
            [=](float s) {
                const float a = 6 * pi * s + phase;
                return V3{-std::sin(a), std::cos(a), 0.6f};
            },
            40, 160, 6));
    }
    scenefile::Mesh helixMesh = mesh("Helix", 0, 0, helix);
    helixMesh.rotation = rotations(0, 200, 16, [](float t) {
        return AxisAngle{{0, 0, 1}, 4 * pi * t / 200};
    });
    b.add(helixMesh);
    scenefile::Mesh core = mesh("Core", 0, 1, sphere(45, 24, 16));
    core.scale = sampled(0, 200, 20,
                         [](float t) {
                             const float k = 1.0f + 0.25f * std::sin(t * 0.6f);
                             return V3{k, k, k};
                         },
                         {-0.3f, 0, 0});
    core.rotation = rotations(0, 200, 16, [](float t) {
        return AxisAngle{{0.3f, 0, 1}, -2 * pi * t / 100};
    });
    b.add(core);
    Geometry rays;
    for (int i = 0; i < 16; ++i) {
        Geometry q = quad(14, 520);
        q.rotate({0, 1, 0}, 2 * pi * static_cast<float>(i) / 16);
        rays.append(q);
    }
    scenefile::Mesh rayMesh = mesh("Rays", 0, 2, rays);
    rayMesh.rotation = rotations(0, 200, 16, [](float t) {
        return AxisAngle{{0, 1, 0}, -2 * pi * t / 200};
    });
    b.add(rayMesh);
    b.camera(sampled(0, 200, 10,
                     [](float t) {
                         const float d = 520 - 300 * std::min(t / 100, 1.0f);
                         const float a = t * 0.01f;
                         return V3{d * std::sin(a) * 0.5f, -d, 200 - 140 * std::min(t / 100, 1.0f)};
                     },
                     {0, 0, -0.3f}),
             still({0, 0, 0}), scalarKeys({{0, 0.8f}, {100, 1.4f}, {200, 1.5f}}),
             scalarKeys({{0, 0}, {100, 0.8f}, {200, 1.2f}}));
    return b.file;
}

// ---- three spheres inside each other; scene times 0..48 ----
SceneFile spherical() {
    Builder b("KEXP");
    b.add(material("Marble", tex::marble, "", 2));
    b.add(material("Lattice", tex::lattice, "", 3, 1.0f, 1));
    b.add(material("Halo", tex::streaks, "", 4, 1.0f, 1));
    scenefile::Mesh inner = mesh("Inner", 0, 0, sphere(50, 24, 16, 2, 1));
    inner.rotation = rotations(0, 100, 8, [](float t) {
        return AxisAngle{{0, 0, 1}, 2 * pi * t / 100};
    });
    b.add(inner);
    scenefile::Mesh middle = mesh("Middle", 0, 1, sphere(80, 24, 16, 3, 2));
    middle.rotation = rotations(0, 100, 8, [](float t) {
        return AxisAngle{{1, 0, 0}, -2 * pi * t / 100};
    });
    middle.scale = sampled(0, 100, 10,
                           [](float t) {
                               const float k = 1.0f + 0.1f * std::sin(t * 0.5f);
                               return V3{k, k, k};
                           },
                           {0, 0, 0.5f});
    b.add(middle);
    Geometry halo = torus(130, 12, 48, 8, 6, 1);
    halo.rotate({1, 0, 0}, degrees(70));
    scenefile::Mesh haloMesh = mesh("Halo", 0, 2, halo);
    haloMesh.rotation = rotations(0, 100, 8, [](float t) {
        return AxisAngle{{0, 0, 1}, 2 * pi * t / 100};
    });
    b.add(haloMesh);
    b.camera(sampled(0, 100, 10,
                     [](float t) {
                         return V3{120 * std::sin(t / 30), -340, 80 - t * 0.8f};
                     }),
             still({0, 0, 0}), constant(1.05f), scalarKeys({{0, -0.1f}, {100, 0.1f}}));
    return b.file;
}

// ---- credits: boards fly out of a tunnel of streaks; scene times 0..~520 ----
SceneFile credits() {
    Builder b("QUOR");
    for (int i = 0; i < 6; ++i) {
        b.add(material("Board" + std::to_string(i), tex::creditBoard(i), "", 2, 0.95f, 1, 1));
    }
    b.add(material("Streaks", tex::streaks, "", 2, 0.9f, 1, 1)); // material 6: scrolls in v
    b.add(material("Board6", tex::creditBoard(6), "", 2, 0.95f, 1, 1));

    Geometry tunnel = cylinder(260, -100, 2400, 32, 8, 6, 4);
    tunnel.orient({0, 0, 0}, false, {0, 0, 1});
    tunnel.rotate({1, 0, 0}, -pi / 2);
    b.add(mesh("Tunnel", 0, 6, tunnel));
    for (int i = 0; i < tex::creditBoards; ++i) {
        const int materialIndex = i < 6 ? i : 7;
        scenefile::Mesh board =
            mesh("Credit" + std::to_string(i), 0, materialIndex, quad(200, 100));
        const float t0 = 10 + 70 * static_cast<float>(i);
        const float side = i % 2 == 0 ? 1.0f : -1.0f;
        board.position = {vkey(0, {0, 1900, 0}), vkey(t0, {side * 60, 1900, 40}),
                          vkey(t0 + 35, {side * 10, 380, 5}, {0.6f, 0, 0}),
                          vkey(t0 + 70, {0, 300, 0}, {0.6f, 0, 0}),
                          vkey(t0 + 100, {-side * 40, -60, -20})};
        // Hidden (scaled to a point) until its turn, then full size.
        board.scale = {vkey(0, {0, 0, 0}), vkey(t0 - 1, {0, 0, 0}), vkey(t0, {1, 1, 1}, {1, 0, 0}),
                       vkey(t0 + 110, {1, 1, 1})};
        board.rotation =
            rotations(t0, t0 + 100, 4,
                      [=](float t) {
                          const float k = (t - t0) / 100;
                          return AxisAngle{{0, 1, 0}, side * degrees(25) * (1 - k) * (1 - 2 * k)};
                      },
                      {0, 0, 0.4f});
        b.add(board);
    }
    b.camera(sampled(0, 540, 12,
                     [](float t) {
                         return V3{20 * std::sin(t / 40), 0, 10 * std::cos(t / 50)};
                     }),
             still({0, 400, 0}), constant(1.0f), scalarKeys({{0, 0}, {270, 0.06f}, {540, -0.04f}}));
    return b.file;
}

// ---- the black-and-white backdrop behind the credits; scene times 0..345 ----
SceneFile designBw() {
    Builder b("KEXP");
    b.add(material("Rings", tex::bwRings, "", 2, 0.45f));
    b.add(material("Stripes", tex::bwStripes, "", 3, 0.3f));
    scenefile::Mesh rings = mesh("Rings", 0, 0, quad(900, 900));
    rings.position = still({0, 700, 0});
    rings.rotation = rotations(0, 360, 12, [](float t) {
        return AxisAngle{{0, 1, 0}, 2 * pi * t / 300};
    });
    b.add(rings);
    scenefile::Mesh stripes = mesh("Stripes", 0, 1, quad(1400, 1000));
    stripes.position = still({0, 800, 0});
    stripes.rotation = rotations(0, 360, 12, [](float t) {
        return AxisAngle{{0, 1, 0}, -2 * pi * t / 450};
    });
    b.add(stripes);
    b.camera(still({0, 0, 0}), still({0, 100, 0}), constant(1.2f), noRoll);
    return b.file;
}

// ---- a clock, drawn six times at different (and reversed) times; scene times 0..~1300 ----
Geometry gear(float radius, int teeth, float depth) {
    Geometry g;
    const int n = teeth * 4;
    g.pos.push_back({0, 0, 0});
    g.uv.push_back({0.5f, 0.5f});
    for (int i = 0; i <= n; ++i) {
        const float a = 2 * pi * static_cast<float>(i) / static_cast<float>(n);
        const float r = (i % 4 < 2) ? radius : radius - depth;
        g.pos.push_back({r * std::sin(a), 0, r * std::cos(a)});
        g.uv.push_back({0.5f + 0.5f * std::sin(a), 0.5f + 0.5f * std::cos(a)});
    }
    for (int i = 1; i <= n; ++i) {
        g.tri.push_back({0, i, i + 1});
    }
    g.orient({0, 1, 0}, true); // facing -y, towards the camera
    return g;
}

Geometry hand(float length, float width, float back) {
    Geometry g = quad(width, length + back);
    g.translate({0, 0, (length - back) / 2});
    return g;
}

SceneFile clock() {
    Builder b("QUOR");
    b.add(material("Dial", tex::clockFace, "", 2, 0.3f, 1, 1));
    b.add(material("Hand", tex::brass, "", 3, 0.55f, 1, 1));
    b.add(material("Gear", tex::brass, "", 4, 0.3f, 1, 1));
    b.add(plainMaterial("Pin", 2, {1.0f, 0.8f, 0.4f}, 0.6f));
    b.extras(7);
    const float end = 1300;
    auto clockwise = [](float turnsPerUnit) {
        // Positive turns run clockwise for a camera looking along +y.
        return [=](float t) { return AxisAngle{{0, -1, 0}, 2 * pi * turnsPerUnit * t}; };
    };
    scenefile::Mesh gears[3] = {mesh("Gear1", 0, 2, gear(90, 16, 10)),
                                mesh("Gear2", 0, 2, gear(60, 12, 8)),
                                mesh("Gear3", 0, 2, gear(45, 10, 7))};
    const V3 gearAt[3] = {{-150, 10, -110}, {150, 10, 120}, {170, -10, -140}};
    const float gearRate[3] = {1.0f / 400, -1.0f / 267, 1.0f / 200};
    for (int i = 0; i < 3; ++i) {
        gears[i].position = still(gearAt[i]);
        gears[i].rotation = rotations(
            0, end, static_cast<int>(end * std::fabs(gearRate[i]) * 4) + 1, clockwise(gearRate[i]));
        b.add(gears[i]);
    }
    b.add(mesh("Dial", 0, 0, quad(300, 300)));
    scenefile::Mesh hour = mesh("HourHand", 0, 1, hand(80, 12, 15));
    hour.position = still({0, -2, 0});
    hour.rotation = rotations(0, end, 13, clockwise(1.0f / 1200));
    b.add(hour);
    scenefile::Mesh minute = mesh("MinuteHand", 0, 1, hand(120, 7, 18));
    minute.position = still({0, -4, 0});
    minute.rotation = rotations(0, end, 52, clockwise(1.0f / 100));
    b.add(minute);
    scenefile::Mesh second = mesh("SecondHand", 0, 1, hand(135, 2.5f, 30));
    second.position = still({0, -6, 0});
    second.rotation = rotations(0, end, 520, clockwise(1.0f / 10));
    b.add(second);
    b.add(mesh("Pin", 0, 3, sphere(6, 10, 6)));
    b.camera(sampled(0, end, 13,
                     [](float t) {
                         return V3{40 * std::sin(t / 200), -420 + 30 * std::sin(t / 300),
                                   30 * std::cos(t / 250)};
                     }),
             still({0, 0, 0}), constant(0.95f), scalarKeys({{0, 0}, {650, 0.05f}, {1300, 0}}));
    return b.file;
}

// ---- bubbles rising between a foam surface and the floor; drawn with depth test ----
SceneFile bubblebath() {
    Builder b("KEXP");
    b.add(material("Bubble", "", tex::bubbleEnv, 3, 0.75f));
    b.add(material("Surface", tex::foam, "", 2, 1.0f, 1));
    b.add(material("Floor", tex::water, "", 4));
    Geometry surface = plane(1400, 1400, 8, 8, 4, 4);
    surface.orient({0, 0, 1}, true); // facing down, towards the camera below
    scenefile::Mesh top = mesh("Surface", 0, 1, surface);
    top.position = still({0, 0, 230});
    b.add(top);
    scenefile::Mesh bottom = mesh("Floor", 0, 2, plane(1400, 1400, 8, 8, 3, 3));
    bottom.position = still({0, 0, -260});
    b.add(bottom);
    Random rng(77);
    for (int i = 0; i < 18; ++i) {
        const float r = rng.uniform(10, 30);
        const float x0 = rng.uniform(-260, 260), y0 = rng.uniform(-150, 250),
                    z0 = rng.uniform(-300, 0);
        const float speed = rng.uniform(4, 8), sway = rng.uniform(10, 30),
                    phase = rng.uniform(0, 6.28f);
        char name[16];
        std::snprintf(name, sizeof name, "Bubble%02d", i + 1);
        scenefile::Mesh bubble = mesh(name, 0, 0, sphere(r, 12, 8));
        bubble.position =
            sampled(0, 64, 16,
                    [=](float t) {
                        return V3{x0 + sway * std::sin(t * 0.3f + phase), y0, z0 + speed * t};
                    },
                    {0, 0, 0.2f});
        bubble.scale = sampled(0, 64, 16,
                               [=](float t) {
                                   const float w = 0.08f * std::sin(t * 1.3f + phase);
                                   return V3{1 + w, 1 - w, 1};
                               },
                               {-0.5f, 0, 0});
        b.add(bubble);
    }
    b.camera(sampled(0, 64, 8,
                     [](float t) {
                         return V3{80 * t / 64, -520 + 70 * t / 64, -60 + 100 * t / 64};
                     }),
             sampled(0, 64, 8,
                     [](float t) {
                         return V3{0, 0, 60 * t / 64};
                     }),
             scalarKeys({{0, 1.1f}, {64, 1.0f}}), noRoll);
    return b.file;
}

// ---- a faceted gem with orbiting shards; scene times 0..~210 ----
SceneFile faceted() {
    Builder b("KEXP");
    b.add(material("Crystal", tex::crystal, "", 2));
    Geometry gem = icosahedron(70, 1);
    facetUv(gem, 19);
    scenefile::Mesh gemMesh = mesh("Gem", 0, 0, gem);
    gemMesh.rotation = rotations2(
        0, 240, 24,
        [](float t) {
            return AxisAngle{{0, 0, 1}, t * 0.03f};
        },
        [](float t) {
            return AxisAngle{{1, 0, 0}, t * 0.017f};
        });
    b.add(gemMesh);
    for (int i = 0; i < 8; ++i) {
        Geometry shard = icosahedron(15, 0);
        shard.scale({1, 1, 2.2f});
        facetUv(shard, 100 + static_cast<uint64_t>(i));
        scenefile::Mesh m = mesh("Shard" + std::to_string(i + 1), 0, 0, shard);
        const float phase = 2 * pi * static_cast<float>(i) / 8;
        m.position = sampled(0, 240, 24, [=](float t) {
            const float a = phase + t * 0.02f;
            return V3{150 * std::cos(a), 150 * std::sin(a), 40 * std::sin(2 * a + t * 0.01f)};
        });
        m.rotation = rotations(0, 240, 24, [=](float t) {
            return AxisAngle{{1, 1, 0}, t * 0.05f + phase};
        });
        b.add(m);
    }
    b.camera(sampled(0, 240, 12,
                     [](float t) {
                         const float a = pi * t / 240;
                         return V3{360 * std::cos(a), 360 * std::sin(a), 100 - 0.5f * t};
                     }),
             still({0, 0, 0}), constant(1.0f), noRoll);
    return b.file;
}

SceneFile faceted2() {
    Builder b("QUOR");
    b.add(material("Shell", tex::crystal, "", 4, 0.8f, 1, 1));
    b.add(material("Spark", tex::glow, "", 2, 0.9f, 1, 1));
    Geometry shell = icosahedron(150, 1);
    facetUv(shell, 23);
    scenefile::Mesh shellMesh = mesh("Shell", 0, 0, shell);
    shellMesh.rotation = rotations(0, 280, 14, [](float t) {
        return AxisAngle{{0, 0.4f, 1}, -t * 0.012f};
    });
    b.add(shellMesh);
    // A star: every face of an icosahedron raised into a spike.
    Geometry core = icosahedron(40, 0);
    Geometry star;
    for (auto f : core.tri) {
        const V3 a = core.pos[static_cast<size_t>(f[0])], c1 = core.pos[static_cast<size_t>(f[1])],
                 c2 = core.pos[static_cast<size_t>(f[2])];
        const V3 mid{(a[0] + c1[0] + c2[0]) / 3, (a[1] + c1[1] + c2[1]) / 3,
                     (a[2] + c1[2] + c2[2]) / 3};
        const float l = std::sqrt(mid[0] * mid[0] + mid[1] * mid[1] + mid[2] * mid[2]);
        const V3 tip{mid[0] / l * 95, mid[1] / l * 95, mid[2] / l * 95};
        Geometry spike;
        spike.pos = {a, c1, tip, c1, c2, tip, c2, a, tip};
        spike.uv = {{0, 0},    {1, 0}, {0.5f, 1}, {0, 0},   {1, 0},
                    {0.5f, 1}, {0, 0}, {1, 0},    {0.5f, 1}};
        spike.tri = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}};
        star.append(spike);
    }
    star.orient({0, 0, 0}, true);
    scenefile::Mesh starMesh = mesh("Star", 0, 1, star);
    starMesh.rotation = rotations(0, 280, 28, [](float t) {
        return AxisAngle{{1, 0, 0.3f}, t * 0.04f};
    });
    starMesh.scale = sampled(0, 280, 28, [](float t) {
        const float k = 1 + 0.2f * std::sin(t * 0.25f);
        return V3{k, k, k};
    });
    b.add(starMesh);
    b.camera(sampled(0, 280, 14,
                     [](float t) {
                         const float a = -pi * t / 280;
                         return V3{380 * std::sin(a), -380 * std::cos(a), 60 * std::sin(t / 40)};
                     }),
             still({0, 0, 0}), constant(1.1f), scalarKeys({{0, 0}, {140, 0.3f}, {280, 0}}));
    return b.file;
}

// ---- a chrome blob in three rings; the part wobbles the first four meshes ----
// The camera runs at 0.5..127.5 and back; the part draws meshes 2, 3, 4 and then 1.
SceneFile shite1() {
    Builder b("KEXP");
    b.add(material("Bands", tex::shiteBands, "", 2, 1.0f, 1));
    b.add(material("Chrome", tex::water, tex::chrome, 3));
    scenefile::Mesh blob = mesh("Blob", 0, 1, sphere(28, 24, 16, 2, 1));
    blob.rotation = rotations(0, 200, 16, [](float t) { return AxisAngle{{0, 0, 1}, t * 0.02f}; });
    b.add(blob);
    const float radii[3] = {40, 47, 54};
    const V3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    for (int i = 0; i < 3; ++i) {
        scenefile::Mesh ring = mesh(std::string("Ring") + static_cast<char>('A' + i), 0, 0,
                                    torus(radii[i], 5.0f - static_cast<float>(i), 32, 8, 4, 1));
        ring.rotation =
            rotations(0, 200, 20,
                      [=](float t) {
                          return AxisAngle{axes[i], t * 0.03f * static_cast<float>(i + 1) + 0.5f};
                      },
                      {0, 0.2f, 0});
        ring.position = sampled(0, 200, 20, [=](float t) {
            return V3{0, 0, 8 * std::sin(t * 0.05f + static_cast<float>(i) * 2)};
        });
        b.add(ring);
    }
    b.camera(sampled(0, 128, 8,
                     [](float t) {
                         const float a = degrees(-60 + 120 * t / 128);
                         return V3{260 * std::sin(a), -260 * std::cos(a), 50};
                     },
                     {0, 0, 0}),
             still({0, 0, 0}), constant(1.0f), scalarKeys({{0, -0.1f}, {64, 0.1f}, {128, -0.1f}}));
    return b.file;
}

// ---- the striped backdrop behind it, frozen at time 0; the part draws the "Qua" meshes ----
SceneFile designBw2() {
    Builder b("KEXP");
    b.add(material("Stripes", tex::bwStripes, "", 2, 0.5f, 1));
    b.add(material("FrameMat", tex::bwRings, "", 2));
    scenefile::Mesh back = mesh("Quad01", 0, 0, quad(640, 420));
    back.position = still({0, 200, 0});
    b.add(back);
    Geometry strip = quad(640, 120);
    strip.rotate({0, 1, 0}, degrees(8));
    scenefile::Mesh stripMesh = mesh("Quad02", 0, 0, strip);
    stripMesh.position = still({0, 180, -90});
    b.add(stripMesh);
    scenefile::Mesh frame = mesh("Frame", 0, 1, boxFrame(200, 8)); // never drawn: no "Qua"
    frame.position = still({0, 200, 0});
    b.add(frame);
    scenefile::Mesh top = mesh("Quadrant", 0, 0, quad(320, 90));
    top.position = still({0, 170, 120});
    b.add(top);
    b.camera(still({0, 0, 0}), still({0, 200, 0}), constant(1.5f), noRoll);
    return b.file;
}

// ---- a knotted tube with four echo layers trailing behind it ----
// Camera times 0..~345, mesh times 0..~515. Meshes 2 and 3 are the background (material 1,
// scrolling in v), "Original" uses material 0, "LWO01".."LWO04" an untextured colour.
V3 trefoil(float s) {
    const float a = 2 * pi * s;
    return {40 * (std::sin(a) + 2 * std::sin(2 * a)), 40 * (std::cos(a) - 2 * std::cos(2 * a)),
            -40 * std::sin(3 * a)};
}

SceneFile woah3() {
    // "QUOR" materials carry a blend type: the tunnel behind the knot is additive (and just under
    // full opacity, since an opaque material is drawn unblended), so it adds its light to the
    // dust drawn before it instead of covering it.
    Builder b("QUOR");
    b.add(material("Skin", tex::woahSkin, "", 2));
    b.add(material("Back", tex::woahBack, "", 4, 0.99f, 1, 1));
    b.add(plainMaterial("Echo", 1, {0.55f, 0.35f, 1.0f}, 0.99f));
    b.extras(99);
    const Geometry knot = tube(trefoil, 12, 120, 6, 1, 8);
    const float end = 520;
    auto motion = [&](scenefile::Mesh& m, float delay, float grow) {
        m.position = sampled(0, end, 52,
                             [=](float t) {
                                 const float u = std::max(t - delay, 0.0f);
                                 return V3{60 * std::sin(u * 0.021f), 30 * std::sin(u * 0.013f),
                                           45 * std::sin(u * 0.017f)};
                             },
                             {0, 0, 0});
        m.rotation = rotations2(
            0, end, 52,
            [=](float t) {
                return AxisAngle{{0, 0, 1}, std::max(t - delay, 0.0f) * 0.02f};
            },
            [=](float t) {
                return AxisAngle{{1, 0, 0}, std::max(t - delay, 0.0f) * 0.011f};
            });
        m.scale = still({grow, grow, grow});
    };
    scenefile::Mesh original = mesh("Original", 0, 0, knot);
    motion(original, 0, 1);
    b.add(original);
    Geometry tunnel = cylinder(600, -800, 2400, 32, 8, 4, 3);
    tunnel.orient({0, 0, 0}, false, {0, 0, 1});
    tunnel.rotate({1, 0, 0}, -pi / 2);
    b.add(mesh("Tunnel", 0, 1, tunnel));
    scenefile::Mesh disc = mesh("Disc", 0, 1, quad(1600, 1600));
    disc.position = still({0, 1500, 0});
    disc.rotation = rotations(0, end, 26, [](float t) { return AxisAngle{{0, 1, 0}, t * 0.01f}; });
    b.add(disc);
    Geometry bare = knot;
    bare.uv.clear(); // the echoes carry no texture coordinates
    for (int i = 1; i <= 4; ++i) {
        scenefile::Mesh echo = mesh("LWO0" + std::to_string(i), 0, 2, bare);
        motion(echo, 9.0f * static_cast<float>(i), 1.0f + 0.09f * static_cast<float>(i));
        b.add(echo);
    }
    b.camera(sampled(0, 360, 12,
                     [](float t) {
                         const float a = degrees(30 * std::sin(t / 60));
                         return V3{380 * std::sin(a), -380 * std::cos(a), 40 * std::sin(t / 45)};
                     },
                     {0, 0.2f, 0}),
             still({0, 0, 0}), scalarKeys({{0, 1.1f}, {180, 0.9f}, {360, 1.1f}}),
             scalarKeys({{0, 0}, {180, 0.2f}, {360, 0}}));
    return b.file;
}

// ---- the closing scene: a gyroscope of chrome rings over the embossed picture ----
// Scene times 60..255; the part makes every material two-sided and slightly translucent.
SceneFile endScene() {
    Builder b("KEXP");
    b.add(material("Ring", "", tex::chrome, 2));
    b.add(material("Orb", tex::marble, tex::chrome, 1));
    b.extras(1234);
    const V3 axes[3] = {{1, 0, 0}, {0, 0, 1}, {0.7f, 0.7f, 0}};
    const float radii[3] = {165, 150, 135};
    for (int i = 0; i < 3; ++i) {
        scenefile::Mesh ring = mesh(std::string("Ring") + static_cast<char>('X' + i), 0, 0,
                                    torus(radii[i], 3.5f, 48, 6));
        ring.rotation =
            rotations(0, 300, 30,
                      [=](float t) {
                          return AxisAngle{axes[i], (i % 2 == 0 ? 1.0f : -1.0f) * t * 0.012f *
                                                        static_cast<float>(i + 1)};
                      },
                      {0, 0, 0});
        b.add(ring);
    }
    scenefile::Mesh orb = mesh("Orb", 0, 1, sphere(14, 16, 10));
    orb.position = sampled(0, 300, 30,
                           [](float t) {
                               const float a = t * 0.025f;
                               return V3{200 * std::cos(a), 40 * std::sin(a), 150 * std::sin(a)};
                           },
                           {0, 0, -0.2f});
    b.add(orb);
    b.camera(sampled(0, 300, 6,
                     [](float t) {
                         return V3{30 * std::sin(t / 50), -600, 20 * std::cos(t / 70)};
                     }),
             still({0, 0, 0}), constant(0.9f), noRoll);
    return b.file;
}

} // namespace

bool makeScenes(Assets& out, std::string& error) {
    const std::pair<const char*, SceneFile (*)()> scenes[] = {
        {"beginning.exp", beginning},   {"boxical.exp", boxical},      {"boxical4.exp", boxical4},
        {"check.exp", check},           {"energy.exp", energy},        {"spherical.exp", spherical},
        {"credits.exp", credits},       {"design_bw.exp", designBw},   {"clock.exp", clock},
        {"bubblebath.exp", bubblebath}, {"faceted.exp", faceted},      {"faceted2.exp", faceted2},
        {"shite1.exp", shite1},         {"design_bw2.exp", designBw2}, {"woah3.exp", woah3},
        {"end.exp", endScene},
    };
    for (const auto& [name, make] : scenes) {
        std::vector<unsigned char> image;
        if (!scenefile::writeScene(make(), image, error)) {
            error = std::string(name) + ": " + error;
            return false;
        }
        addAsset(out, name, std::move(image));
    }
    return true;
}

} // namespace forge
