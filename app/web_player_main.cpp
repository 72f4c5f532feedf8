// web_player_main.cpp - the release player in a web page, and the page's test hooks.
//
// A page has no setup dialog: its size and full-screen state take the dialog's place. The page
// passes the picture's size (--size WxH) and enters the data folder it wrote tir.val into
// (--data DIR); full screen is the page's own affair, so the player never switches a display
// mode. Sound starts on the default output, which is the page's audio.
//
// With --hooks the player starts as the offline capture starts it: on a virtual counter, with
// the sound library's non-realtime output, and without a message loop. The page then calls the
// tir_* functions below to render stills and the music, so a test compares them with the
// native build's. In a live run the same functions report the order changes that the frame
// loop saw and how much sound the output has taken.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "gfx/gl_api.h"
#include "platform/fsound.h"
#include "platform/platform.h"
#include "scene/track.h"

namespace {

// One order change as the frame loop met it: the new order, the demo time of the frame that
// first saw it, and the key time that the synchronisation envelope gives for that order.
struct OrderChange {
    float order;
    float demoTime;
    float keyTime;
};

// The release player, counting frames and keeping a record of the order changes.
class WebApplication : public Application {
public:
    void frame() override {
        const int before = demoClock.lastOrder;
        const float t = advanceClock();
        if (demoClock.lastOrder != before) {
            orderChanges.push_back({static_cast<float>(demoClock.lastOrder), t,
                                    demoClock.orderTime(demoClock.lastOrder)});
        }
        ++framesDrawn;
        renderFrame(t);
    }

    std::vector<OrderChange> orderChanges;
    int framesDrawn = 0;
};

WebApplication* player = nullptr;
int pictureWidth = 640, pictureHeight = 480;
bool hooks = false;
sys::VirtualCounter virtualCounter;
std::vector<unsigned char> still;
std::vector<float> mixed;
bool songStarted = false;
std::vector<double> secondCosts;

int takeWebOption(int argc, char** argv, int i) {
    if (std::strcmp(argv[i], "--hooks") == 0) {
        hooks = true;
        return 1;
    }
    if (std::strcmp(argv[i], "--size") != 0) {
        return 0;
    }
    int w = 0, h = 0;
    char end = 0;
    if (i + 1 >= argc || std::sscanf(argv[i + 1], "%dx%d%c", &w, &h, &end) != 2 || w < 16 ||
        h < 16 || w > 4096 || h > 4096) {
        std::fprintf(stderr,
                     "player: --size wants WIDTHxHEIGHT from 16 to 4096, such as 640x480\n");
        return -1;
    }
    pictureWidth = w;
    pictureHeight = h;
    return 2;
}

// The picture in the back buffer as RGB rows, top to bottom.
void readPicture() {
    const size_t stride = static_cast<size_t>(pictureWidth) * 3;
    std::vector<unsigned char> rows(stride * static_cast<size_t>(pictureHeight));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, pictureWidth, pictureHeight, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    still.resize(rows.size());
    for (int y = 0; y < pictureHeight; ++y) {
        std::memcpy(&still[static_cast<size_t>(y) * stride],
                    &rows[static_cast<size_t>(pictureHeight - 1 - y) * stride], stride);
    }
}

} // namespace

