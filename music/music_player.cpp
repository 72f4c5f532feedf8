// music_player.cpp - the demo's music: sound-library start-up with the chosen output, the module
// and its companion loaded through the search path, and the order position for the clock.
#include "music/music_player.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "music/companion.h"
#include "platform/fatal.h"
#include "platform/fsound.h"
#include "resources/search_path.h"

int MusicPlayer::fillDeviceList(const char* names[2]) {
    outputType = FSOUND_GetOutput();
    names[0] = "Direct Sound";
    names[1] = "Windows Multimedia WaveOut";
    return outputType == outputDirectSound ? 0 : (outputType == outputWaveOut ? 1 : -1);
}

void MusicPlayer::configure(int deviceIndex) {
    if (deviceIndex == 0) {
        outputType = outputDirectSound;
    } else if (deviceIndex == 1) {
        outputType = outputWaveOut;
    }
}

int MusicPlayer::initialise() {
    FSOUND_SetOutput(outputType);
    FSOUND_SetMixer(0);
    FSOUND_SetUpdateRate(30);
    FSOUND_SetMixAhead(30);
    if (!FSOUND_Init(44100, 32)) {
        return 0;
    }
    initialised = 1;
    FSOUND_DSP_ClearMixBuffer();
    return 1;
}

std::string companionName(const char* moduleName) {
    // The name with "m3d" after its first '.' among the first 16 characters (after the 16th
    // character when there is none), cut there. Long names are not truncated to a fixed buffer.
    std::string buffer(moduleName);
    if (buffer.size() < 21) {
        buffer.resize(21, '\0');
    }
    size_t dot = 16;
    for (size_t i = 0; i < 16 && buffer[i]; ++i) {
        if (buffer[i] == '.') {
            dot = i;
            break;
        }
    }
    buffer.replace(dot + 1, 3, "m3d");
    buffer.resize(dot + 4);
    return std::string(buffer.c_str()); // up to the first zero: a long name loses its tail
}

int MusicPlayer::load(const char* name) {
    if (!initialised) {
        return 0;
    }
    LoadedFile* module = searchPath.load(name, loadFatal);
    moduleImage = static_cast<unsigned char*>(module->lock());
    moduleSize = module->size;

    const std::string companion = companionName(name);
    std::printf("%s\n", companion.c_str());
    std::fflush(stdout);
    if (LoadedFile* samples = searchPath.load(companion.c_str(), loadQuiet)) {
        restoreSamples(*this, *samples, companion.c_str());
        delete samples; // its buffer stays allocated, as every loaded file's does
    }

    song = FMUSIC_LoadSongMemory(moduleImage, moduleSize);
    if (!song) {
        // Playing on without music would let the pictures run on the counter alone and end as
        // a success; a module the sound library cannot read is a damaged file.
        module->unlock();
        delete module;
        sys::fatalf("file error",
                    "The music module \"%s\" (%d bytes) cannot be played:\nthe sound library "
                    "does not read it as a module.",
                    name, moduleSize);
    }
    module->unlock();
    delete module; // the module image itself stays for the rest of the process
    return 1;
}

void MusicPlayer::play() {
    if (initialised) {
        FMUSIC_PlaySong(song);
    }
}

int MusicPlayer::currentOrder() {
    return initialised ? FMUSIC_GetOrder(song) : 0;
}

void MusicPlayer::seek(int order, float seconds) {
    if (initialised) {
        FMUSIC_SetPosition(song, order, seconds);
    }
}

void MusicPlayer::setPaused(bool paused) {
    if (initialised) {
        FMUSIC_SetPaused(song, paused);
    }
}

void MusicPlayer::freeSong() {
    if (initialised) {
        FMUSIC_FreeSong(song);
        song = nullptr;
    }
}

void MusicPlayer::close() {
    if (initialised) {
        FSOUND_Close();
    }
}
