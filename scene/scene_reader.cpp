// scene_reader.cpp - reading ".exp" keyframe scene files (magic "KEXP" or "QUOR").
//
// After 8 header bytes the file is a run of chunks, each an i32 kind and a payload whose length
// follows from its contents: meshes (1), cameras (2), an ignored block with a track (3), dummy
// nodes (5) and materials (10); any other kind is the kind word alone. Everything is
// little-endian and unaligned.
//
// Every count, index and length is checked against the bytes actually there before it is used.
// A damaged file ends the program with a message naming the file, the byte offset and the fault.
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx/gl_api.h"
#include "platform/fatal.h"
#include "resources/search_path.h"
#include "scene/scene.h"
#include "scene/scene_state.h"

namespace {

constexpr size_t nameBytes = 32;
constexpr size_t meshHeaderBytes = 68;
constexpr size_t cameraHeaderBytes = 72;
constexpr size_t dummyHeaderBytes = 40;
constexpr size_t ignoredBlockBytes = 68;
constexpr size_t vectorKeyBytes = 28;
constexpr size_t rotationKeyBytes = 32;
constexpr size_t scalarKeyBytes = 8;

// A bounds-checked cursor over the file's bytes.
class Cursor {
public:
    Cursor(const unsigned char* data, size_t size, const char* fileName)
        : data(data), size(size), fileName(fileName) {}

    [[noreturn]] __attribute__((format(printf, 3, 4))) void fail(size_t at, const char* format,
                                                                 ...) const {
        char what[600];
        va_list args;
        va_start(args, format);
        std::vsnprintf(what, sizeof what, format, args);
        va_end(args);
        sys::fatalf("file error", "The scene file \"%s\" is damaged at byte %zu: %s.", fileName, at,
                    what);
    }

    size_t left() const { return size - pos; }

    // Fails unless `bytes` more bytes are there; `what` names what was being read.
    void need(size_t bytes, const char* what) const {
        if (left() < bytes) {
            fail(pos, "the file ends inside %s (%zu bytes needed, %zu left)", what, bytes, left());
        }
    }

    int32_t i32() {
        int32_t v;
        std::memcpy(&v, data + pos, 4);
        pos += 4;
        return v;
    }
    float f32() {
        float v;
        std::memcpy(&v, data + pos, 4);
        pos += 4;
        return v;
    }
    uint8_t u8() { return data[pos++]; }

    // A 32-byte name field. One without its terminating zero is refused: it would not fit.
    void name(char (&out)[nameBytes], const char* what) {
        const void* end = std::memchr(data + pos, 0, nameBytes);
        if (!end) {
            fail(pos, "%s \"%.32s\" is not terminated within its 32 bytes (at most 31 characters)",
                 what, reinterpret_cast<const char*>(data + pos));
        }
        std::memcpy(out, data + pos, nameBytes);
        pos += nameBytes;
    }

    // A record count: not negative, and that many records of `recordBytes` must follow.
    int32_t count(const char* what, size_t recordBytes) {
        need(4, what);
        const size_t at = pos;
        const int32_t n = i32();
        if (n < 0) {
            fail(at, "%s has the negative count %d", what, n);
        }
        if (static_cast<uint64_t>(n) * recordBytes > left()) {
            fail(at, "%s claims %d records of %zu bytes, but only %zu bytes follow", what, n,
                 recordBytes, left());
        }
        return n;
    }

