// headless_player.h - the release player started without its dialog and without a screen,
// for the tools and benchmarks that run its frame loop: a window of the picture's size on the
// headless video driver, the player's whole start-up (data, music, schedule), and optionally
// the sound library on its non-realtime output, which renders only when asked.
#pragma once

#include <string>

class Application;

// Starts the player in the working directory (which holds tir.val) with a width x height
// window. With `offlineSound` the music is loaded and restored and plays through fsoundMix;
// without it no sound is started and demo time is counter time. Null with the reason in
// `error` when no GL context could be made. A missing data file ends the process through the
// player's own fatal path.
Application* startHeadlessPlayer(int width, int height, bool offlineSound, std::string& error);
