// dev_player_test_support.h - the fixture the development player's tests share: the player
// started from a folder of forged data on a virtual counter, keys posted through its window's
// queue, and a teardown that gives back everything a process's start-up would keep.
#pragma once

#include <filesystem>
#include <optional>

#include "drawing_state_support.h"
#include "app/dev_application.h"
#include "forge_test_support.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "music_test_support.h"
#include "scene/track.h"
#include "timeline/part.h"
#include "tools/common/offscreen_gl.h"

namespace testing_support {

struct DevPlayerFixture : ForgedData {
    sys::VirtualCounter counter;
    DevApplication* app = nullptr;
    std::optional<WorkingDir> cwd;
    std::optional<EnvVar> audio;

    // Call from SetUp after ForgedData::SetUp. The player builds its own search path from the
    // folder it starts in, so the fixture's archive source is given back first.
    void enterPlayerFolder(const std::filesystem::path& folder) {
        searchPath.clear();
        source = nullptr;
        cwd.emplace(folder);
        counter.frequency = 1000000;
        counter.now = 0;
        sys::useVirtualCounter(&counter);
        resetPlayerState();
        resetDrawingState();
        pauseLeakChecks(true); // the GL driver's own allocations outlive the player's context
    }
    void TearDown() override {
        if (app) {
            if (app->window) {
                sys::destroyWindow(app->window); // WM_DESTROY: sound closed, display restored
            }
            sys::Message m;
            while (sys::peekMessage(m)) {
            }
            for (int i = 0; i < app->timeline.count; ++i) {
                delete app->timeline.items[i]; // some parts reset GL state as they go
            }
            app->timeline.releaseArray();
            unloadGl();
            delete app;
            app = nullptr;
        }
        searchPath.clear(); // and the player's own sources with it
        // A process's start-up keeps the envelope to the end; a test gives it back.
        delete demoClock.replaceSyncEnvelope(nullptr);
        sys::useVirtualCounter(nullptr);
        resetPlayerState();
        resetDrawingState();
        cwd.reset();
        audio.reset();
        pauseLeakChecks(false);
        ForgedData::TearDown();
    }

    // A key through the window's queue, as the platform delivers it. Paint requests are left
    // alone: the test runs frames itself.
    void press(unsigned key, bool shift = false) {
        sys::postMessage(app->window, sys::WM_KEYDOWN, key,
                         shift ? intptr_t{sys::keyFlagShift} : 0);
        sys::Message m;
        while (sys::peekMessage(m)) {
            if (m.message == sys::WM_KEYDOWN) {
                sys::dispatchMessage(m);
            }
        }
    }
    void advance(double seconds) { counter.now += static_cast<int64_t>(seconds * 1e6); }
    float keyTime(int k) const { return syncEnvelope->keys[k].time; }
};

} // namespace testing_support