    const unsigned char* data;
    size_t size;
    size_t pos = 0;
    const char* fileName;
};

VectorTrack* readVectorTrack(Cursor& in, const char* what) {
    const int32_t n = in.count(what, vectorKeyBytes);
    auto* track = new VectorTrack;
    track->allocate(n);
    for (int32_t i = 0; i < n; ++i) {
        VectorKey& k = track->keys[i];
        k.value[0] = in.f32();
        k.value[1] = in.f32();
        k.value[2] = in.f32();
        k.tension = in.f32();
        k.continuity = in.f32();
        k.bias = in.f32();
        k.time = in.f32();
    }
    computeTangents(*track);
    return track;
}

RotationTrack* readRotationTrack(Cursor& in, const char* what) {
    const int32_t n = in.count(what, rotationKeyBytes);
    auto* track = new RotationTrack;
    track->allocate(n);
    for (int32_t i = 0; i < n; ++i) {
        RotationKey& k = track->keys[i];
        k.rotation.w = in.f32();
        k.rotation.x = in.f32();
        k.rotation.y = in.f32();
        k.rotation.z = in.f32();
        k.tension = in.f32();
        k.continuity = in.f32();
        k.bias = in.f32();
        k.time = in.f32();
    }
    prepareRotations(*track);
    return track;
}

ScalarTrack* readScalarTrack(Cursor& in, const char* what) {
    const int32_t n = in.count(what, scalarKeyBytes);
    auto* track = new ScalarTrack;
    track->allocate(n);
    for (int32_t i = 0; i < n; ++i) {
        ScalarKey& k = track->keys[i];
        k.time = in.f32();
        k.value = in.f32();
    }
    computeTangents(*track);
    return track;
}

// A track read only to be passed over.
void skipVectorTrack(Cursor& in, const char* what) {
    const int32_t n = in.count(what, vectorKeyBytes);
    in.pos += static_cast<size_t>(n) * vectorKeyBytes;
}

void appendCameraHook(Motion* motion, Camera* camera, ScalarTrack* track,
                      void (*function)(CameraTrack*, float)) {
    auto* hook = new TrackHook{function, new CameraTrack{track, camera}};
    motion->appendHook(hook);
}

struct MeshMaterialRef {
    MeshObject* mesh;
    size_t offset; // of the material index field, for the report
};

class KexpReader {
public:
    KexpReader(Scene* scene, Cursor& in, size_t materialBytes)
        : scene(scene), in(in), materialBytes(materialBytes) {}

    void readChunks() {
        while (in.pos < in.size) {
            const size_t at = in.pos;
            if (in.left() < 4) {
                in.fail(at, "the file ends inside a chunk kind (%zu bytes left)", in.left());
            }
            const int32_t kind = in.i32();
            switch (kind) {
                case 1:
                    readMesh();
                    break;
                case 2:
                    readCamera();
                    break;
                case 3:
                    in.need(ignoredBlockBytes, "an ignored block (chunk kind 3)");
                    in.pos += ignoredBlockBytes;
                    skipVectorTrack(in, "the track of an ignored block (chunk kind 3)");
                    break;
                case 5:
                    readDummy();
                    break;
                case 10:
                    readMaterial();
                    break;
                default:
                    break; // a kind without a payload: the next chunk follows at once
            }
        }
    }

