// fsound_sdl.cpp - the sound library over libopenmpt (the module) and SDL2 audio (the output).
//
// The SDL audio callback renders the playing module in small blocks and stamps each block with
// its frame position in the output stream and the order it holds. The order query turns the
// wall-clock time into the output's play position and looks the order up in those stamps, so
// it reports what is being heard rather than what was mixed ahead.
#include "platform/diagnostics.h"
#include "platform/fsound.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/sdl/host.h"

struct FmusicModule {
    openmpt_module* module = nullptr;
    bool paused = false; // renders silence, keeping its position
};

namespace {

// One order change in the output stream: from output frame `frame` on, `order` is heard.
struct OrderStamp {
    int64_t frame;
    int order;
};

// Frames rendered per libopenmpt call inside the callback: the resolution of the order stamps
// (1.5 ms at 44,100 Hz).
constexpr int renderBlockFrames = 64;

struct Library {
    // Guards everything below that the audio callback touches: the songs, the playing song,
    // the stamps and the frame counters.
    std::mutex lock;

    int outputType = FSOUND_OUTPUT_DSOUND;
    int mixer = 0;
    int updateRate = 0;
    int mixAhead = 0;

    bool initialised = false;
    SDL_AudioDeviceID device = 0;
    bool nonrealtime = false; // no device: fsoundMix pulls the mix
    // Non-realtime output: the rest of the last block rendered, handed out first by the next
    // pull. Blocks always start 64 frames apart from the song's start, as they do behind a
    // device, because libopenmpt's output depends on where its reads are cut.
    std::vector<float> ahead;
    int mixRate = 44100;
    const char* driver = "";
    // Frames between the end of the newest block and the output's play position at the moment
    // the callback returned, and whether that position then advances in real time (a sound
    // card) or by whole blocks at each callback (the disk and dummy drivers).
    int latencyFrames = 0;
    bool interpolate = false;

