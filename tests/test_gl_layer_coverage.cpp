// test_gl_layer_coverage.cpp - what the GL layer serves. Every name the entry-point table
// fetches is either served by the layer, served by the platform (the WGL names), or on the
// short list of parts of GL 1.1 the layer leaves out, each with its reason; every GL function
// the program's own code calls is served; and a call the layer does not serve stops the program
// with a message that names it, the first time it is made.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/gl_api.h"
#include "gl_layer_test_support.h"
#include "platform/fatal.h"
#include "platform/gl11/gl11.h"
#include "test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The parts of GL 1.1 the layer leaves out: names (a trailing * matches any ending) and why.
struct Omission {
    std::vector<std::string> names;
    const char* reason;
};
const Omission omissions[] = {
    {{"glAccum", "glClearAccum"}, "accumulation buffer: ES has none and the demo uses none"},
    {{"glCallList*", "glDeleteLists", "glEndList", "glGenLists", "glIsList", "glListBase",
      "glNewList"},
     "display lists: the demo draws everything in immediate mode"},
    {{"glEvalCoord*", "glEvalMesh*", "glEvalPoint*", "glMap1*", "glMap2*", "glMapGrid*",
      "glGetMap*"},
     "evaluators: the patch surfaces are tessellated by the demo itself"},
    {{"glFeedbackBuffer", "glSelectBuffer", "glRenderMode", "glInitNames", "glLoadName",
      "glPushName", "glPopName", "glPassThrough"},
     "selection and feedback: nothing is picked"},
    {{"glIndex*", "glClearIndex"}, "colour-index mode: the demo asks for RGBA only"},
    {{"glLight*", "glMaterial*", "glColorMaterial", "glGetLight*", "glGetMaterial*"},
     "lighting: the demo turns it off and lights its vertices itself"},
    {{"glFog*"}, "fog: never turned on"},
    {{"glTexGen*", "glGetTexGen*"}, "texture coordinate generation: the demo computes its own"},
    {{"glTexImage1D", "glTexSubImage1D", "glCopyTexImage1D", "glCopyTexSubImage1D"},
     "one-dimensional textures: every texture is two-dimensional"},
    {{"glBitmap", "glDrawPixels", "glCopyPixels", "glPixelMap*", "glGetPixelMap*",
      "glPixelTransfer*", "glPixelZoom", "glRasterPos*"},
     "pixel rectangles: the text overlay draws textured quads"},
    {{"glArrayElement", "glColorPointer", "glDisableClientState", "glDrawArrays", "glDrawElements",
      "glEdgeFlagPointer", "glEnableClientState", "glGetPointerv", "glInterleavedArrays",
      "glNormalPointer", "glTexCoordPointer", "glVertexPointer", "glPushClientAttrib",
      "glPopClientAttrib"},
     "vertex arrays: the demo draws in immediate mode"},
    {{"glPointSize", "glLineWidth", "glLineStipple", "glPolygonMode", "glEdgeFlag*",
      "glPolygonStipple", "glGetPolygonStipple"},
     "points, lines and polygon modes: the demo fills triangles and quads only"},
    {{"glClipPlane", "glGetClipPlane"}, "user clip planes: never used"},
    {{"glPushAttrib", "glPopAttrib"}, "attribute stack: every part sets the state it needs"},
    {{"glLogicOp"}, "logic operations: ES has none and the demo blends instead"},
    {{"glGetTexImage"}, "reading textures back: ES cannot, and the demo never does"},
};

const Omission* omissionOf(const std::string& name) {
    for (const Omission& o : omissions) {
        for (const std::string& pattern : o.names) {
            const bool prefix = !pattern.empty() && pattern.back() == '*';
            const std::string stem = prefix ? pattern.substr(0, pattern.size() - 1) : pattern;
            if (prefix ? name.compare(0, stem.size(), stem) == 0 : name == stem) {
                return &o;
            }
        }
    }
    return nullptr;
}

// The names the table fetches: its 352 by-name entries and the three multitexture entries.
std::vector<std::string> fetchedNames() {
    std::vector<std::string> names(glEntryNames, glEntryNames + glEntryCount);
    names.insert(names.end(),
                 {"glActiveTextureARB", "glMultiTexCoord2fARB", "glMultiTexCoord2fvARB"});
    return names;
}

