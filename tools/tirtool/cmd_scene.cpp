// cmd_scene.cpp - tirtool scene (print a scene file, or render it headless at a scene time) and
// tirtool env (print an envelope's keys, tangents and sampled values).
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "scene/materials.h"
#include "resources/search_path.h"
#include "gfx/render_state.h"
#include "scene/scene_state.h"
#include "scene/scene.h"
#include "scene/track.h"
#include "tools/common/demo_scene.h"
#include "tools/common/offscreen_gl.h"
#include "resources/png_writer.h"
#include "app/application.h"
#include "tools/tirtool/command.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string file;
    std::string archivePath;
    bool render = false;
    double at = 0.0;
    int width = 640, height = 480;
    std::string out;
    double step = 1.0;
    bool hasFrom = false, hasTo = false;
    double from = 0.0, to = 0.0;
    int kind = 0; // env: 0 decide from the first key line, 1 scalar, 3 vector
    bool lit = false;
    bool hasLight = false;
    float light[3] = {0, 0, 0};
};

bool parseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

// Sources for `file`: its own folder (and a textures folder under it), searched before the
// archive when one is given, so a file on disk wins over the archive's copy. Returns the name
// to look up.
std::string registerSources(const Options& o) {
    const fs::path path(o.file);
    std::string folder = path.parent_path().string();
    if (!folder.empty()) {
        folder += "/";
    }
    if (!o.archivePath.empty()) {
        searchPath.add(std::make_unique<ArchiveSource>(o.archivePath.c_str()));
        searchPath.add(std::make_unique<DirectorySource>(folder.c_str()));
    } else {
        searchPath.add(std::make_unique<DirectorySource>(folder.c_str()));
        searchPath.add(std::make_unique<DirectorySource>((folder + "textures/").c_str()));
    }
    return path.filename().string();
}

// The archive named must be there, and FILE must not be a folder (it is looked up by name in
// the archive, or else read from its own folder). False after saying why.
bool checkInputs(const Options& o) {
    std::error_code ec;
    if (!o.archivePath.empty()) {
        if (!fs::exists(o.archivePath, ec)) {
            fail("cannot open the archive %s: no such file", o.archivePath.c_str());
            return false;
        }
        if (fs::is_directory(o.archivePath, ec)) {
            fail("cannot open the archive %s: it is a folder, not an archive",
                 o.archivePath.c_str());
            return false;
        }
    }
    if (fs::is_directory(o.file, ec)) {
        fail("%s is a folder, not a file; name a file in it", o.file.c_str());
        return false;
    }
    return true;
}

// Stands in for texture loading when a scene is only printed: a positive id per name, as a
// real load gives, so the routines shown are the ones the scene gets when it plays.
int noTextureLoad(const char*) {
    static int next = 1;
    return next++;
}

int keyCountOf(const VectorBinding* b) {
    return b ? b->track->keyCount : 0;
}
int keyCountOf(const RotationBinding* b) {
    return b ? b->track->keyCount : 0;
}

void printScene(const Scene& scene, const std::string& magic) {
    std::printf("scene \"%s\"\n", scene.fileName);
    std::printf("magic: %s (materials of %d bytes)\n", magic.c_str(),
                materialRecordBytes(sceneState.fileMagic()));

    int meshCount = 0;
    for (MeshObject* m = scene.firstMesh; m; m = m->next) {
        ++meshCount;
    }
    std::printf("\nmeshes: %d\n", meshCount);
    for (MeshObject* m = scene.firstMesh; m; m = m->next) {
        const Motion* motion = m->motion;
        std::printf("  \"%s\" id %d: %d vertices, %d texture vertices, %d faces, material %d; "
                    "keys: position %d, rotation %d, scale %d\n",
                    m->name, m->id, m->vertexCount, m->texVertexCount, m->faceCount,
                    m->materialIndex, keyCountOf(motion->position), keyCountOf(motion->rotation),
                    keyCountOf(motion->scale));
    }

    const MaterialList& list = *scene.materials;
    std::printf("\nmaterials: %d\n", list.count);
    for (int i = 0; i < list.count; ++i) {
        const Material& m = *list.items[i];
        std::printf("  %d \"%s\": mode %d, %s, alpha %g, blend type %d, textures \"%s\" and "
                    "\"%s\", routines %s / %s\n",
                    i, m.name, m.mode, m.twoSided ? "two-sided" : "one-sided",
                    static_cast<double>(m.alpha), m.blendType, m.textureName0, m.textureName1,
                    beginRoutineName(m.begin), emitRoutineName(m.emit));
    }

    std::printf("\n");
    if (!scene.camera) {
        std::printf("camera: none (the scene is updated but never drawn)\n");
    }
    for (const Camera* c = scene.camera; c; c = c->next) {
        int fovKeys = 0, rollKeys = 0;
        const TrackHook* hook = c->motion ? c->motion->hooks : nullptr;
        for (; hook; hook = hook->next) {
            (hook->function == &updateCameraFov ? fovKeys : rollKeys) = hook->data->track->keyCount;
        }
        // Only the first camera's target is looked up; the others are never used.
        const char* target = c != scene.camera ? "unused: only the first camera is used"
                             : c->target       ? "found"
                                               : "missing: the view never changes";
        std::printf("camera \"%s\": target \"%s\" (%s); keys: position %d, field of view %d, "
                    "roll %d\n",
                    c->name, c->targetName, target,
                    keyCountOf(c->motion ? c->motion->position : nullptr), fovKeys, rollKeys);
    }

    int dummyCount = 0;
    for (DummyNode* d = scene.firstDummy; d; d = d->next) {
        ++dummyCount;
    }
    std::printf("\ndummy nodes: %d\n", dummyCount);
    for (DummyNode* d = scene.firstDummy; d; d = d->next) {
        std::printf("  \"%s\" id %d: position keys %d\n", d->name, d->motion ? d->motion->id : 0,
                    keyCountOf(d->motion ? d->motion->position : nullptr));
    }
}

