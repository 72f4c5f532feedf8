// test_scene_tool.cpp - tirtool scene and tirtool env on files written by the tests: the printed
// counts match what was written, a damaged file fails with its report, and a headless render
// of the example scene shows the cube.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "scene_test_support.h"
#include "tools/common/archive_writer.h"
#include "tools/common/demo_scene.h"
#include "resources/png_writer.h"

using namespace testing_support;

namespace {

struct SceneTool : ::testing::Test {
    ScratchDir dir{"scenetool"};
    std::string tool;

    void SetUp() override {
#ifdef TIR_BIN_DIR
        tool = std::string(TIR_BIN_DIR) + "/tirtool";
#endif
        if (tool.empty() || !std::filesystem::exists(tool)) {
            GTEST_SKIP() << "tirtool is not built";
        }
    }
    // Runs tirtool with `args`; returns its exit status and fills `out` with stdout + stderr.
    int run(const std::string& args, std::string& out) {
        const std::string log = dir.file("out.txt");
        const std::string command = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" + tool +
                                    "' " + args + " > '" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream f(log);
        out.assign(std::istreambuf_iterator<char>(f), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static bool has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

} // namespace

TEST_F(SceneTool, PrintsWhatTheWriterWrote) {
    scenefile::SceneFile f;
    f.magic = "QUOR";
    scenefile::Material glass = plainMaterial("glass", 3, "base.jpg", "env.jpg");
    glass.twoSided = 1;
    glass.alpha = 0.25f;
    glass.blendType = 1;
    f.chunks.push_back(glass);
    scenefile::Mesh mesh = squareMesh("Panel", 1.0f);
    mesh.id = 12;
    mesh.position = {vkey(0, 0, 0, 0), vkey(1, 0, 0, 0), vkey(2, 0, 0, 0)};
    mesh.rotation = {scenefile::RotationKey{}, scenefile::RotationKey{}};
    f.chunks.push_back(mesh);
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    std::get<scenefile::Camera>(f.chunks.back()).roll = {{0, 0}, {5, 1}, {9, 0}};
    std::string error;
    ASSERT_TRUE(scenefile::writeSceneFile(dir.file("panel.exp"), f, error)) << error;

    std::string out;
    ASSERT_EQ(run("scene '" + dir.file("panel.exp") + "'", out), 0) << out;
    EXPECT_TRUE(has(out, "magic: QUOR")) << out;
    EXPECT_TRUE(has(out, "\"Panel\" id 12: 4 vertices, 4 texture vertices, 2 faces, material 0; "
                         "keys: position 3, rotation 2, scale 1"))
        << out;
    EXPECT_TRUE(has(out, "0 \"glass\": mode 3, two-sided, alpha 0.25, blend type 1, textures "
                         "\"base.jpg\" and \"env.jpg\", routines beginTwoTextures / "
                         "emitTwoTextures"))
        << out;
    EXPECT_TRUE(has(out, "camera \"Camera\": target \"Target\" (found); keys: position 1, field "
                         "of view 1, roll 3"))
        << out;
    EXPECT_TRUE(has(out, "dummy nodes: 1\n  \"Target\" id 50: position keys 1")) << out;
}

TEST_F(SceneTool, ReadsFromAnArchiveAndReportsDamage) {
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 1));
    f.chunks.push_back(squareMesh("Inside", 1.0f));
    std::vector<unsigned char> image;
    std::string error;
    ASSERT_TRUE(scenefile::writeScene(f, image, error)) << error;
    auto broken = image;
    broken.resize(broken.size() - 3);
    ASSERT_TRUE(
        writeArchive(dir.file("data.val"), {{"inside.exp", image}, {"cut.exp", broken}}, error))
        << error;
    std::string out;
    EXPECT_EQ(run("scene inside.exp --archive '" + dir.file("data.val") + "'", out), 0) << out;
    EXPECT_TRUE(has(out, "\"Inside\" id 1: 4 vertices")) << out;
    EXPECT_EQ(run("scene cut.exp --archive '" + dir.file("data.val") + "'", out), 1) << out;
    EXPECT_TRUE(has(out, "The scene file \"cut.exp\" is damaged at byte")) << out;
}

TEST_F(SceneTool, EnvelopePrintsKeysTangentsAndSamples) {
    writeFile(dir.file("fade.env"), std::string("fade\nkey 0 value 0\nkey 10 value 1\nend\n"));
    std::string out;
    ASSERT_EQ(run("env '" + dir.file("fade.env") + "' --step 5", out), 0) << out;
    EXPECT_TRUE(has(out, "envelope \"fade\" (scalar): 2 keys")) << out;
    EXPECT_TRUE(has(out, "values every 5 from 0 to 10:")) << out;
    EXPECT_TRUE(has(out, "           5          0.5")) << out;
    writeFile(dir.file("path.env"), std::string("path\nkey 0 value 1 2 3\nkey 4 value 5 6 7\n"));
    ASSERT_EQ(run("env '" + dir.file("path.env") + "' --step 4", out), 0) << out;
    EXPECT_TRUE(has(out, "(vector): 2 keys")) << out;
    EXPECT_TRUE(has(out, "out (4, 4, 4)")) << out;
}

TEST_F(SceneTool, RendersTheExampleScene) {
    std::string out;
    ASSERT_EQ(run("scene-demo '" + dir.path.string() + "'", out), 0) << out;
    const int code = run("scene '" + dir.file("demo.exp") + "' --at 30 --size 160x120 --out '" +
                             dir.file("demo.png") + "'",
                         out);
    if (code != 0 && has(out, "no GL context")) {
        GTEST_SKIP() << out;
    }
    ASSERT_EQ(code, 0) << out;
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(readPng(dir.file("demo.png"), w, h, rgba));
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    // The cube fills the middle of the picture: orange or white checks, not the black clear
    // colour, and the floor's blue shows below it.
    const auto pixel = [&](int x, int y) { return &rgba[static_cast<size_t>((y * w + x) * 4)]; };
    const unsigned char* centre = pixel(80, 60);
    EXPECT_GT(centre[0], 200) << int(centre[0]) << " " << int(centre[1]) << " " << int(centre[2]);
    const unsigned char* floor = pixel(20, 110);
    EXPECT_GT(floor[2], 150);
    EXPECT_LT(floor[0], 100);
}
