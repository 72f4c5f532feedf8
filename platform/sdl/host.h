// host.h - what the SDL backend leaves to the system it runs on. The window, the queue, the
// counter and the sound output are SDL's everywhere; how a report reaches a person, how the
// process ends, how the message loop waits, which GL context is asked for and how far the sound
// output lags behind the mix differ between a desktop (host_desktop.cpp) and a web page
// (platform/web/host_web.cpp), as do the libraries the system offers and which GL library the
// demo gets. Those two files also hold platform.h's message-loop driver (runLoop). Only the SDL
// backend includes this header.
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
// Whether the demo's GL library is our GL 1.1 layer over OpenGL ES 3 rather than the system's
// OpenGL: on a desktop when TIR_GL=es3 asks for it (any other non-empty TIR_GL is fatal), always
// in a page, which has no other.
bool useGlLayer();
// The context the GL window asks for, set as SDL_GL attributes before the window is made: OpenGL
// ES 3.0 for the layer (`es`), else the desktop GL's compatibility profile. A page always asks
// for WebGL 2 (ES 3.0), without alpha.
void requestGlContext(bool es);
// An ES 3.0 function by its name ("glDrawArrays") for the layer, in the context current now.
void* esProc(const char* name);
// The system's libraries by name ("opengl32.dll" names its OpenGL library), a function of one,
// closing one, and the GL loader's own lookup for names a plain lookup misses. A page has no
// libraries: openLibrary gives null there.
void* openLibrary(const char* name);
void* libraryProc(void* library, const char* name);
void closeLibrary(void* library);
void* glLoaderProc(void* library, const char* name);
// Seconds between the moment the sound device takes a block and the moment it is heard, beyond
// what the sound layer's own queue model counts: the browser's output latency in a page, 0 on
// a desktop, where the device's queue is the whole delay.
double extraOutputLatency();

} // namespace sys::host
