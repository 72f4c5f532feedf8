// music_player.cpp - placeholder until the sound-library layer lands: the player never
// initialises, which is the silent, counter-clocked path.
#include "music/music_player.h"

int MusicPlayer::fillDeviceList(const char* names[2]) {
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
    return 0;
}
int MusicPlayer::load(const char*) {
    return 0;
}
void MusicPlayer::play() {}
int MusicPlayer::currentOrder() {
    return 0;
}
void MusicPlayer::freeSong() {}
void MusicPlayer::close() {}
