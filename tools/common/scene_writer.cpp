// scene_writer.cpp - writes ".exp" scene file images from a SceneFile description.
#include "tools/common/scene_writer.h"

#include <cstring>
#include <fstream>

namespace scenefile {

namespace {

class Out {
public:
    explicit Out(std::vector<unsigned char>& image) : image(image) {}

    void i32(int32_t v) { raw(&v, 4); }
    void f32(float v) { raw(&v, 4); }
    void u8(uint8_t v) { image.push_back(v); }
    void raw(const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        image.insert(image.end(), b, b + n);
    }
    // A zero-padded 32-byte name field; false when the name does not fit with its zero.
    bool name(const std::string& s, const char* what, std::string& error) {
        if (s.size() > 31) {
            error = std::string(what) + " \"" + s + "\" has " + std::to_string(s.size()) +
                    " characters; at most 31 fit";
            return false;
        }
        unsigned char field[32] = {};
        std::memcpy(field, s.data(), s.size());
        raw(field, sizeof field);
        return true;
    }
    void vectorTrack(const std::vector<VectorKey>& keys) {
        i32(static_cast<int32_t>(keys.size()));
        for (const VectorKey& k : keys) {
            for (float v : {k.x, k.y, k.z, k.tension, k.continuity, k.bias, k.time}) {
                f32(v);
            }
        }
    }
    void rotationTrack(const std::vector<RotationKey>& keys) {
        i32(static_cast<int32_t>(keys.size()));
        for (const RotationKey& k : keys) {
            for (float v : {k.w, k.x, k.y, k.z, k.tension, k.continuity, k.bias, k.time}) {
                f32(v);
            }
        }
    }
    void scalarTrack(const std::vector<ScalarKey>& keys) {
        i32(static_cast<int32_t>(keys.size()));
        for (const ScalarKey& k : keys) {
            f32(k.time);
            f32(k.value);
        }
    }

private:
    std::vector<unsigned char>& image;
};

bool writeChunk(Out& out, const Mesh& m, bool, std::string& error) {
    out.i32(1);
    if (!out.name(m.name, "the mesh name", error)) {
        return false;
    }
    out.i32(m.id);
    out.i32(static_cast<int32_t>(m.vertices.size()));
    out.i32(static_cast<int32_t>(m.texVertices.size()));
    out.i32(static_cast<int32_t>(m.faces.size()));
    out.i32(m.parentId);
    out.i32(m.materialIndex);
    for (float p : m.pivot) {
        out.f32(p);
    }
    for (const auto& v : m.vertices) {
        out.f32(v[0]);
        out.f32(v[1]);
        out.f32(v[2]);
    }
    for (const auto& t : m.texVertices) {
        out.f32(t[0]);
        out.f32(t[1]);
    }
    if (!m.texVertices.empty()) {
        if (m.faceTexVertices.size() != m.faces.size()) {
            error = "the mesh \"" + m.name + "\" has " + std::to_string(m.faces.size()) +
                    " faces but " + std::to_string(m.faceTexVertices.size()) +
                    " face texture-vertex triples";
            return false;
        }
        for (const auto& f : m.faceTexVertices) {
            out.i32(f[0]);
            out.i32(f[1]);
            out.i32(f[2]);
        }
    }
    for (const auto& f : m.faces) {
        out.i32(f[0]);
        out.i32(f[1]);
        out.i32(f[2]);
        out.i32(f[3]);
    }
    out.vectorTrack(m.position);
    out.rotationTrack(m.rotation);
    out.vectorTrack(m.scale);
    return true;
}

bool writeChunk(Out& out, const Camera& c, bool, std::string& error) {
    out.i32(2);
    if (!out.name(c.name, "the camera name", error) ||
        !out.name(c.targetName, "the camera's target name", error)) {
        return false;
    }
    out.i32(c.id);
    out.i32(c.parentId);
    out.vectorTrack(c.position);
    out.scalarTrack(c.fov);
    out.scalarTrack(c.roll);
    return true;
}

bool writeChunk(Out& out, const Ignored& c, bool, std::string&) {
    out.i32(3);
    out.raw(c.block.data(), c.block.size());
    out.vectorTrack(c.track);
    return true;
}

bool writeChunk(Out& out, const Dummy& d, bool, std::string& error) {
    out.i32(5);
    if (!out.name(d.name, "the dummy node name", error)) {
        return false;
    }
    out.i32(d.id);
    out.i32(d.parentId);
    out.vectorTrack(d.position);
    return true;
}

bool writeChunk(Out& out, const Material& m, bool quor, std::string& error) {
    out.i32(10);
    if (!out.name(m.name, "the material name", error) ||
        !out.name(m.texture0, "the first texture name", error) ||
        !out.name(m.unusedName, "the material's third name", error) ||
        !out.name(m.texture1, "the second texture name", error)) {
        return false;
    }
    out.i32(m.mode);
    out.u8(m.twoSided);
    for (float c : m.colours) {
        out.f32(c);
    }
    out.f32(m.alpha);
    if (quor) {
        out.u8(static_cast<uint8_t>(m.blendType));
    }
    return true;
}

bool writeChunk(Out& out, const UnknownKind& u, bool, std::string&) {
    out.i32(u.kind);
    return true;
}

} // namespace

bool writeScene(const SceneFile& scene, std::vector<unsigned char>& image, std::string& error) {
    image.clear();
    if (scene.magic.size() != 4) {
        error =
            "the magic must be 4 characters (\"KEXP\" or \"QUOR\"), not \"" + scene.magic + "\"";
        return false;
    }
    Out out(image);
    out.raw(scene.magic.data(), 4);
    out.raw(&scene.skipped, 4);
    const bool quor = scene.magic == "QUOR";
    for (const Chunk& chunk : scene.chunks) {
        const bool ok =
            std::visit([&](const auto& c) { return writeChunk(out, c, quor, error); }, chunk);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool writeSceneFile(const std::string& path, const SceneFile& scene, std::string& error) {
    std::vector<unsigned char> image;
    if (!writeScene(scene, image, error)) {
        return false;
    }
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

// ---- building blocks

VectorKey vectorKey(float time, float x, float y, float z) {
    VectorKey k;
    k.time = time;
    k.x = x;
    k.y = y;
    k.z = z;
    return k;
}

void holdStill(Mesh& mesh) {
    mesh.position = {vectorKey(0, 0, 0, 0)};
    mesh.rotation = {RotationKey{}};
    mesh.scale = {vectorKey(0, 1, 1, 1)};
}

Mesh squareMesh(const std::string& name, float half, int32_t material) {
    Mesh m;
    m.name = name;
    m.id = 1;
    m.materialIndex = material;
    m.vertices = {{-half, 0, -half}, {half, 0, -half}, {half, 0, half}, {-half, 0, half}};
    m.texVertices = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.faces = {{0, 1, 2, 7}, {0, 2, 3, 7}};
    m.faceTexVertices = {{0, 1, 2}, {0, 2, 3}};
    holdStill(m);
    return m;
}

Material plainMaterial(const std::string& name, int32_t mode, const std::string& texture0,
                       const std::string& texture1) {
    Material m;
    m.name = name;
    m.mode = mode;
    m.texture0 = texture0;
    m.texture1 = texture1;
    m.alpha = 1.0f;
    return m;
}

void addCamera(SceneFile& file, std::array<float, 3> eye, std::array<float, 3> target, float fov) {
    Dummy d;
    d.name = "Target";
    d.id = 50;
    d.position = {vectorKey(0, target[0], target[1], target[2])};
    file.chunks.push_back(d);
    Camera c;
    c.name = "Camera";
    c.targetName = "Target";
    c.id = 51;
    c.position = {vectorKey(0, eye[0], eye[1], eye[2])};
    c.fov = {{0, fov}};
    c.roll = {{0, 0}};
    file.chunks.push_back(c);
}

} // namespace scenefile
