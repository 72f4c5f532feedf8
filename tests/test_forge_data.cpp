// test_forge_data.cpp - the default data set: every file the demo loads is in the archive, the
// scenes have what their parts reach for, the envelopes are keyed where they are read, the
// pictures decode at power-of-two sizes, and the generator's output does not vary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "forge_test_support.h"
#include "gl_recorder.h"
#include "scene/materials.h"
#include "resources/textures.h"
#include "gfx/render_state.h"
#include "scene/scene.h"
#include "scene/scene_state.h"
#include "scene/track.h"
#include "tools/common/data_manifest.h"

using namespace testing_support;

namespace {

std::vector<std::string>& loadedTextures() {
    static std::vector<std::string> names;
    return names;
}

int recordTexture(const char* name) {
    loadedTextures().push_back(name);
    return 100 + static_cast<int>(loadedTextures().size());
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

struct LoadedScene {
    std::unique_ptr<Scene> scene;
    std::string magic;
    std::vector<MeshObject*> meshes;
    std::vector<Material*> materials;
};

LoadedScene load(const std::string& name) {
    LoadedScene s;
    s.scene = std::make_unique<Scene>(name.c_str());
    loadScene(s.scene.get());
    s.magic = sceneState.fileMagic();
    for (MeshObject* m = s.scene->firstMesh; m; m = m->next) {
        s.meshes.push_back(m);
    }
    for (int i = 0; i < s.scene->materials->count; ++i) {
        s.materials.push_back(s.scene->materials->items[i]);
    }
    return s;
}

struct SceneNeeds {
    const char* file;
    size_t meshes;
    size_t materials;
};

// The most meshes and materials each part reaches for by index.
const SceneNeeds sceneNeeds[] = {
    {"beginning.exp", 5, 2},  {"boxical.exp", 1, 1},    {"boxical4.exp", 1, 1},
    {"check.exp", 1, 1},      {"energy.exp", 1, 1},     {"spherical.exp", 1, 3},
    {"credits.exp", 1, 7},    {"design_bw.exp", 1, 1},  {"clock.exp", 1, 1},
    {"bubblebath.exp", 1, 1}, {"faceted.exp", 1, 1},    {"faceted2.exp", 1, 1},
    {"shite1.exp", 4, 2},     {"design_bw2.exp", 1, 1}, {"woah3.exp", 3, 2},
    {"end.exp", 1, 1},
};

struct ForgedScenes : ForgedData {
    RecordingGl gl; // cameras load their projection while they are read

    void SetUp() override {
        ForgedData::SetUp();
        loadedTextures().clear();
        sceneState.useTextureLoader(&recordTexture);
    }
    void TearDown() override {
        sceneState.useTextureLoader(&loadTexture);
        ForgedData::TearDown();
    }
};

bool sameMatrix(const float* a, const float* b) {
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a[i] - b[i]) > 1e-3f * (1.0f + std::fabs(a[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(ForgedScenes, ArchiveHoldsEveryFileTheDemoLoads) {
    std::set<std::string> wanted;
    for (const std::string& name : manifest::distinctNames()) {
        wanted.insert(name);
    }
    for (const SceneNeeds& n : sceneNeeds) {
        load(n.file);
    }
    for (const std::string& t : loadedTextures()) {
        wanted.insert(t);
    }
    EXPECT_GT(loadedTextures().size(), 20u);
    for (const std::string& name : wanted) {
        EXPECT_NE(source->lookup(name.c_str(), true), nullptr) << name;
    }
    // Both spellings the parts use for the tunnel's envelope find the one entry.
    EXPECT_EQ(source->lookup("Napierdalanie2.env", true),
              source->lookup("napierdalanie2.env", true));
    // JPEGs are stored plain (read as streams), everything else scrambled.
    for (int i = 0; i < source->entryCount(); ++i) {
        const ArchiveEntry* e = &source->entry(i);
        FILE* f = searchPath.openStream(e->name.c_str(), loadFatal);
        unsigned char head[2] = {};
        ASSERT_EQ(std::fread(head, 1, 2, f), 2u);
        std::fclose(f);
        const bool jpeg = e->name.find(".JPG") != std::string::npos;
        EXPECT_EQ(jpeg, head[0] == 0xFF && head[1] == 0xD8) << e->name;
    }
}

TEST_F(ForgedScenes, ScenesHaveWhatTheirPartsUse) {
    for (const SceneNeeds& n : sceneNeeds) {
        SCOPED_TRACE(n.file);
        LoadedScene s = load(n.file);
        ASSERT_GE(s.meshes.size(), n.meshes);
        ASSERT_GE(s.materials.size(), n.materials);
        ASSERT_NE(s.scene->camera, nullptr);
        EXPECT_NE(s.scene->camera->target, nullptr);
        for (MeshObject* m : s.meshes) {
            EXPECT_LT(m->materialIndex, static_cast<int>(s.materials.size())) << m->name;
            EXPECT_GT(m->faceCount, 0) << m->name;
        }
        for (Material* m : s.materials) {
            EXPECT_NE(m->emit, nullptr) << m->name; // every material has a drawing routine
        }
    }
    // The wobbling scene: material 1 has two textures in the file, so it gets the two-texture
    // routine; material 0 is textured, so the texture the part puts in is drawn.
    LoadedScene shite = load("shite1.exp");
    EXPECT_GT(shite.materials[1]->texture0, 0);
    EXPECT_GT(shite.materials[1]->texture1, 0);
    EXPECT_GT(shite.materials[0]->texture0, 0);
    // Credits: material 6 is textured (it scrolls).
    EXPECT_GT(load("credits.exp").materials[6]->texture0, 0);
    // The layered scene's names, and echo layers that draw a flat colour.
    LoadedScene woah = load("woah3.exp");
    std::map<std::string, MeshObject*> byName;
    for (MeshObject* m : woah.meshes) {
        byName[m->name] = m;
    }
    for (const char* name : {"Original", "LWO01", "LWO02", "LWO03", "LWO04"}) {
        ASSERT_TRUE(byName.count(name)) << name;
    }
    EXPECT_EQ(byName["LWO01"]->material->texture0, -1);
    EXPECT_GT(byName["Original"]->material->texture0, 0);
    // The backdrop: some meshes are drawn by the "Qua" name filter, some are not.
    int qua = 0, other = 0;
    for (MeshObject* m : load("design_bw2.exp").meshes) {
        (std::strstr(m->name, "Qua") ? qua : other)++;
    }
    EXPECT_GE(qua, 2);
    EXPECT_GE(other, 1);
}

TEST_F(ForgedScenes, BoxScenesLoopEveryHundredUnits) {
    for (const char* file : {"boxical.exp", "boxical4.exp"}) {
        SCOPED_TRACE(file);
        LoadedScene s = load(file);
        std::vector<SceneNode*> nodes(s.meshes.begin(), s.meshes.end());
        nodes.push_back(s.scene->camera);
        nodes.push_back(s.scene->camera->target);
        for (SceneNode* node : nodes) {
            float at0[16], at100[16], at50[16];
            updateMotion(node->motion, 0);
            std::memcpy(at0, node->matrix, sizeof at0);
            updateMotion(node->motion, 100);
            std::memcpy(at100, node->matrix, sizeof at100);
            updateMotion(node->motion, 50);
            std::memcpy(at50, node->matrix, sizeof at50);
            EXPECT_TRUE(sameMatrix(at0, at100));
        }
    }
}

// Across all scenes: every shading mode, every texture arrangement, both blend types, both
// magics, and animated camera lenses.
TEST_F(ForgedScenes, ScenesTogetherUseEveryFeature) {
    std::set<int> modes, routines;
    int quorAdditive = 0, blended = 0, shapedKeys = 0, scaleTracks = 0, lensTracks = 0,
        rollTracks = 0;
    for (const SceneNeeds& n : sceneNeeds) {
        LoadedScene s = load(n.file);
        bool additive = false;
        for (Material* m : s.materials) {
            modes.insert(m->mode);
            const int key =
                (m->mode == 1 ? 1 : 2) + (m->texture0 > 0 ? 16 : 0) + (m->texture1 > 0 ? 32 : 0);
            routines.insert(key);
            additive = additive || m->blendType == 1;
            blended += m->alpha < 1.0f;
        }
        quorAdditive += s.magic == "QUOR" && additive;
        for (MeshObject* m : s.meshes) {
            auto* position = static_cast<VectorBinding*>(m->motion->position);
            auto* rotation = static_cast<RotationBinding*>(m->motion->rotation);
            auto* scale = static_cast<VectorBinding*>(m->motion->scale);
            scaleTracks += scale && scale->track->keyCount > 1;
            for (int k = 0; position && k < position->track->keyCount; ++k) {
                shapedKeys += position->track->keys[k].tension != 0 ||
                              position->track->keys[k].continuity != 0 ||
                              position->track->keys[k].bias != 0;
            }
            for (int k = 0; rotation && k < rotation->track->keyCount; ++k) {
                shapedKeys +=
                    rotation->track->keys[k].continuity != 0 || rotation->track->keys[k].bias != 0;
            }
        }
        int hooks = 0;
        for (TrackHook* h = s.scene->camera->motion->hooks; h; h = h->next, ++hooks) {
            const bool moving = h->data->track->keyCount > 1;
            (hooks == 0 ? lensTracks : rollTracks) += moving;
        }
    }
    EXPECT_EQ(modes, (std::set<int>{1, 2, 3, 4}));
    EXPECT_EQ(routines, (std::set<int>{1, 2, 17, 18, 34, 49, 50}));
    EXPECT_GE(quorAdditive, 2);
    EXPECT_GT(blended, 0);
    EXPECT_GT(shapedKeys, 0);
    EXPECT_GT(scaleTracks, 0);
    EXPECT_GT(lensTracks, 0);
    EXPECT_GT(rollTracks, 0);
}

TEST_F(ForgedData, EnvelopesAreKeyedWhereTheyAreRead) {
    int plainLines = 0, shapedLines = 0;
    for (const std::string& name : manifest::distinctNames()) {
        if (name.find(".env") == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(name);
        const std::string body = text(name);
        ASSERT_FALSE(body.empty());
        EXPECT_NE(body.find("\nend envelope\n"), std::string::npos); // the closing line
        int lines = 0;
        for (size_t at = body.find("\nkey "); at != std::string::npos;
             at = body.find("\nkey ", at + 1)) {
            ++lines;
            const std::string line = body.substr(at + 1, body.find('\n', at + 1) - at - 1);
            const long words = std::count(line.begin(), line.end(), ' ') + 1;
            const bool vector = line.find(" xyz ") != std::string::npos;
            (words == (vector ? 6 : 4) ? plainLines : shapedLines)++;
        }
        if (name == "bubble.env" || name == "tirvaltext_pos.env") {
            VectorTrack track;
            parseVectorEnvelope(track, body.c_str());
            EXPECT_EQ(track.keyCount, lines);
        } else {
            ScalarTrack track;
            parseEnvelope(track, body.c_str());
            EXPECT_EQ(track.keyCount, lines);
        }
    }
    EXPECT_GT(plainLines, 0);
    EXPECT_GT(shapedLines, 0);

    // The opening's brightness stays in 0..1, starts dark and reaches full.
    ScalarTrack alpha;
    parseEnvelope(alpha, text("alpha_circle.env").c_str());
    float highest = 0;
    for (float t = 0; t <= 22; t += 0.05f) {
        const float a = evaluate(alpha, t);
        EXPECT_GE(a, -0.02f) << t;
        EXPECT_LE(a, 1.05f) << t;
        highest = std::max(highest, a);
    }
    EXPECT_LT(evaluate(alpha, 0), 0.05f);
    EXPECT_GT(highest, 0.98f);
    // The end of the introduction: nothing before 15 s, complete by 21.5 s.
    ScalarTrack intro;
    parseEnvelope(intro, text("koniec_intra.env").c_str());
    EXPECT_NEAR(evaluate(intro, 10), 0, 0.5f);
    EXPECT_NEAR(evaluate(intro, 14.9f), 0, 0.5f);
    EXPECT_GT(evaluate(intro, 21.5f), 99.0f);
    // The pounding envelopes pulse between 0 and at most 1 where they are read.
    for (const char* name : {"napierdalanie.env", "napierdalanie2.env"}) {
        ScalarTrack p;
        parseEnvelope(p, text(name).c_str());
        int rises = 0;
        float previous = evaluate(p, 69.753f), low = 1, high = 0;
        bool rising = false;
        for (float t = 69.753f; t < 86.0f; t += 0.02f) {
            const float v = evaluate(p, t);
            low = std::min(low, v);
            high = std::max(high, v);
            if (v > previous && !rising) {
                ++rises;
            }
            rising = v > previous;
            previous = v;
        }
        EXPECT_GE(low, -0.1f) << name;
        EXPECT_LE(high, 1.0f) << name;
        EXPECT_GT(high, 0.5f) << name;
        EXPECT_GT(rises, 25) << name; // about two pulses a second
    }
}

TEST_F(ForgedData, PicturesDecodeAtPowerOfTwoSizes) {
    auto powerOfTwo = [](uint32_t n) { return n >= 16 && (n & (n - 1)) == 0; };
    std::map<std::string, std::pair<uint32_t, uint32_t>> sizes;
    for (const std::string& name : manifest::namesOfKind(manifest::FileKind::Picture)) {
        SCOPED_TRACE(name);
        Image* image = decodeJpeg(name.c_str());
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(powerOfTwo(image->width) && powerOfTwo(image->height));
        double sum = 0;
        for (size_t i = 0; i < static_cast<size_t>(image->width) * image->height * 3; ++i) {
            sum += image->pixels[i];
        }
        EXPECT_GT(sum / (image->width * image->height * 3.0), 3.0); // not black
        sizes[upper(name)] = {image->width, image->height};
        delete image;
    }
    EXPECT_GE(sizes["VSZ_D2.JPG"].first, 2 * sizes["VSZ_D2.JPG"].second); // a panorama
    // Alpha files hold one byte per pixel of their colour picture, with soft edges.
    const std::pair<const char*, const char*> pairs[] = {{"D1_Tirval2.jpg", "D1_TirvalAlpha.tga"},
                                                         {"D1_Face.jpg", "D1_FaceAlpha.tga"},
                                                         {"D1_Circle2.jpg", "D1_CircleAlpha.tga"},
                                                         {"bump.jpg", "bump.raw"}};
    for (const auto& [colour, alpha] : pairs) {
        SCOPED_TRACE(alpha);
        const auto [w, h] = sizes[upper(colour)];
        const std::vector<unsigned char> a = entry(alpha);
        EXPECT_EQ(a.size(), static_cast<size_t>(w) * h);
        std::set<unsigned char> levels(a.begin(), a.end());
        EXPECT_GT(levels.size(), 64u);
    }
    // The scenes' raw texture: 256 x 256 RGB bytes.
    EXPECT_EQ(entry("grid.raw").size(), 256u * 256u * 3u);
}

// The run's forged data set (forged once for every test) and a second run here.
TEST(Forge, RunsTwiceToTheSameBytes) {
    if (forgeTool().empty()) {
        GTEST_SKIP() << "forge is not built";
    }
    const ForgedDataSet& a = forgedDataSet();
    ASSERT_TRUE(a.made) << a.log;
    ScratchDir b("forge-b");
    ASSERT_EQ(runForge("--out '" + b.path.string() + "' --keep-files", b.file("log")), 0);
    const std::vector<unsigned char> first = readFile(a.dir->file("tir.val"));
    EXPECT_GT(first.size(), 1000000u);
    EXPECT_TRUE(first == readFile(b.file("tir.val")));
    // --keep-files also leaves the loose files.
    EXPECT_TRUE(std::filesystem::exists(b.file("files/mystified.xm")));
    EXPECT_TRUE(std::filesystem::exists(b.file("files/beginning.exp")));
}

// Forge draws from fixed seeds in code whose results do not depend on the compiler (random
// draws never share one expression), so whatever built it, every entry is the one the golden
// frames were made from: tests/golden/forged-entries.sha256, which `make golden` writes.
TEST(Forge, EveryEntryIsTheOneTheGoldenFramesWereMadeFrom) {
    const std::string tirtool = std::string(TIR_BIN_DIR) + "/tirtool";
    if (forgeTool().empty() || !std::filesystem::exists(tirtool)) {
        GTEST_SKIP() << "forge and tirtool are not built";
    }
    const ForgedDataSet& forged = forgedDataSet();
    ASSERT_TRUE(forged.made) << forged.log;
    ScratchDir work("forge-digests");
    const std::string command = "'" + tirtool + "' unpack '" + forged.dir->file("tir.val") + "' '" +
                                work.file("files") + "' > /dev/null && cd '" + work.file("files") +
                                "' && sha256sum * > '" + work.file("digests") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // name -> digest, from sha256sum's "DIGEST  NAME" lines.
    auto digests = [](const std::string& text) {
        std::map<std::string, std::string> byName;
        std::istringstream lines(text);
        std::string digest, name;
        while (lines >> digest >> name) {
            byName[name] = digest;
        }
        return byName;
    };
    const auto golden =
        digests(readText(std::string(TIR_SOURCE_DIR) + "/tests/golden/forged-entries.sha256"));
    const auto made = digests(readText(work.file("digests")));
    ASSERT_GE(golden.size(), 20u)
        << "tests/golden/forged-entries.sha256 is missing: run make golden";
    for (const auto& [name, digest] : golden) {
        const auto found = made.find(name);
        if (found == made.end()) {
            ADD_FAILURE() << name << " is no longer forged";
        } else {
            EXPECT_EQ(found->second, digest) << name << " differs from the golden frames' data";
        }
    }
    for (const auto& [name, digest] : made) {
        EXPECT_TRUE(golden.count(name)) << name << " is new: run make golden after a look";
    }
}

TEST(Forge, RefusesBadArguments) {
    if (forgeTool().empty()) {
        GTEST_SKIP() << "forge is not built";
    }
    ScratchDir d("forge-args");
    EXPECT_EQ(runForge("", d.file("log")), 2);
    EXPECT_EQ(runForge("--out", d.file("log")), 2);
    EXPECT_EQ(runForge("--out x --bogus", d.file("log")), 2);
    writeFile(d.file("plain"), std::string("a file, not a folder"));
    EXPECT_EQ(runForge("--out '" + d.file("plain") + "'", d.file("log")), 1);
    EXPECT_NE(ForgedData::readFileText(d.file("log")).find("forge: "), std::string::npos);
}