// Every GL function named in a call in the program's own sources (not the tests).
std::set<std::string> calledNames() {
    const std::set<std::string> fetched = [] {
        const auto v = fetchedNames();
        return std::set<std::string>(v.begin(), v.end());
    }();
    const std::regex call("\\b(w?gl[A-Z][A-Za-z0-9]*)\\s*\\(");
    std::set<std::string> called;
    for (const char* folder :
         {"app", "effects", "gfx", "resources", "scene", "timeline", "tools"}) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(TIR_SOURCE_DIR) / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h") {
                continue;
            }
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            const std::string s = text.str();
            for (std::sregex_iterator m(s.begin(), s.end(), call), end; m != end; ++m) {
                if (fetched.count((*m)[1])) {
                    called.insert((*m)[1]);
                }
            }
        }
    }
    return called;
}

} // namespace

TEST(GlLayerCoverage, EveryFetchedNameIsServedOrAKnownOmission) {
    int served = 0, platform = 0, omitted = 0;
    for (const std::string& name : fetchedNames()) {
        const bool byLayer = gl11::serves(name.c_str());
        const Omission* omission = omissionOf(name);
        if (name.rfind("wgl", 0) == 0) {
            // The platform serves the WGL names whichever GL library is chosen.
            EXPECT_NE(sys::wglEntry(name.c_str()), nullptr) << name;
            EXPECT_EQ(gl11::procAddress(name.c_str()), nullptr) << name;
            ++platform;
            continue;
        }
        EXPECT_NE(gl11::procAddress(name.c_str()), nullptr) << name << " has no function at all";
        EXPECT_TRUE(byLayer || omission) << name << " is neither served nor a known omission";
        EXPECT_FALSE(byLayer && omission)
            << name << " is served, yet listed as left out (" << omission->reason << ")";
        served += byLayer;
        omitted += omission != nullptr && !byLayer;
    }
    EXPECT_EQ(platform, 16);
    EXPECT_EQ(served + omitted, 336 + 3);
    EXPECT_GT(served, 150); // every variant of the immediate-mode calls, not only the ones used
    std::cout << served << " names served by the layer, " << omitted << " left out, " << platform
              << " by the platform\n";
}

TEST(GlLayerCoverage, EveryFunctionTheProgramCallsIsServed) {
    const std::set<std::string> called = calledNames();
    // The scan finds the program's calls: the emboss's combiners, the frame loop's overlay.
    for (const char* name : {"glTexEnvi", "glTexEnvf", "glPushMatrix", "glReadPixels",
                             "glGetFloatv", "glMultiTexCoord2fARB", "wglSwapBuffers"}) {
        EXPECT_TRUE(called.count(name)) << name << " was not found in the sources";
    }
    for (const std::string& name : called) {
        if (name.rfind("wgl", 0) == 0) {
            continue;
        }
        EXPECT_TRUE(gl11::serves(name.c_str())) << name << " is called by the program";
    }
}

TEST(GlLayerCoverage, AnUnservedCallStopsTheProgramNamingIt) {
    PathContext context(GlPath::layer, 16, 16);
    ASSERT_TRUE(context.open) << context.error;
    struct Case {
        std::function<void()> call;
        const char* named;
    };
    const Case cases[] = {
        {[] { glAccum(GL_LOAD, 1.0f); }, "glAccum"},
        {[] { glCallList(1); }, "glCallList"},
        {[] { glEnable(GL_LIGHTING); }, "lighting"},
        {[] { glBegin(GL_LINES); }, "points and lines"},
        {[] { glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP); }, "border colour"},
        {[] {
             float m[16];
             glGetFloatv(GL_FOG_COLOR, m);
         },
         "glGetFloatv(0x0B66)"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf(c.call);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, sys::fatalExitCode) << c.named;
        EXPECT_NE(err.find(c.named), std::string::npos) << err;
        EXPECT_NE(err.find("GL layer"), std::string::npos) << err;
    }
    // Served calls go on working after a stopped one was caught.
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
