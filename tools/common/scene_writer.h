// scene_writer.h - writes ".exp" scene files (magic "KEXP" or "QUOR") from a plain description
// of their chunks. The data generator makes the demo's scenes with it, and the tests make the
// files they read back.
//
// File layout: 4 bytes of magic, 4 bytes the reader skips, then chunks, each an i32 kind and its
// payload, little-endian and unaligned. A "QUOR" material carries one more byte (the blend type)
// than a "KEXP" material.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace scenefile {

// Key records in file order.
struct VectorKey {
    float x = 0, y = 0, z = 0;
    float tension = 0, continuity = 0, bias = 0;
    float time = 0;
};
// Rotation keys are stored relative to the previous key's rotation (the first is absolute).
struct RotationKey {
    float w = 1, x = 0, y = 0, z = 0;
    float tension = 0, continuity = 0, bias = 0;
    float time = 0;
};
struct ScalarKey {
    float time = 0;
    float value = 0;
};

struct Mesh { // chunk kind 1
    std::string name;
    int32_t id = 0;
    int32_t parentId = -1;
    int32_t materialIndex = 0;
    std::array<float, 3> pivot{0, 0, 0};
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::array<float, 2>> texVertices; // u, v as stored (the reader flips v)
    std::vector<std::array<int32_t, 3>>
        faceTexVertices;                       // written only when texVertices is not empty
    std::vector<std::array<int32_t, 4>> faces; // three vertex indices and an attribute word
    std::vector<VectorKey> position;
    std::vector<RotationKey> rotation;
    std::vector<VectorKey> scale;
};

struct Camera { // chunk kind 2
    std::string name;
    std::string targetName; // a dummy node's name
    int32_t id = 0;
    int32_t parentId = -1;
    std::vector<VectorKey> position;
    std::vector<ScalarKey> fov;  // horizontal field of view, radians
    std::vector<ScalarKey> roll; // radians
};

struct Ignored { // chunk kind 3: a 68-byte block and one vector track, read past
    std::array<uint8_t, 68> block{};
    std::vector<VectorKey> track;
};

struct Dummy { // chunk kind 5
    std::string name;
    int32_t id = 0;
    int32_t parentId = -1;
    std::vector<VectorKey> position;
};

struct Material { // chunk kind 10
    std::string name;
    std::string texture0;
    std::string unusedName;
    std::string texture1;
    int32_t mode = 2;
    uint8_t twoSided = 0;
    std::array<float, 9> colours{}; // three RGB triples; the second is the face colour
    float alpha = 1.0f;
    int8_t blendType = 0; // written only in "QUOR" files: 0 alpha blend, 1 additive
};

struct UnknownKind { // any other kind: the kind word alone
    int32_t kind = 7;
};

using Chunk = std::variant<Mesh, Camera, Ignored, Dummy, Material, UnknownKind>;

struct SceneFile {
    std::string magic = "KEXP"; // "KEXP" or "QUOR"
    uint32_t skipped = 0;       // bytes 4..7
    std::vector<Chunk> chunks;
};

// ---- building blocks shared by the example scene, the tests and the benchmarks

VectorKey vectorKey(float time, float x, float y, float z);
// A mesh's transform at rest: one position key at the origin, no rotation, scale 1.
void holdStill(Mesh& mesh);
// A square of side 2 * half in the XZ plane at y = 0, facing -Y (towards a camera on -Y), with
// texture (0, 0) bottom-left and (1, 1) top-right as stored in the file; id 1, held still.
Mesh squareMesh(const std::string& name, float half, int32_t material = 0);
// A material of shading `mode` with alpha 1 and the textures named (none when empty).
Material plainMaterial(const std::string& name, int32_t mode, const std::string& texture0 = "",
                       const std::string& texture1 = "");
// A camera "Camera" at `eye` looking at a dummy node "Target" at `target` (ids 51 and 50), with
// horizontal field of view `fov` and no roll.
void addCamera(SceneFile& file, std::array<float, 3> eye, std::array<float, 3> target,
               float fov = 1.5707964f);

// The file image. Names longer than 31 characters are refused with a message in `error`.
bool writeScene(const SceneFile& scene, std::vector<unsigned char>& image, std::string& error);
bool writeSceneFile(const std::string& path, const SceneFile& scene, std::string& error);

} // namespace scenefile
