// fsound.h - the sound library the demo calls: output selection, start-up and shut-down of the
// mixer, and one tracker module played from memory with its order position.
//
// The calls keep the names and the call pattern of the sound library the demo was written
// against. Behind them, libopenmpt renders the module and an SDL2 audio device plays it at the
// mixing rate given to FSOUND_Init. The module object is shared between the audio thread and
// the caller's thread under one lock; everything else is called from one thread.
//
// The non-realtime output opens no device: a tool pulls the mix with fsoundMix (offline capture).
//
// The order query reports the order position being heard, not the one the renderer has mixed
// ahead to: every block the audio callback renders is stamped with its position in the output
// stream and the order it holds, and FMUSIC_GetOrder looks up the block at the output's play
// position (see fsoundOutputLatencyFrames).
#pragma once

#include <cstdint>

struct FmusicModule;

// Output types. The program picks one before FSOUND_Init.
enum FsoundOutput : int {
    FSOUND_OUTPUT_NOSOUND = 0, // mixes into nothing in real time (SDL's dummy driver)
    FSOUND_OUTPUT_WINMM = 1,   // "Windows Multimedia WaveOut": the ALSA driver where it exists
    FSOUND_OUTPUT_DSOUND = 2,  // "Direct Sound": SDL's default audio driver (the default)
    // No device and no clock: the song advances only when fsoundMix renders it, so a tool can
    // render the sound offline, in step with pictures that take any time to make.
    FSOUND_OUTPUT_NOSOUND_NONREALTIME = 3,
};

// The output type the next FSOUND_Init uses: FSOUND_OUTPUT_DSOUND until SetOutput changes it.
int FSOUND_GetOutput();
// Picks the output type; false (and no change) for an unknown type or while initialised.
bool FSOUND_SetOutput(int outputType);
// Mixer type, update rate (Hz) and mix-ahead (ms) are stored and reported back; the SDL device
// has its own fixed buffer of fsoundBufferFrames frames. False while initialised.
bool FSOUND_SetMixer(int mixer);
bool FSOUND_SetUpdateRate(int rate);
bool FSOUND_SetMixAhead(int milliseconds);
// Opens the audio device at `mixRate` Hz, stereo. False when no audio device can be opened;
// the library then stays uninitialised. `maxChannels` is accepted and not needed: libopenmpt
// mixes every module channel itself.
bool FSOUND_Init(int mixRate, int maxChannels);
// Stops the output, frees every song still loaded and closes the device.
void FSOUND_Close();
// Drops the order stamps of audio not yet heard and makes the next callback start from
// silence; used once after FSOUND_Init.
void FSOUND_DSP_ClearMixBuffer();

// Parses a module image (any format libopenmpt reads). The image is copied by the parser, so
// the caller's buffer may change afterwards. Null (with a message on standard error) when the
// image is not a module or the library is not initialised. The song loops at its end.
FmusicModule* FMUSIC_LoadSongMemory(const void* data, int length);
// Starts `song` from its first order; it replaces any song playing. False for a null song.
bool FMUSIC_PlaySong(FmusicModule* song);
// The order position being heard; 0 for a null song or before any of it was heard.
int FMUSIC_GetOrder(FmusicModule* song);
// Jumps to row 0 of `order`; false (and no jump) when the order is outside the order list.
bool FMUSIC_SetOrder(FmusicModule* song, int order);
// Jumps to `seconds` after the start (row 0) of `order`, so that a caller which keeps its own
// table of order start times can land anywhere inside an order. The order query reports the
// new position's order at once instead of waiting until it is heard, so a caller that moves its
// clock with the jump sees no order change afterwards. False (and no jump) for a null song or
// an order outside the order list.
bool FMUSIC_SetPosition(FmusicModule* song, int order, double seconds);
// Pauses or resumes `song`: while paused it renders silence and keeps its position, and the
// order query stays where it was. False for a null song.
bool FMUSIC_SetPaused(FmusicModule* song, bool paused);
bool FMUSIC_GetPaused(FmusicModule* song);
// Stops `song` if it is playing and frees it. False for a null song.
bool FMUSIC_FreeSong(FmusicModule* song);

// Extensions beyond the calls the demo makes, for tests and tools.
struct FsoundStatus {
    bool initialised;
    int mixRate;
    int bufferFrames;  // frames per audio callback
    int latencyFrames; // frames from the output's play position to the newest block's end
    const char* driver;
    int mixer, updateRate, mixAhead;
    int64_t framesRendered; // frames handed to the device since FSOUND_Init
};
FsoundStatus fsoundStatus();
// With the non-realtime output: renders the next `frames` frames of the playing song (silence
// before a song plays) into `out` as interleaved float stereo at the mixing rate, exactly as the
// device callback renders them, order stamps included. FMUSIC_GetOrder then reports the order
// of the last frame rendered. False (and nothing written) with any other output or while not
// initialised.
bool fsoundMix(float* out, int frames);
// Frames per audio callback: 1,024 at 44,100 Hz is 23.2 ms, close to the 30 ms mix-ahead
// the players ask for, and small enough for the order query to be exact within one block.
constexpr int fsoundBufferFrames = 1024;