// Loads `name` as a ".exp" scene whatever the case of its extension (the player's own test is
// case-sensitive, so a capitalised name plays as an empty scene there, which is said). Returns
// null, after saying why, when the name is not a ".exp" scene's; a damaged file ends the tool
// through the reader's fatal report.
Scene* loadForTool(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const int format = sceneFormatOf(lower.c_str());
    if (format != formatExp) {
        static const char* const kinds[] = {"no scene format", "the \".asc\" format",
                                            "the \".ase\" format", "", "the \"lwv\" format"};
        fail("%s is not a \".exp\" scene file (its name gives %s); only \".exp\" scenes have a "
             "reader",
             name.c_str(), kinds[format >= 0 && format <= 4 ? format : 0]);
        return nullptr;
    }
    if (sceneFormatOf(name.c_str()) != formatExp) {
        std::fprintf(stderr,
                     "tirtool: note: the player tells formats apart by lower-case names and "
                     "would load %s as an empty scene\n",
                     name.c_str());
    }
    auto* scene = new Scene(name.c_str());
    scene->format = formatExp;
    readKexp(scene, searchPath.load(name.c_str(), loadFatal));
    return scene;
}

// The first four bytes of the file as printable text.
std::string readMagic(const char* name) {
    LoadedFile* f = searchPath.load(name, loadFatal);
    const auto* data = static_cast<const unsigned char*>(f->lock());
    std::string magic;
    for (int i = 0; i < 4 && i < f->size; ++i) {
        magic += (data[i] >= 32 && data[i] < 127) ? static_cast<char>(data[i]) : '?';
    }
    f->unlock();
    delete f;
    return magic;
}

int renderScene(const Options& o, const std::string& name) {
    OffscreenGl gl;
    std::string error;
    if (!gl.open(o.width, o.height, error)) {
        return fail("%s", error.c_str());
    }
    applyStartState(); // the state the demo's frames start from
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    Scene* scene = loadForTool(name);
    if (!scene) {
        return 1;
    }
    if (o.lit) {
        // What an effect part does to light its meshes: per-vertex light from the scene's light
        // node, or from (1, 0, 0) when it has none.
        for (MeshObject* m = scene->firstMesh; m; m = m->next) {
            m->unlit = 0;
        }
    }
    DummyNode lamp;
    if (o.hasLight) {
        // A light node of the preview's own, standing still at the given position.
        auto* track = new VectorTrack;
        track->allocate(1);
        std::memcpy(track->keys[0].value, o.light, sizeof o.light);
        auto* motion = new Motion;
        motion->position = new VectorBinding(track, &applyPosition);
        linkMotion(motion, &lamp);
        scene->light = &lamp;
    }
    if (!scene->camera) {
        std::fprintf(stderr, "tirtool: %s has no camera, so nothing is drawn\n", name.c_str());
    }
    renderState.startFaceCount();
    renderState.setFadeFactor(1.0f);
    beginPrimitive(GL_TRIANGLES);
    drawScene(scene, static_cast<float>(o.at));
    endPrimitive();
    const std::vector<unsigned char> pixels = gl.readRgb();
    delete scene;
    if (!writePng(o.out, o.width, o.height, 3, pixels)) {
        return 1;
    }
    std::printf("rendered %s at scene time %g, %d faces, %dx%d into %s\n", name.c_str(), o.at,
                drawnFaceCount, o.width, o.height, o.out.c_str());
    return 0;
}