    // Each mesh's material, checked now that every material chunk has been read.
    void resolveMaterials() {
        const MaterialList* list = scene->materials;
        for (const MeshMaterialRef& ref : meshMaterials) {
            const int32_t index = ref.mesh->materialIndex;
            if (index < 0 || index >= list->count) {
                in.fail(ref.offset, "the mesh \"%s\" uses material %d, but the file has %d",
                        ref.mesh->name, index, list->count);
            }
            ref.mesh->material = list->items[index];
        }
    }

private:
    void readMesh() {
        in.need(meshHeaderBytes, "a mesh header");
        auto mesh = std::make_unique<MeshObject>();
        char name[nameBytes];
        in.name(name, "a mesh name");
        const int32_t id = in.i32();
        const size_t countsAt = in.pos;
        const int32_t vertexCount = in.i32();
        const int32_t texVertexCount = in.i32();
        const int32_t faceCount = in.i32();
        const int32_t parentId = in.i32();
        const size_t materialAt = in.pos;
        const int32_t materialIndex = in.i32();
        float pivot[3];
        for (float& p : pivot) {
            p = in.f32();
        }
        if (vertexCount < 0 || texVertexCount < 0 || faceCount < 0) {
            in.fail(countsAt,
                    "the mesh \"%s\" has negative counts (%d vertices, %d texture "
                    "vertices, %d faces)",
                    name, vertexCount, texVertexCount, faceCount);
        }
        const uint64_t geometryBytes =
            12ull * static_cast<uint64_t>(vertexCount) +
            8ull * static_cast<uint64_t>(texVertexCount) +
            (texVertexCount > 0 ? 12ull * static_cast<uint64_t>(faceCount) : 0) +
            16ull * static_cast<uint64_t>(faceCount);
        if (geometryBytes > in.left()) {
            in.fail(countsAt,
                    "the mesh \"%s\" claims %d vertices, %d texture vertices and %d faces "
                    "(%llu bytes), but only %zu bytes follow",
                    name, vertexCount, texVertexCount, faceCount,
                    static_cast<unsigned long long>(geometryBytes), in.left());
        }

        std::memcpy(mesh->name, name, nameBytes);
        mesh->unlit = 1;
        mesh->next = nullptr;
        mesh->allocateGeometry(vertexCount, texVertexCount, faceCount);
        mesh->id = id;
        mesh->materialIndex = materialIndex;

        auto* motion = new Motion;
        std::memcpy(motion->name, name, nameBytes);
        motion->id = id;
        std::memcpy(motion->pivot, pivot, sizeof pivot);
        motion->parent = findMotionById(scene, parentId);
        linkMotion(motion, mesh.get());

        for (int32_t i = 0; i < vertexCount; ++i) {
            Vertex& v = mesh->vertices[i];
            v.index = i;
            v.position[0] = v.sourceX = in.f32();
            v.position[1] = v.sourceY = in.f32();
            v.position[2] = v.sourceZ = in.f32();
            v.light = 255;
        }
        for (int32_t i = 0; i < texVertexCount; ++i) {
            TexVertex& t = mesh->texVertices[i];
            t.u = in.f32();
            t.v = 1.0f - in.f32(); // the file's v runs the other way
            t.w = 0.0f;
        }
        for (int32_t i = 0; i < faceCount; ++i) {
            Face& f = mesh->faces[i];
            for (int k = 0; k < 3; ++k) {
                if (texVertexCount == 0) {
                    f.corner[k] = &mesh->texVertices[0]; // the mesh's (0, 0)
                    continue;
                }
                const size_t at = in.pos;
                const int32_t index = in.i32();
                if (index < 0 || index >= texVertexCount) {
                    in.fail(at,
                            "face %d of the mesh \"%s\" uses texture vertex %d, but the mesh has "
                            "%d",
                            i, name, index, texVertexCount);
                }
                f.corner[k] = &mesh->texVertices[index];
            }
        }
        for (int32_t i = 0; i < faceCount; ++i) {
            Face& f = mesh->faces[i];
            for (int k = 0; k < 3; ++k) {
                const size_t at = in.pos;
                const int32_t index = in.i32();
                if (index < 0 || index >= vertexCount) {
                    in.fail(at, "face %d of the mesh \"%s\" uses vertex %d, but the mesh has %d", i,
                            name, index, vertexCount);
                }
                f.vertex[k] = &mesh->vertices[index];
            }
            f.attribute = in.i32();
        }

        motion->position =
            new VectorBinding(readVectorTrack(in, "a mesh position track"), &applyPosition);
        motion->rotation =
            new RotationBinding(readRotationTrack(in, "a mesh rotation track"), &applyRotation);
        motion->scale = new VectorBinding(readVectorTrack(in, "a mesh scale track"), &applyScale);

        buildAdjacency(mesh.get());
        computeNormals(mesh.get());
        MeshObject* linked = mesh.release();
        linkMesh(scene, linked);
        meshMaterials.push_back({linked, materialAt});
    }

    void readCamera() {
        in.need(cameraHeaderBytes, "a camera header");
        auto camera = std::make_unique<Camera>();
        in.name(camera->name, "a camera name");
        in.name(camera->targetName, "a camera's target name");
        const int32_t id = in.i32();
        const int32_t parentId = in.i32();
        for (float& m : camera->matrix) {
            m = 0.0f;
        }
        camera->roll = 0.0f;
        camera->fov = 32.546875f;
        camera->aspect = 0.75f;
        identity(camera->viewMatrix);
        camera->next = nullptr;
        camera->target = nullptr;
        applyProjection(camera.get());

        auto* motion = new Motion;
        std::memcpy(motion->name, camera->name, nameBytes);
        motion->id = id;
        motion->parent = findMotionById(scene, parentId);
        linkMotion(motion, camera.get());
        motion->position =
            new VectorBinding(readVectorTrack(in, "a camera position track"), &applyPosition);
        appendCameraHook(motion, camera.get(), readScalarTrack(in, "a camera field-of-view track"),
                         &updateCameraFov);
        appendCameraHook(motion, camera.get(), readScalarTrack(in, "a camera roll track"),
                         &updateCameraRoll);
        linkCamera(scene, camera.release());
    }

