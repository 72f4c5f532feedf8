// music_player.h - the demo's one contact with the sound library: initialise the chosen output,
// load "mystified.xm" (restoring compressed samples from its companion first), play it, and
// report the order position being heard, which drives the demo clock.
//
// Every operation except configuration does nothing while the library is not initialised, so
// the demo runs silently on the counter clock when sound fails.
#pragma once

#include <cstdint>
#include <string>

struct FmusicModule;

// The companion's name for a module name: "m3d" after the first '.' among the first 16
// characters ("mystified.xm" gives "mystified.m3d").
std::string companionName(const char* moduleName);

class MusicPlayer {
public:
    // Output types of the sound library.
    static constexpr int outputDirectSound = 2; // this platform's default audio driver
    static constexpr int outputWaveOut = 1;     // the ALSA driver where it exists

    // Reads the library's default output and returns the device list with the default
    // preselected: names[0] "Direct Sound", names[1] "Windows Multimedia WaveOut"; the result
    // is the index to select (0, 1) or -1 for none.
    int fillDeviceList(const char* names[2]);
    // Device index 0 picks output type 2, index 1 type 1; anything else keeps the current type.
    void configure(int deviceIndex);
    // 1 when the library started, 0 when it did not (the player stays uninitialised).
    int initialise();
    // 1 when a song was loaded, 0 when not initialised. A missing module is fatal.
    int load(const char* name);
    void play();
    int currentOrder();
    // The development player's transport: `seconds` after the start of `order`, heard at once
    // (the order query reports it before the device has played it); and pause or resume.
    void seek(int order, float seconds);
    void setPaused(bool paused);
    void freeSong();
    void close();

    FmusicModule* song = nullptr;
    unsigned char* moduleImage = nullptr;
    int moduleSize = 0;
    uint8_t initialised = 0;
    int outputType = outputDirectSound;
};