int scene(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--archive" && hasValue) {
            o.archivePath = args[++i];
        } else if (a == "--at" && hasValue) {
            o.render = true;
            if (!parseNumber(args[++i], o.at)) {
                return fail("--at wants a scene time, such as 12.5");
            }
        } else if (a == "--size" && hasValue) {
            o.render = true;
            if (std::sscanf(args[++i].c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width <= 0 ||
                o.height <= 0 || o.width > 8192 || o.height > 8192) {
                return fail("--size wants WIDTHxHEIGHT, such as 640x480");
            }
        } else if (a == "--out" && hasValue) {
            o.render = true;
            o.out = args[++i];
        } else if (a == "--lit") {
            o.lit = true;
        } else if (a == "--light" && hasValue) {
            o.lit = o.hasLight = true;
            if (std::sscanf(args[++i].c_str(), "%f,%f,%f", &o.light[0], &o.light[1], &o.light[2]) !=
                3) {
                return fail("--light wants a position X,Y,Z, such as 0,-100,80");
            }
        } else if (!a.empty() && a[0] != '-' && o.file.empty()) {
            o.file = a;
        } else {
            return usageError("scene");
        }
    }
    if (o.file.empty() || (o.render && o.out.empty())) {
        return usageError("scene");
    }
    if (!checkInputs(o)) {
        return 1;
    }
    if (o.render && writesOverInput(o.out, {o.file, o.archivePath})) {
        return 1;
    }
    const std::string name = registerSources(o);
    if (name.size() > 35) {
        return fail("the scene name \"%s\" is longer than 35 characters", name.c_str());
    }
    if (o.render) {
        sys::preferHeadlessVideo();
        return renderScene(o, name);
    }

    installNullGl();
    sceneState.useTextureLoader(&noTextureLoad);
    Scene* s = loadForTool(name);
    if (!s) {
        return 1;
    }
    const std::string magic = readMagic(name.c_str());
    printScene(*s, magic);
    delete s;
    return 0;
}

// ---- envelopes

int env(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--archive" && hasValue) {
            o.archivePath = args[++i];
        } else if (a == "--step" && hasValue) {
            if (!parseNumber(args[++i], o.step) || o.step <= 0) {
                return fail("--step wants a positive number");
            }
        } else if (a == "--from" && hasValue) {
            o.hasFrom = parseNumber(args[++i], o.from);
            if (!o.hasFrom) {
                return fail("--from wants a time");
            }
        } else if (a == "--to" && hasValue) {
            o.hasTo = parseNumber(args[++i], o.to);
            if (!o.hasTo) {
                return fail("--to wants a time");
            }
        } else if (a == "--scalar") {
            o.kind = 1;
        } else if (a == "--vector") {
            o.kind = 3;
        } else if (!a.empty() && a[0] != '-' && o.file.empty()) {
            o.file = a;
        } else {
            return usageError("env");
        }
    }
    if (o.file.empty()) {
        return usageError("env");
    }
    if (o.hasFrom && o.hasTo && o.from > o.to) {
        return fail("--from %g is after --to %g; the values run from the first time to the "
                    "second",
                    o.from, o.to);
    }
    if (!checkInputs(o)) {
        return 1;
    }
    const std::string name = registerSources(o);
    LoadedFile* file = searchPath.load(name.c_str(), loadFatal);
    const std::string text(static_cast<const char*>(file->lock()), static_cast<size_t>(file->size));
    file->unlock();
    delete file;

    if (o.kind == 0) {
        // A vector key line converts 4 or 7 numbers; a scalar one 2 or 5.
        const char* line = std::strchr(text.c_str(), '\n');
        float v[7];
        const int n = line ? std::sscanf(line + 1, "%*s %f %*s %f %f %f %f %f %f", &v[0], &v[1],
                                         &v[2], &v[3], &v[4], &v[5], &v[6])
                           : 0;
        o.kind = (n == 4 || n == 7) ? 3 : 1;
    }
    const int maxRows = 100000;
    // No key line at all: not an envelope (an envelope's keys are the whole of its use).
    {
        ScalarTrack scalar;
        parseEnvelope(scalar, text.c_str());
        VectorTrack vector;
        parseVectorEnvelope(vector, text.c_str());
        if (scalar.keyCount == 0 && vector.keyCount == 0) {
            return fail("%s holds no key line, so it is no envelope: line 1 names the envelope, "
                        "and each further line is a key such as \"key 1.5 value 0.25\"",
                        name.c_str());
        }
    }
    if (o.kind == 1) {
        ScalarTrack t;
        parseEnvelope(t, text.c_str());
        std::printf("envelope \"%s\" (scalar): %d keys\n", t.name, t.keyCount);
        std::printf("%5s %12s %12s %9s %9s %9s %12s %12s\n", "key", "time", "value", "tension",
                    "contin.", "bias", "in", "out");
        for (int i = 0; i < t.keyCount; ++i) {
            const ScalarKey& k = t.keys[i];
            std::printf("%5d %12g %12g %9g %9g %9g %12g %12g\n", i, double(k.time), double(k.value),
                        double(k.tension), double(k.continuity), double(k.bias),
                        double(k.inTangent), double(k.outTangent));
        }
        if (t.keyCount == 0) {
            return 0;
        }
        const double from = o.hasFrom ? o.from : t.keys[0].time;
        const double to = o.hasTo ? o.to : t.keys[t.lastIndex].time;
        std::printf("\nvalues every %g from %g to %g:\n", o.step, from, to);
        int rows = 0;
        for (double time = from; time <= to + o.step * 1e-6 && rows < maxRows; ++rows) {
            std::printf("%12g %12g\n", time, double(evaluate(t, static_cast<float>(time))));
            time = from + o.step * (rows + 1);
        }
        return 0;
    }
    VectorTrack t;
    parseVectorEnvelope(t, text.c_str());
    std::printf("envelope \"%s\" (vector): %d keys\n", t.name, t.keyCount);
    for (int i = 0; i < t.keyCount; ++i) {
        const VectorKey& k = t.keys[i];
        std::printf("key %d: time %g value (%g, %g, %g) tension %g continuity %g bias %g in (%g, "
                    "%g, %g) out (%g, %g, %g)\n",
                    i, double(k.time), double(k.value[0]), double(k.value[1]), double(k.value[2]),
                    double(k.tension), double(k.continuity), double(k.bias), double(k.inTangent[0]),
                    double(k.inTangent[1]), double(k.inTangent[2]), double(k.outTangent[0]),
                    double(k.outTangent[1]), double(k.outTangent[2]));
    }
    if (t.keyCount == 0) {
        return 0;
    }
    const double from = o.hasFrom ? o.from : t.keys[0].time;
    const double to = o.hasTo ? o.to : t.keys[t.lastIndex].time;
    std::printf("\nvalues every %g from %g to %g:\n", o.step, from, to);
    int rows = 0;
    for (double time = from; time <= to + o.step * 1e-6 && rows < maxRows; ++rows) {
        evaluate(t, static_cast<float>(time));
        std::printf("%12g %12g %12g %12g\n", time, double(t.value[0]), double(t.value[1]),
                    double(t.value[2]));
        time = from + o.step * (rows + 1);
    }
    return 0;
}

