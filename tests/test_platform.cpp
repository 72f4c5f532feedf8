// test_platform.cpp - the window procedure's message semantics over SDL, the virtual counter,
// a real GL context through the entry-point table, and the players' command-line behaviour.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "forge_test_support.h"
#include "test_support.h"
#include "tools/common/archive_writer.h"
#include "resources/png_writer.h"

using namespace testing_support;

namespace {

std::vector<unsigned> seen;

intptr_t recordingProc(sys::Window*, unsigned message, uintptr_t, intptr_t) {
    seen.push_back(message);
    return 0;
}

void drain() {
    sys::Message m;
    while (sys::peekMessage(m)) {
    }
}

} // namespace

TEST(Platform, CreateIsSynchronousPaintsCoalesceAndQuitCarriesItsCode) {
    sys::preferHeadlessVideo();
    seen.clear();
    int param = 7;
    sys::Window* w = sys::createWindow("t", 0, 0, 16, 16, &recordingProc, &param);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], unsigned(sys::WM_CREATE));
    drain();
    seen.clear();

    // Three invalidations before the queue is read give one paint, after posted messages.
    sys::redrawWindow(w);
    sys::redrawWindow(w);
    sys::postMessage(w, sys::WM_KEYDOWN, sys::VK_DOWN);
    sys::redrawWindow(w);
    sys::Message m;
    ASSERT_TRUE(sys::peekMessage(m));
    EXPECT_EQ(m.message, unsigned(sys::WM_KEYDOWN));
    EXPECT_EQ(m.wParam, uintptr_t(sys::VK_DOWN));
    ASSERT_TRUE(sys::peekMessage(m));
    EXPECT_EQ(m.message, unsigned(sys::WM_PAINT));
    EXPECT_FALSE(sys::peekMessage(m));

    sys::postQuitMessage(3);
    ASSERT_TRUE(sys::peekMessage(m));
    EXPECT_EQ(m.message, unsigned(sys::WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);

    sys::postMessage(w, sys::WM_CLOSE);
    sys::destroyWindow(w); // WM_DESTROY is sent at once; messages queued for the window go
    EXPECT_EQ(seen.back(), unsigned(sys::WM_DESTROY));
    EXPECT_FALSE(sys::peekMessage(m));
}

TEST(Platform, VirtualCounterReplacesTheRealOne) {
    sys::VirtualCounter c;
    c.now = 123;
    c.frequency = 1000;
    sys::useVirtualCounter(&c);
    EXPECT_EQ(sys::performanceCounter(), 123);
    EXPECT_EQ(sys::performanceFrequency(), 1000);
    sys::sleepMilliseconds(2000); // virtual time moves instead of the wall clock
    EXPECT_EQ(sys::performanceCounter(), 2123);
    sys::useVirtualCounter(nullptr);
    EXPECT_GT(sys::performanceFrequency(), 1000);
}

TEST(Platform, NativePathsUseThisPlatformsSeparator) {
    EXPECT_EQ(sys::nativePath(".\\textures\\a.jpg"), "./textures/a.jpg");
    EXPECT_EQ(sys::nativePath("plain"), "plain");
}

// A real context on the headless driver: the pixel format, the context through the WGL names,
// a clear and a read-back through the table.
TEST(Platform, RealContextClearsAndReadsBack) {
    sys::preferHeadlessVideo();
    ASSERT_EQ(loadGl("opengl32.dll") < 2, true);
    auto proc = [](sys::Window*, unsigned, uintptr_t, intptr_t) -> intptr_t { return 0; };
    sys::Window* w = sys::createWindow("gl", 0, 0, 64, 48, proc, nullptr);
    RenderContext context(w, 32, 8);
    if (context.createResult != 0) {
        sys::destroyWindow(w);
        unloadGl();
        GTEST_SKIP() << "no GL context on this machine";
    }
    EXPECT_EQ(context.depthBits, 8);
    EXPECT_EQ(wglGetCurrentContext(), context.glContext);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    EXPECT_NE(std::strstr(extensions, "GL_ARB_multitexture"), nullptr);
    EXPECT_NE(wglGetProcAddress("glActiveTextureARB"), nullptr);

    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_EQ(pixel[2], 0);
    context.present(w);

    EXPECT_EQ(context.release(), 0);
    EXPECT_EQ(context.release(), 1);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    sys::destroyWindow(w);
    unloadGl();
}

