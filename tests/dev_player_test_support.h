// dev_player_test_support.h - the fixture the development player's tests share: the player
// started from a folder of forged data on a virtual counter, keys posted through its window's
// queue, and a teardown that gives back everything a process's start-up would keep.
//
// With sound, the player plays through the sound library's non-realtime output: the music
// moves only when the test moves the counter (advance mixes exactly as many samples), so
// nothing a test checks can move while the machine is busy.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "drawing_state_support.h"
#include "app/data_folder.h"
#include "app/dev_application.h"
#include "app/row_list.h"
#include "effects/schedule.h"
#include "forge_test_support.h"
#include "gfx/gl_api.h"
#include "platform/fsound.h"
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
        looseFolder.clear();
        dataArchivePath = "tir.val";
        devOptions.reset();
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
    // Moves the counter by `seconds` and, when the player's music plays offline, mixes the
    // same stretch of it (into `mixed`).
    void advance(double seconds) {
        counter.now += static_cast<int64_t>(seconds * 1e6);
        const double frames = seconds * offlineRate + unmixedFraction;
        const auto whole = static_cast<int64_t>(frames);
        unmixedFraction = frames - static_cast<double>(whole);
        mix(whole);
    }
    // Offline only: mixes until the sound library reports `order` as heard, at most 20 s of
    // music, one device block at a time. Returns whether it did.
    bool heard(int order) {
        for (int block = 0; block < 20 * offlineRate / fsoundBufferFrames; ++block) {
            if (FMUSIC_GetOrder(app->music.song) == order) {
                return true;
            }
            mix(fsoundBufferFrames);
        }
        return FMUSIC_GetOrder(app->music.song) == order;
    }
    // The player's sound output for a test that plays the music offline.
    static constexpr int offlineOutput = FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    static constexpr int offlineRate = 44100; // the development player's mixing rate
    std::vector<float> mixed;                 // the music mixed so far, stereo
    double unmixedFraction = 0.0;             // of a frame, carried to the next advance

    // The next `frames` frames of the music, offline, appended to `mixed`.
    void mix(int64_t frames) {
        if (!app || !app->music.initialised || app->soundOutput != offlineOutput || frames <= 0) {
            return;
        }
        const size_t from = mixed.size();
        mixed.resize(from + static_cast<size_t>(frames) * 2);
        fsoundMix(mixed.data() + from, static_cast<int>(frames));
    }
    float keyTime(int k) const { return syncEnvelope->keys[k].time; }
};

// The development player on a copy of the default data in a folder of its own ("tir.val"), which
// a test may change, beside an empty folder of loose files ("loose/") it may put files in.
struct DevFolderFixture : DevPlayerFixture {
    std::optional<ScratchDir> folder;
    std::string loose;                 // the loose-file folder, ending in a separator
    std::vector<unsigned char> pixels; // the last frame read back
    bool readPixels = false;

    void SetUp() override {
        ForgedData::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        folder.emplace("devfolder");
        std::filesystem::copy_file(archivePath(), folder->file("tir.val"));
        std::filesystem::create_directory(folder->file("loose"));
        loose = folder->file("loose/");
        enterPlayerFolder(folder->path);
    }
    void TearDown() override {
        DevPlayerFixture::TearDown();
        folder.reset();
    }

    // Starts the player as runDevPlayer does, up to its message loop, with devOptions as the
    // test set them: the test runs the frames. With sound, the music plays offline. In a window
    // of 640 x 480 unless `fullScreen`: the headless driver's screen is larger, and its full
    // screen shows the picture scaled up to fit.
    void start(bool sound, bool fullScreen = false) {
        audio.emplace("SDL_AUDIODRIVER", sound ? "dummy" : "no-such-driver");
        looseFolder = devOptions.looseFolder;
        applyDevSettings();
        fullscreen = fullScreen ? 1 : 0;
        app = new DevApplication;
        if (sound) {
            app->soundOutput = offlineOutput;
        }
        app->startAt = devOptions.startAt;
        app->timeline.selection = devOptions.rows;
        app->watchData = devOptions.watch;
        app->plots = devOptions.plots;
        app->beforePresent = [this] {
            if (readPixels) {
                pixels = readBackBuffer(640, 480);
            }
        };
        app->createMainWindow(&devWindowProc);
        ASSERT_NE(app->context, nullptr);
        ASSERT_EQ(app->scheduleReady, 1);
    }
    float timeNow() const { return demoClock.timeAt(counter.now, counter.frequency); }
    // One frame, read back as it is presented.
    std::vector<unsigned char> frameAt() {
        readPixels = true;
        app->frame();
        readPixels = false;
        return pixels;
    }
    // Selects rows as --rows LIST does.
    static RowSelection rowsOf(const char* list) {
        RowSelection rows;
        std::string error;
        EXPECT_TRUE(parseRowList(list, scheduleRowCount, rows, error)) << error;
        return rows;
    }
    // A key through the window's queue, or a mouse message at picture point (x, y).
    void mouse(unsigned message, int x, int y, bool held) {
        sys::postMessage(app->window, message, held ? uintptr_t{sys::mouseLeftHeld} : 0,
                         sys::mousePosition(x, y));
        sys::Message m;
        while (sys::peekMessage(m)) {
            if (m.message != sys::WM_PAINT) {
                sys::dispatchMessage(m);
            }
        }
    }
};

inline double meanLevel(const std::vector<unsigned char>& rgb) {
    double sum = 0;
    for (unsigned char v : rgb) {
        sum += v;
    }
    return rgb.empty() ? 0.0 : sum / static_cast<double>(rgb.size());
}

} // namespace testing_support
