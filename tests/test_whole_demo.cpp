// test_whole_demo.cpp - the release player's frame loop over the whole demo, 0 to 186.5 s at ten
// frames per second of demo time on a virtual counter, with real GL (offscreen llvmpipe): no
// frame may leave a GL error or an open batch behind, and the first frame past the end ends
// the process with exit code 0. Run on the forged default data, again through the GL layer
// over OpenGL ES 3 (TIR_GL=es3), and with every scene file replaced by a one-mesh scene, which
// no part may read past.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing_state_support.h"
#include "app/application.h"
#include "forge_test_support.h"
#include "gl_layer_test_support.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "timeline/part.h"
#include "resources/search_path.h"
#include "scene_test_support.h"
#include "test_support.h"
#include "tools/common/archive_writer.h"
#include "tools/common/offscreen_gl.h"

using namespace testing_support;

namespace {

struct FrameReport {
    int frames = 0;
    int exitCode = -1000;
    std::vector<std::string> faults;
    int schedule = 0; // parts in the timeline
};

// Plays the demo in the folder `data` (which holds tir.val) to its end, one frame every
// `stepMs` milliseconds of demo time, at 160 x 120 without sound.
FrameReport playWholeDemo(const std::string& data, int stepMs = 100) {
    FrameReport report;
    pauseLeakChecks(true); // the GL driver's own allocations outlive the demo's context
    searchPath.clear();    // the player builds its own search path and opens the archive itself
    WorkingDir cwd(data);
    resetPlayerState();
    resetDrawingState();
    settings.showSetupDialog = 0;
    settings.fullscreen = 0;
    settings.screenWidth = 160;
    settings.screenHeight = 120;
    sys::preferHeadlessVideo();
    sys::VirtualCounter counter;
    counter.frequency = 1000;
    sys::useVirtualCounter(&counter);

    auto* app = new Application;
    report.exitCode = exitCodeOf([&] {
        app->createMainWindow();
        report.schedule = app->timeline.count;
        for (int i = 0;; ++i) {
            counter.now = stepMs * i; // the first frame starts the clock at 0
            app->frame();
            ++report.frames;
            const GLenum error = glGetError();
            while (glGetError() != GL_NO_ERROR) {
                // a frame may raise several; the first is reported, the rest are cleared
            }
            if (error != GL_NO_ERROR || currentPrimitive != 0) {
                report.faults.push_back("t = " + std::to_string(demoClock.demoTime) +
                                        ": GL error " + std::to_string(error) + ", open batch " +
                                        std::to_string(currentPrimitive));
                endPrimitive();
            }
            if (i > 3000) {
                break; // the demo never ended
            }
        }
    });
    // The end of the demo released the context, the overlay and the display; the window and the
    // process-wide file state go here.
    if (app->window) {
        sys::destroyWindow(app->window);
    }
    // The player leaves its parts and the envelope to the end of the process; a test that
    // plays the demo twice releases them.
    for (int i = 0; i < app->timeline.count; ++i) {
        delete app->timeline.items[i];
    }
    app->timeline.releaseArray();
    delete demoClock.replaceSyncEnvelope(nullptr);
    delete app;
    sys::useVirtualCounter(nullptr);
    searchPath.clear(); // and the player's own three sources
    resetDrawingState();
    resetPlayerState();
    pauseLeakChecks(false);
    return report;
}

using WholeDemo = ForgedData;

} // namespace

TEST_F(WholeDemo, PlaysToTheEndWithoutAGlErrorOrAnOpenBatch) {
    const FrameReport r = playWholeDemo(dir->path.string());
    EXPECT_EQ(r.schedule, 22);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.frames, 1866); // 0.0 .. 186.5 rendered, 186.6 ends the process
    EXPECT_TRUE(r.faults.empty()) << r.faults.size() << " faulty frames, the first "
                                  << (r.faults.empty() ? "" : r.faults[0]);
}

TEST_F(WholeDemo, PlaysToTheEndThroughTheGlLayerWithoutAGlError) {
    // Five frames a second of demo time reach every part and every change between them.
    chooseGl(GlPath::layer);
    const FrameReport r = playWholeDemo(dir->path.string(), 200);
    chooseGl(GlPath::mesa);
    EXPECT_EQ(r.schedule, 22);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.frames, 933); // 0.0 .. 186.4 rendered, 186.6 ends the process
    EXPECT_TRUE(r.faults.empty()) << r.faults.size() << " faulty frames, the first "
                                  << (r.faults.empty() ? "" : r.faults[0]);
}

TEST_F(WholeDemo, EveryPartSurvivesScenesWithOneMeshAndOneMaterial) {
    // The forged archive with each scene swapped for one square, one material and a camera.
    scenefile::SceneFile tiny;
    tiny.chunks.push_back(plainMaterial("only", 2, "y1.jpg"));
    tiny.chunks.push_back(squareMesh("Only", 40));
    addCamera(tiny, {0, -100, 0}, {0, 0, 0});
    const std::vector<unsigned char> tinyImage = sceneImage(tiny);
    std::vector<ArchiveInput> entries = forgedEntries();
    for (ArchiveInput& e : entries) {
        if (e.name.size() > 4 && e.name.compare(e.name.size() - 4, 4, ".EXP") == 0) {
            e.data = tinyImage;
        }
    }
    ScratchDir tinyData("tiny-scenes");
    std::string error;
    ASSERT_TRUE(writeArchive(tinyData.file("tir.val"), entries, error)) << error;

    const FrameReport r = playWholeDemo(tinyData.path.string());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.frames, 1866);
    EXPECT_TRUE(r.faults.empty()) << r.faults.size() << " faulty frames, the first "
                                  << (r.faults.empty() ? "" : r.faults[0]);
}