extern "C" {

// The frame at demo time `at` as width x height x 3 bytes, rows top to bottom; null outside
// hook mode. As in the native capture of stills, the clock restarts at 0 with no music, and a
// frame 1/60 s earlier is drawn first, since every frame starts from the GL state that the one
// before it left.
const unsigned char* tir_still(double at) {
    if (!hooks || !player || at < 0.0 || at > demoLength) {
        return nullptr;
    }
    demoClock.restart(0, 0.0f);
    const double warmUp = at >= 1.0 / 60 ? at - 1.0 / 60 : 0.0;
    virtualCounter.now = static_cast<int64_t>(warmUp * virtualCounter.frequency + 0.5);
    player->beforePresent = nullptr;
    player->renderFrame(demoClock.update(virtualCounter.now, virtualCounter.frequency));
    virtualCounter.now = static_cast<int64_t>(at * virtualCounter.frequency + 0.5);
    still.clear();
    player->beforePresent = &readPicture;
    player->renderFrame(demoClock.update(virtualCounter.now, virtualCounter.frequency));
    player->beforePresent = nullptr;
    return still.empty() ? nullptr : still.data();
}

// The next `frames` stereo frames of the music as interleaved floats at the mixing rate, from
// the non-realtime output; the first call starts the song. Null outside hook mode or when the
// music did not load.
const float* tir_mix(int frames) {
    if (!hooks || !player || !player->music.song || frames <= 0) {
        return nullptr;
    }
    if (!songStarted) {
        player->music.play();
        songStarted = true;
    }
    mixed.assign(static_cast<size_t>(frames) * 2, 0.0f);
    return fsoundMix(mixed.data(), frames) ? mixed.data() : nullptr;
}

// The frame loop's cost over the whole demo: `perSecond` frames spread over each second of demo
// time, rendered through advanceClock() and renderFrame() on the virtual counter, each waited
// for before the swap, as the native frame benchmark renders them. Returns the wall-clock seconds
// spent on each second's frames, for every second from 0 to the demo's end; null outside hook
// mode. Meant for a page that has not drawn anything else.
const double* tir_frame_costs(int perSecond) {
    if (!hooks || !player || perSecond <= 0) {
        return nullptr;
    }
    using Clock = std::chrono::steady_clock;
    virtualCounter.now = 0;
    // A browser may take glFinish as a mere flush; reading a pixel back waits until the frame
    // has been drawn, so its time is counted in its own frame.
    player->beforePresent = [] {
        unsigned char pixel[4];
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    };
    player->renderFrame(player->advanceClock()); // the first frame starts the clock at 0
    secondCosts.assign(static_cast<size_t>(demoLength) + 1, 0.0);
    for (size_t second = 0; second < secondCosts.size(); ++second) {
        for (int j = 0; j < perSecond; ++j) {
            const double at = static_cast<double>(second) + static_cast<double>(j) / perSecond;
            if (at > demoLength) {
                break;
            }
            virtualCounter.now = static_cast<int64_t>(at * virtualCounter.frequency + 0.5);
            const Clock::time_point start = Clock::now();
            player->renderFrame(player->advanceClock());
            secondCosts[second] += std::chrono::duration<double>(Clock::now() - start).count();
        }
    }
    player->beforePresent = nullptr;
    return secondCosts.data();
}

// The order changes seen so far: tir_order_change_count() records of three floats each (the
// order, the demo time of the frame that saw it, the envelope's key time for it).
int tir_order_change_count() {
    return player ? static_cast<int>(player->orderChanges.size()) : 0;
}
const float* tir_order_changes() {
    return player && !player->orderChanges.empty() ? &player->orderChanges[0].order : nullptr;
}

// Frames drawn by the frame loop, and sound frames the output has taken since it started.
int tir_frames_drawn() {
    return player ? player->framesDrawn : 0;
}
double tir_sound_frames() {
    return static_cast<double>(fsoundStatus().framesRendered);
}

} // extern "C"

int main(int argc, char** argv) {
    PlayerProgram program{"player",
                          "Plays the TIR VAL demo in a web page at the picture size the page asks "
                          "for.\nEscape ends the demo."};
    program.usage = "[--size WIDTHxHEIGHT] [--hooks]";
    program.options = "  --size WxH  the picture's size in pixels (640x480 by default)\n"
                      "  --hooks     start for the page's tests: virtual counter, offline sound, "
                      "no loop\n";
    program.takeOption = &takeWebOption;
    const int code = handleCommandLine(program, argc, argv);
    if (code >= 0) {
        return code;
    }
    requireDisplay();
    settings.showSetupDialog = 0;
    settings.fullscreen = 0;
    settings.screenWidth = pictureWidth;
    settings.screenHeight = pictureHeight;
    settings.colourDepth = 32;
    if (hooks) {
        virtualCounter.frequency = 1000000;
        virtualCounter.now = 0;
        sys::useVirtualCounter(&virtualCounter);
    }
    player = new WebApplication;
    // Where the release player's constructor starts sound after its dialog.
    if (hooks) {
        player->music.outputType = FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    } else {
        player->music.configure(0); // the default output
    }
    player->music.initialise();
    player->createMainWindow();
    if (hooks) {
        return 0; // the page calls the hooks; the program stays loaded
    }
    return runMessageLoop(player);
}