    std::vector<FmusicModule*> songs;
    FmusicModule* playing = nullptr;
    std::deque<OrderStamp> stamps;
    int lastStampedOrder = -1;
    int64_t framesRendered = 0;
    uint64_t lastCallbackCounter = 0;
    bool clearPending = false;
};

Library& lib() {
    static Library* instance = new Library; // lives to the process end; the callback may run late
    return *instance;
}

// Renders `frames` stereo frames of the playing song (silence without one) and stamps order
// changes. Called with the lock held.
void renderInto(Library& l, float* out, int frames) {
    if (!l.playing || l.clearPending || l.playing->paused) {
        std::memset(out, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
        l.clearPending = false;
        l.framesRendered += frames;
        return;
    }
    openmpt_module* module = l.playing->module;
    int done = 0;
    while (done < frames) {
        const int count = std::min(renderBlockFrames, frames - done);
        const size_t got = openmpt_module_read_interleaved_float_stereo(
            module, l.mixRate, static_cast<size_t>(count), out + 2 * done);
        if (got < static_cast<size_t>(count)) {
            // The song ended although it loops (an empty order list): the rest is silence.
            std::memset(out + 2 * (done + static_cast<int>(got)), 0,
                        static_cast<size_t>(count - static_cast<int>(got)) * 2 * sizeof(float));
        }
        // The order reported after a block is that of the row whose tick started inside it,
        // so a change is stamped at the block's first frame.
        const int order = openmpt_module_get_current_order(module);
        if (order != l.lastStampedOrder) {
            l.stamps.push_back({l.framesRendered + done, order});
            l.lastStampedOrder = order;
        }
        done += count;
    }
    l.framesRendered += frames;
}

// Non-realtime output: forgets the frames rendered ahead of the last pull, as if they had never
// been rendered. Called with the lock held.
void dropAhead(Library& l) {
    l.framesRendered -= static_cast<int64_t>(l.ahead.size() / 2);
    l.ahead.clear();
    l.latencyFrames = 0;
}

void audioCallback(void*, Uint8* stream, int length) {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.lock);
    renderInto(l, reinterpret_cast<float*>(stream), length / 8);
    l.lastCallbackCounter = SDL_GetPerformanceCounter();
}

// The output frame being heard now. The newest block was handed to the device when the last
// callback returned. The dummy and disk drivers take it whole at once (a block of 8,192 bytes
// passes straight through the disk driver's stdio buffer of 4,096). A sound card's queue holds
// two blocks after a callback, and its play position advances in real time from there until
// the next callback, by at most one block. Where the system delays the sound further (a
// browser's audio graph and output device), that delay is subtracted as well.
int64_t heardFrame(const Library& l) {
    const auto extra = static_cast<int64_t>(sys::host::extraOutputLatency() * l.mixRate + 0.5);
    if (!l.interpolate) {
        return l.framesRendered - l.latencyFrames - extra - 1;
    }
    const uint64_t now = SDL_GetPerformanceCounter();
    const double seconds =
        static_cast<double>(now - l.lastCallbackCounter) / SDL_GetPerformanceFrequency();
    const int64_t elapsed = std::min<int64_t>(static_cast<int64_t>(seconds * l.mixRate),
                                              static_cast<int64_t>(fsoundBufferFrames));
    return l.framesRendered - l.latencyFrames - extra + elapsed;
}

bool driverCompiledIn(const char* name) {
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
        if (std::strcmp(SDL_GetAudioDriver(i), name) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int FSOUND_GetOutput() {
    return lib().outputType;
}

bool FSOUND_SetOutput(int outputType) {
    Library& l = lib();
    if (l.initialised || outputType < FSOUND_OUTPUT_NOSOUND ||
        outputType > FSOUND_OUTPUT_NOSOUND_NONREALTIME) {
        return false;
    }
    l.outputType = outputType;
    return true;
}

bool FSOUND_SetMixer(int mixer) {
    Library& l = lib();
    if (l.initialised) {
        return false;
    }
    l.mixer = mixer;
    return true;
}

bool FSOUND_SetUpdateRate(int rate) {
    Library& l = lib();
    if (l.initialised) {
        return false;
    }
    l.updateRate = rate;
    return true;
}

bool FSOUND_SetMixAhead(int milliseconds) {
    Library& l = lib();
    if (l.initialised) {
        return false;
    }
    l.mixAhead = milliseconds;
    return true;
}

bool FSOUND_Init(int mixRate, int maxChannels) {
    (void)maxChannels;
    Library& l = lib();
    if (l.initialised || mixRate < 8000 || mixRate > 192000) {
        return false;
    }
    if (l.outputType == FSOUND_OUTPUT_NOSOUND_NONREALTIME) {
        // Nothing to open: fsoundMix is the callback, and what it rendered last is heard now.
        std::lock_guard<std::mutex> guard(l.lock);
        l.nonrealtime = true;
        l.driver = "nonrealtime";
        l.mixRate = mixRate;
        l.latencyFrames = 0;
        l.interpolate = false;
        l.framesRendered = 0;
        l.stamps.clear();
        l.ahead.clear();
        l.lastStampedOrder = -1;
        l.initialised = true;
        return true;
    }
    // The output type picks SDL's driver at normal priority, so SDL_AUDIODRIVER (the user's or a
    // test's choice) still wins.
    if (l.outputType == FSOUND_OUTPUT_NOSOUND) {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_NORMAL);
    } else if (l.outputType == FSOUND_OUTPUT_WINMM && driverCompiledIn("alsa")) {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "alsa", SDL_HINT_NORMAL);
    } else {
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        sys::diagnostic("FSOUND_Init: no audio driver: %s\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = mixRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = fsoundBufferFrames;
    want.callback = &audioCallback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to the device's format, and each callback is exactly
    // fsoundBufferFrames frames of float stereo at mixRate.
    l.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (l.device == 0) {
        sys::diagnostic("FSOUND_Init: no audio device: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    l.driver = driver ? driver : "";
    const bool disk = std::strcmp(l.driver, "disk") == 0;
    const bool dummy = std::strcmp(l.driver, "dummy") == 0;
    {
        std::lock_guard<std::mutex> guard(l.lock);
        l.mixRate = mixRate;
        l.latencyFrames = disk || dummy ? 0 : 2 * fsoundBufferFrames;
        l.interpolate = !disk && !dummy;
        l.framesRendered = 0;
        l.lastCallbackCounter = SDL_GetPerformanceCounter();
        l.stamps.clear();
        l.lastStampedOrder = -1;
        l.initialised = true;
    }
    SDL_PauseAudioDevice(l.device, 0); // silence until a song plays
    return true;
}

void FSOUND_Close() {
    Library& l = lib();
    if (!l.initialised) {
        return;
    }
    if (!l.nonrealtime) {
        SDL_CloseAudioDevice(l.device); // waits for the callback to finish
        l.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::lock_guard<std::mutex> guard(l.lock);
    for (FmusicModule* song : l.songs) {
        openmpt_module_destroy(song->module);
        delete song;
    }
    l.songs.clear();
    l.playing = nullptr;
    l.stamps.clear();
    l.ahead.clear();
    l.nonrealtime = false;
    l.initialised = false;
}

void FSOUND_DSP_ClearMixBuffer() {
    Library& l = lib();
    if (!l.initialised) {
        return;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (l.nonrealtime) {
        dropAhead(l);
    }
    l.clearPending = true;
    l.stamps.clear();
    l.lastStampedOrder = -1;
}

FmusicModule* FMUSIC_LoadSongMemory(const void* data, int length) {
    Library& l = lib();
    if (!l.initialised || !data || length <= 0) {
        return nullptr;
    }
    int error = 0;
    const char* message = nullptr;
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, static_cast<size_t>(length), &openmpt_log_func_silent, nullptr,
        &openmpt_error_func_store, nullptr, &error, &message, nullptr);
    if (!module) {
        sys::diagnostic("FMUSIC_LoadSongMemory: %s\n",
                        message ? message : "not a module libopenmpt can read");
        openmpt_free_string(message);
        return nullptr;
    }
    openmpt_free_string(message);
    openmpt_module_set_repeat_count(module, -1); // a song loops: the demo may outlast it
    auto* song = new FmusicModule;
    song->module = module;
    std::lock_guard<std::mutex> guard(l.lock);
    l.songs.push_back(song);
    return song;
}

bool FMUSIC_PlaySong(FmusicModule* song) {
    Library& l = lib();
    if (!song || !l.initialised) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (l.nonrealtime) {
        dropAhead(l);
    }
    openmpt_module_set_position_order_row(song->module, 0, 0);
    l.playing = song;
    l.clearPending = false;
    // The song is heard from the first frame the next callback renders.
    const int order = openmpt_module_get_current_order(song->module);
    l.stamps.clear();
    l.stamps.push_back({l.framesRendered, order});
    l.lastStampedOrder = order;
    return true;
}

int FMUSIC_GetOrder(FmusicModule* song) {
    Library& l = lib();
    if (!song || !l.initialised) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (song != l.playing) {
        return std::max(0, openmpt_module_get_current_order(song->module));
    }
    if (l.stamps.empty()) {
        return 0;
    }
    const int64_t heard = heardFrame(l);
    // The newest stamp at or before the play position; earlier ones are no longer needed.
    while (l.stamps.size() > 1 && l.stamps[1].frame <= heard) {
        l.stamps.pop_front();
    }
    return std::max(0, l.stamps.front().order);
}

bool FMUSIC_SetOrder(FmusicModule* song, int order) {
    Library& l = lib();
    if (!song || !l.initialised) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (order < 0 || order >= openmpt_module_get_num_orders(song->module)) {
        return false;
    }
    openmpt_module_set_position_order_row(song->module, order, 0);
    return true;
}

bool FMUSIC_SetPosition(FmusicModule* song, int order, double seconds) {
    Library& l = lib();
    if (!song || !l.initialised) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (order < 0 || order >= openmpt_module_get_num_orders(song->module)) {
        return false;
    }
    const double start = openmpt_module_set_position_order_row(song->module, order, 0);
    if (seconds > 0.0) {
        openmpt_module_set_position_seconds(song->module, start + seconds);
    }
    if (song == l.playing) {
        // The new position counts as heard from now on: the blocks already queued for the
        // device are the old position's last moments, and nobody syncs pictures to those.
        const int now = openmpt_module_get_current_order(song->module);
        l.stamps.clear();
        l.stamps.push_back({std::numeric_limits<int64_t>::min(), now});
        l.lastStampedOrder = now;
    }
    return true;
}

bool FMUSIC_SetPaused(FmusicModule* song, bool paused) {
    Library& l = lib();
    if (!song) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    if (paused && !song->paused && song == l.playing && !l.stamps.empty()) {
        // The order heard at the pause stays the answer: the blocks mixed ahead of it are
        // still played out, but the pause is what the listener means.
        const int64_t heard = heardFrame(l);
        while (l.stamps.size() > 1 && l.stamps[1].frame <= heard) {
            l.stamps.pop_front();
        }
        const int order = l.stamps.front().order;
        l.stamps.clear();
        l.stamps.push_back({std::numeric_limits<int64_t>::min(), order});
        l.lastStampedOrder = order;
    }
    song->paused = paused;
    return true;
}

bool FMUSIC_GetPaused(FmusicModule* song) {
    Library& l = lib();
    if (!song) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    return song->paused;
}

bool FMUSIC_FreeSong(FmusicModule* song) {
    Library& l = lib();
    if (!song) {
        return false;
    }
    std::lock_guard<std::mutex> guard(l.lock);
    auto it = std::find(l.songs.begin(), l.songs.end(), song);
    if (it == l.songs.end()) {
        return false;
    }
    l.songs.erase(it);
    if (l.playing == song) {
        l.playing = nullptr;
        l.stamps.clear();
        l.lastStampedOrder = -1;
    }
    openmpt_module_destroy(song->module);
    delete song;
    return true;
}

bool fsoundMix(float* out, int frames) {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.lock);
    if (!l.initialised || !l.nonrealtime || !out || frames < 0) {
        return false;
    }
    // The frames rendered last time first, then whole blocks, then one more block of which
    // only the start is handed out now. The order query reads the stamps up to the last frame
    // handed out: the frames still ahead count as latency.
    const int fromAhead = std::min(frames, static_cast<int>(l.ahead.size() / 2));
    std::copy_n(l.ahead.begin(), 2 * fromAhead, out);
    l.ahead.erase(l.ahead.begin(), l.ahead.begin() + 2 * fromAhead);
    int given = fromAhead;
    const int whole = (frames - given) / renderBlockFrames * renderBlockFrames;
    if (whole > 0) {
        renderInto(l, out + 2 * given, whole);
        given += whole;
    }
    if (given < frames) {
        float block[2 * renderBlockFrames];
        renderInto(l, block, renderBlockFrames);
        const int rest = frames - given;
        std::copy_n(block, 2 * rest, out + 2 * given);
        l.ahead.assign(block + 2 * rest, block + 2 * renderBlockFrames);
    }
    l.latencyFrames = static_cast<int>(l.ahead.size() / 2);
    return true;
}

FsoundStatus fsoundStatus() {
    Library& l = lib();
    std::lock_guard<std::mutex> guard(l.lock);
    return {l.initialised, l.mixRate,    fsoundBufferFrames, l.latencyFrames, l.driver,
            l.mixer,       l.updateRate, l.mixAhead,         l.framesRendered};
}