CommandRegistration sceneCommand(
    {"scene", "FILE [--archive ARCHIVE] [--at T --size WxH --out FILE.png [--lit] [--light X,Y,Z]]",
     "prints a scene file's meshes, materials, camera and dummy "
     "nodes; with --out renders it headless at scene time T",
     &scene,
     "    FILE      a \".exp\" scene file, read with the textures beside it (and in textures/)\n"
     "    --archive ARCHIVE  look FILE's name up in this tir.val archive first\n"
     "    --at T    the scene time to render at (default 0)\n"
     "    --size WxH  the picture's size, up to 8192x8192 (default 640x480)\n"
     "    --out FILE.png  render the scene into this PNG file instead of printing it\n"
     "    --lit     light the meshes as the effects do: from the scene's light node, or (1, 0, 0)\n"
     "    --light X,Y,Z  light them from a light node of the preview's own at X,Y,Z\n"});
int demo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("scene-demo");
    }
    std::error_code ec;
    fs::create_directories(args[0], ec);
    std::string error;
    if (!writeDemoScene(args[0], error)) {
        return fail("%s", error.c_str());
    }
    std::printf("wrote demo.exp and demo_checker.jpg into %s\n", args[0].c_str());
    return 0;
}

CommandRegistration demoCommand({"scene-demo", "FOLDER",
                                 "writes the example scene demo.exp and its texture into FOLDER",
                                 &demo,
                                 "    FOLDER    made when missing; demo.exp and demo_checker.jpg "
                                 "there are replaced\n"});
CommandRegistration envCommand(
    {"env", "FILE [--archive ARCHIVE] [--step S] [--from T] [--to T] [--scalar|--vector]",
     "prints an envelope's keys with their tangents and its value every S time units", &env,
     "    FILE      an \".env\" envelope file\n"
     "    --archive ARCHIVE  look FILE's name up in this tir.val archive first\n"
     "    --step S  the time between two printed values (default 1)\n"
     "    --from T  the first time printed (default: the first key's)\n"
     "    --to T    the last time printed, not before --from (default: the last key's)\n"
     "    --scalar, --vector  read the keys as one value or as three (default: decided from\n"
     "              the first key line)\n"});

} // namespace