// The release player's frame logic through the capture program, on a data folder of its own.
TEST(Capture, RendersAFrameAndRefusesTimesPastTheEnd) {
    ScratchDir dir("capture");
    std::string error;
    ASSERT_TRUE(writeArchive(dir.file("tir.val"), forgedEntries(), error)) << error;
    const std::string capture = std::string(TIR_BIN_DIR) + "/capture";
    const std::string out = dir.file("frame.png");
    const std::string cmd = "SDL_VIDEODRIVER=offscreen " + capture + " --data " +
                            dir.path.string() + " --at 12.5 --size 160x120 --out " + out + " > " +
                            dir.file("log") + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readText(dir.file("log"));
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(readPng(out, width, height, rgba));
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    // The opening's scene, pictures and sprites are on screen.
    size_t lit = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        lit += rgba[i] + rgba[i + 1] + rgba[i + 2] > 30;
    }
    EXPECT_GT(lit, rgba.size() / 4 / 10);
    const auto log = readFile(dir.file("log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("12.500"), std::string::npos);

    const std::string late = capture + " --data " + dir.path.string() +
                             " --at 190 --size 8x8 --out " + out + " 2>/dev/null";
    EXPECT_NE(std::system(late.c_str()), 0);
}

TEST(Player, MissingDataEndsWithFileNotFoundAndAFailureCode) {
    ScratchDir dir("player");
    const std::string cmd = "cd " + dir.path.string() +
                            " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                            std::string(TIR_BIN_DIR) + "/player > log 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_NE(status, 0);
    const auto log = readFile(dir.file("log"));
    const std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("FILE ERROR : No archive file!!! tir.val"), std::string::npos) << text;
    // The archive is looked for before anything else: one cause, one report, with the way to
    // make the data, and no file is asked for after it.
    EXPECT_NE(text.find("make the default data"), std::string::npos) << text;
    EXPECT_EQ(text.find("FILE NOT FOUND"), std::string::npos) << text;
}

TEST(Player, EmptySynchronisationEnvelopeIsAClearFatalError) {
    ScratchDir dir("player-env");
    std::string error;
    const std::string env = "mystified\nend of keys\n";
    ASSERT_TRUE(
        writeArchive(dir.file("tir.val"), {{"mystified.env", {env.begin(), env.end()}}}, error));
    // No audio device: the music stays silent and the envelope is the first file read.
    const std::string cmd = "cd " + dir.path.string() +
                            " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=no-such-driver " +
                            std::string(TIR_BIN_DIR) + "/player > log 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    const auto log = readFile(dir.file("log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("\"mystified.env\" has no keys"),
              std::string::npos);
}

TEST(Tirtool, PackListAndUnpackRoundTrip) {
    ScratchDir dir("tirtool");
    writeFile(dir.file("Scene.EXP"), std::string("KEXP\0\0\0\0 scene bytes", 20));
    writeFile(dir.file("photo.jpg"), std::string("\xFF\xD8\xFF jpeg bytes"));
    writeFile(dir.file("note.env"), std::string("fade\nkey 0 value 1\n"));
    const std::string tool = std::string(TIR_BIN_DIR) + "/tirtool";
    const std::string d = dir.path.string();
    ASSERT_EQ(std::system((tool + " pack " + d + "/tir.val " + d + "/Scene.EXP " + d +
                           "/photo.jpg " + d + "/note.env > /dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(std::system((tool + " list " + d + "/tir.val > " + d + "/list.txt").c_str()), 0);
    const auto listing = readFile(dir.file("list.txt"));
    const std::string text(listing.begin(), listing.end());
    EXPECT_NE(text.find("PHOTO.JPG"), std::string::npos);
    EXPECT_NE(text.find("plain"), std::string::npos);
    EXPECT_NE(text.find("SCENE.EXP                                20         20  scrambled"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("3 entries"), std::string::npos);
    ASSERT_EQ(std::system((tool + " unpack " + d + "/tir.val " + d + "/out > /dev/null").c_str()),
              0);
    EXPECT_EQ(readFile(dir.file("out/SCENE.EXP")), readFile(dir.file("Scene.EXP")));
    EXPECT_EQ(readFile(dir.file("out/PHOTO.JPG")), readFile(dir.file("photo.jpg")));
    EXPECT_EQ(readFile(dir.file("out/NOTE.ENV")), readFile(dir.file("note.env")));
    EXPECT_NE(std::system((tool + " list " + d + "/missing.val 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((tool + " frobnicate 2>/dev/null").c_str()), 0);
}
