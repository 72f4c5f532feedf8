// host.h - what the SDL backend leaves to the system it runs on. The window, the queue, the
// counter and the sound output are SDL's everywhere; how a report reaches a person, how the
// process ends, how the message loop waits, which GL context is asked for and how far the sound
// output lags behind the mix differ between a desktop (host_desktop.cpp) and a web page
// (platform/web/host_web.cpp). Those two files also hold platform.h's message-loop driver
// (runLoop) and its GL library lookup. Only the SDL backend includes this header.
#pragma once

namespace sys::host {

// Shows a report where a person can read and answer it: a message box on a desktop with a
// display, a panel over the canvas in a page. The text has already gone to standard error.
void showReport(const char* text, const char* caption, unsigned flags);
// Ends the process with `code` after standard output and error were flushed; no static
// destructors run (the mixer may still be calling back).
[[noreturn]] void endProcess(int code);
// Waits up to `milliseconds` for a native event. In a page nothing may block: it returns at
// once, and the browser waits between the passes of the main loop instead.
void waitForEvents(int milliseconds);
// Blocks the thread for `milliseconds` (the virtual counter is handled by the caller).
void sleep(int milliseconds);
// The context the GL window asks for, set as SDL_GL attributes before the window is made: a
// compatibility profile of the desktop's GL, or OpenGL ES 3.0 (WebGL 2) without alpha in a page.
void requestGlContext();
// Seconds between the moment the sound device takes a block and the moment it is heard, beyond
// what the sound layer's own queue model counts: the browser's output latency in a page, 0 on
// a desktop, where the device's queue is the whole delay.
double extraOutputLatency();

} // namespace sys::host
