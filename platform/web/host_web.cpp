// host_web.cpp - the SDL backend in a web page (emscripten): reports and the end of the program
// handed to the page, the message loop as the browser's main-loop callback, a WebGL 2 context
// without alpha, the GL library served by our fixed-function layer, and the browser's audio
// output latency.
//
// The page talks to the program through a few functions on the module object, all optional:
// tirReport(caption, text) shows a report, tirEnded(code) says the program has ended (0 for the
// demo's end or Escape, non-zero after a fatal error).
#include "platform/gl11/es3_api.h"
#include "platform/platform.h"
#include "platform/sdl/host.h"

#include <SDL.h>
#include <emscripten.h>

#include <cstring>

// emscripten's own names for the WebGL functions: the plain gl* names belong to the pointer
// variables of the demo's entry-point table in this program.
using gl11::GLchar;
using gl11::GLsizeiptr;
extern "C" {
#define TIR_DECLARE_EMSCRIPTEN_GL(ret, name, params) ret emscripten_gl##name params;
GL11_ES_FUNCTIONS(TIR_DECLARE_EMSCRIPTEN_GL)
#undef TIR_DECLARE_EMSCRIPTEN_GL
}

namespace sys {

namespace host {

void showReport(const char* text, const char* caption, unsigned flags) {
    (void)flags;
    // The JavaScript stays as written: a formatter that reads it as C++ splits "!==".
    // clang-format off
    EM_ASM({
        if (Module['tirReport']) {
            Module['tirReport'](UTF8ToString($0), UTF8ToString($1));
        }
    }, caption, text);
    // clang-format on
}

void endProcess(int code) {
    // The loop stops first: nothing may run a frame once the page has been told.
    emscripten_cancel_main_loop();
    // clang-format off
    EM_ASM({
        // A song still playing (a fatal error mid-demo) stops with the program.
        var sdl = Module['SDL2'];
        if (sdl && sdl.audioContext && sdl.audioContext.state !== 'closed') {
            sdl.audioContext.close();
        }
        if (Module['tirEnded']) {
            Module['tirEnded']($0);
        }
    }, code);
    // clang-format on
    // Unwinds the program's stack by throwing to the browser, like the end of a process.
    emscripten_force_exit(code);
    __builtin_unreachable();
}

void waitForEvents(int) {
    // The browser runs the next pass of the loop when there is something to draw or handle.
}

void sleep(int) {
    // A page cannot block its thread without freezing itself: the wait is skipped. Demo time
    // comes from the counter, so nothing depends on the pause having happened.
}

bool useGlLayer() {
    return true; // a page's only GL is WebGL 2
}

void requestGlContext(bool) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    // An alpha channel in the drawing buffer would make the page blend the canvas with what is
    // behind it wherever the demo leaves alpha below 1.
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
}

double extraOutputLatency() {
    // The context's own processing (baseLatency) and the time from the graph's output to the
    // speaker (outputLatency, 0 where the browser cannot tell).
    // clang-format off
    return EM_ASM_DOUBLE({
        var sdl = Module['SDL2'];
        var context = sdl && sdl.audioContext;
        if (!context) {
            return 0;
        }
        return (context.baseLatency || 0) + (context.outputLatency || 0);
    });
    // clang-format on
}

} // namespace host

// ---------------------------------------------------------------------------------------------
// The message loop

namespace {

struct BrowserLoop {
    bool (*pass)(void*);
    int (*finish)(void*);
    void* data;
};
BrowserLoop browserLoop;

void browserFrame(void*) {
    if (!browserLoop.pass(browserLoop.data)) {
        emscripten_cancel_main_loop();
        exitProcess(browserLoop.finish(browserLoop.data));
    }
}

} // namespace

int runLoop(bool (*pass)(void* data), int (*finish)(void* data), void* data) {
    browserLoop = BrowserLoop{pass, finish, data};
    // Once per display refresh (requestAnimationFrame). The call does not return: it unwinds
    // to the browser, which then calls browserFrame.
    emscripten_set_main_loop_arg(&browserFrame, nullptr, 0, 1);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Libraries: a page has none of its own; the GL library is the layer, over WebGL 2.

namespace host {

void* esProc(const char* name) {
    struct Entry {
        const char* name;
        void* function;
    };
    static const Entry entries[] = {
#define TIR_ES_ENTRY(ret, name, params) {"gl" #name, reinterpret_cast<void*>(&emscripten_gl##name)},
        GL11_ES_FUNCTIONS(TIR_ES_ENTRY)
#undef TIR_ES_ENTRY
    };
    for (const Entry& e : entries) {
        if (std::strcmp(e.name, name) == 0) {
            return e.function;
        }
    }
    return nullptr;
}

void* openLibrary(const char*) {
    return nullptr;
}

void* libraryProc(void*, const char*) {
    return nullptr;
}

void closeLibrary(void*) {}

void* glLoaderProc(void*, const char*) {
    return nullptr;
}

} // namespace host

} // namespace sys
