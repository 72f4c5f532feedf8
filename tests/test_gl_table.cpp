// test_gl_table.cpp - loading the GL library by name, the late-call stub, and the text
// overlay's font texture and set-up.
#include <gtest/gtest.h>

#include <cstring>

#include "gfx/gl_api.h"
#include "gfx/text_overlay.h"
#include "gl_recorder.h"
#include "test_support.h"

using namespace testing_support;

TEST(GlTable, LoadsOnceAndUnloadsToLateCallStubs) {
    ASSERT_EQ(std::strcmp(glEntryNames[0], "glAccum"), 0);
    ASSERT_EQ(std::strcmp(glEntryNames[335], "glViewport"), 0);
    ASSERT_EQ(std::strcmp(glEntryNames[336], "wglCopyContext"), 0);
    ASSERT_EQ(std::strcmp(glEntryNames[351], "wglChoosePixelFormat"), 0);
    ASSERT_EQ(loadGl("opengl32.dll"), 0);
    void* library = glTable.library;
    EXPECT_NE(reinterpret_cast<void*>(glBegin), nullptr);
    EXPECT_NE(reinterpret_cast<void*>(wglSwapBuffers), nullptr); // served by the platform
    EXPECT_EQ(loadGl("opengl32.dll"), 1);
    EXPECT_EQ(glTable.library, library);

    void (*const marker)(GLenum) = [](GLenum) {};
    glActiveTextureARB = marker;
    EXPECT_EQ(unloadGl(), 0);
    EXPECT_EQ(unloadGl(), 1);
    for (int i = 0; i < glEntryCount; ++i) {
        EXPECT_EQ(*glEntrySlot(i), glLateStub(i)) << glEntryNames[i];
        EXPECT_EQ(fetchGlEntry(glEntryNames[i]), glLateStub(i)) << glEntryNames[i];
    }
    EXPECT_EQ(glActiveTextureARB, marker); // the extension entries keep their values
    glActiveTextureARB = nullptr;

    // A late call reports itself and never returns as if it had worked.
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([] { glBegin(GL_TRIANGLES); });
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1000);
    EXPECT_NE(
        ::testing::internal::GetCapturedStderr().find("GL function called after deintialization"),
        std::string::npos);
    // An entry that gives back a value ends the process the same way.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(exitCodeOf([] { return static_cast<int>(glGetError()); }), code);
    ::testing::internal::GetCapturedStderr();

    // Loading again after an unload fetches from the library again.
    EXPECT_EQ(loadGl("opengl32.dll"), 0);
    EXPECT_NE(*glEntrySlot(0), glLateStub(0));
    EXPECT_EQ(unloadGl(), 0);
    EXPECT_EQ(loadGl("no-such-library.so.42"), 2);
}

TEST(TextOverlay, GlyphCoordinatesCursorAndBeginState) {
    RecordingGl gl;
    TextOverlay overlay(builtinFont, 16, 1234, 640, 120);
    const GlyphCoordinates& g = overlay.glyphs[33];
    EXPECT_FLOAT_EQ(g.s0, 8.5f / 256);
    EXPECT_FLOAT_EQ(g.s1, 15.5f / 256);
    EXPECT_FLOAT_EQ(g.t0, 16.5f / 256);
    EXPECT_FLOAT_EQ(g.t1, 31.5f / 256);
    EXPECT_EQ(gl.log().find("glGenTextures("), -1); // the name 1234 is used as it is
    EXPECT_GE(gl.log().find("glTexImage2D(3553, 0, 4, 256, 256, 0, 6408, 5121, ptr)"), 0);

    overlay.setCursor(79, 29);
    EXPECT_EQ(overlay.cursorX, 632);
    EXPECT_EQ(overlay.cursorY, 464);
    overlay.setCursor(80, 30);
    EXPECT_EQ(overlay.cursorX, 632);
    EXPECT_EQ(overlay.cursorY, 464);
    overlay.setCursor(-1, 2);
    EXPECT_EQ(overlay.cursorX, 632);
    EXPECT_EQ(overlay.cursorY, 32);

    gl.log().clear();
    overlay.begin();
    EXPECT_EQ(overlay.cursorX, 0);
    const auto& calls = gl.log().calls;
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[calls.size() - 4], "glBindTexture(3553, 1234)");
    EXPECT_EQ(calls[calls.size() - 3], "glEnable(3553)");
    EXPECT_EQ(calls[calls.size() - 2], "glEnable(3042)");
    EXPECT_EQ(calls[calls.size() - 1], "glBlendFunc(770, 771)");
}