    void readDummy() {
        in.need(dummyHeaderBytes, "a dummy node header");
        auto node = std::make_unique<DummyNode>();
        in.name(node->name, "a dummy node name");
        const int32_t id = in.i32();
        const int32_t parentId = in.i32();
        auto* motion = new Motion;
        std::memcpy(motion->name, node->name, nameBytes);
        motion->id = id;
        motion->parent = findMotionById(scene, parentId);
        linkMotion(motion, node.get());
        motion->position =
            new VectorBinding(readVectorTrack(in, "a dummy node position track"), &applyPosition);
        linkDummy(scene, node.release());
    }

    void readMaterial() {
        in.need(materialBytes, "a material");
        auto material = std::make_unique<Material>();
        in.name(material->name, "a material name");
        in.name(material->textureName0, "a material's first texture name");
        in.name(material->unusedName, "a material's third name");
        in.name(material->textureName1, "a material's second texture name");
        material->mode = in.i32();
        material->twoSided = in.u8();
        for (float& c : material->colour0) {
            c = in.f32();
        }
        material->red = in.f32();
        material->green = in.f32();
        material->blue = in.f32();
        for (float& c : material->colour2) {
            c = in.f32();
        }
        material->alpha = in.f32();
        material->blendType = 0;
        if (materialBytes == static_cast<size_t>(quorMaterialBytes)) {
            material->blendType = static_cast<int8_t>(in.u8());
        }
        addMaterial(scene->materials, material.release());
    }

    Scene* scene;
    Cursor& in;
    size_t materialBytes;
    std::vector<MeshMaterialRef> meshMaterials;
};

bool matchesAt(const char* name, int i, const char* ext) {
    return std::strncmp(name + i, ext, 3) == 0;
}

} // namespace

void readKexp(Scene* scene, LoadedFile* file) {
    FileLock lock(file);
    Cursor in(lock.data, file->size > 0 ? static_cast<size_t>(file->size) : 0, scene->fileName);
    in.need(8, "the 8-byte file header");

    // The magic picks the material length. A file with neither magic is refused: read with a
    // guessed material length, any other file (a picture with a scene's name) passes as a
    // run of chunk kinds without a reader and plays as an empty scene, without a word.
    char magic[5] = {};
    std::memcpy(magic, lock.data, 4);
    if (std::strstr(magic, "KEXP")) {
        sceneState.setFileMagic("KEXP");
    } else if (std::strstr(magic, "QUOR")) {
        sceneState.setFileMagic("QUOR");
    } else {
        char shown[4 * 4 + 1] = {};
        for (int i = 0, o = 0; i < 4; ++i) {
            const unsigned char c = lock.data[i];
            o += std::snprintf(shown + o, sizeof shown - static_cast<size_t>(o),
                               c >= 32 && c < 127 && c != '\\' && c != '"' ? "%c" : "\\x%02X", c);
        }
        in.fail(0, "it starts with \"%s\", not the magic \"KEXP\" or \"QUOR\" of a scene file",
                shown);
    }
    const auto materialBytes = static_cast<size_t>(materialRecordBytes(sceneState.fileMagic()));

    in.pos = 8;
    KexpReader reader(scene, in, materialBytes);
    reader.readChunks();
    if (scene->camera) {
        scene->camera->target = findDummy(scene, scene->camera->targetName);
    }
    for (int32_t i = 0; i < scene->materials->count; ++i) {
        selectRenderMode(scene->materials->items[i]);
    }
    reader.resolveMaterials();
}

int32_t sceneFormatOf(const char* name) {
    // The first match from the left wins; the test is case-sensitive, and "lwv" needs no dot.
    const size_t length = std::strlen(name);
    for (size_t i = 0; i < 32 && i < length; ++i) {
        if (name[i] == '.' && matchesAt(name, static_cast<int>(i) + 1, "asc")) {
            return formatAsc;
        }
        if (name[i] == '.' && matchesAt(name, static_cast<int>(i) + 1, "ase")) {
            return formatAse;
        }
        if (name[i] == '.' && matchesAt(name, static_cast<int>(i) + 1, "exp")) {
            return formatExp;
        }
        if (matchesAt(name, static_cast<int>(i) + 1, "lwv")) {
            return formatLwv;
        }
    }
    return formatNone;
}

int32_t loadScene(Scene* scene) {
    scene->format = formatNone;
    scene->light = nullptr;
    const char* name = scene->fileName;
    scene->format = sceneFormatOf(name);
    LoadedFile* file = searchPath.load(name, loadFatal);
    if (scene->format == formatExp) {
        readKexp(scene, file);
    } else {
        delete file; // recognised or not, nothing else has a reader: the scene stays empty
    }
    return scene->format;
}
