// host_desktop.cpp - the SDL backend on a desktop system: message boxes where a display can show
// them, the process end, a blocking message loop, libraries loaded with dlopen, and the choice
// between the system's OpenGL and our GL layer over OpenGL ES 3.
#include "platform/fatal.h"
#include "platform/platform.h"
#include "platform/sanitizer.h"
#include "platform/sdl/host.h"
#include "platform/sdl/interrupts.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace sys {

namespace host {

// A message box can be answered only where a real display exists.
static bool displayAvailable() {
    const char* driver =
        SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        return false;
    }
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

void showReport(const char* text, const char* caption, unsigned flags) {
    if (displayAvailable()) {
        Uint32 kind = (flags & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        ModalScope modal; // an interrupt meanwhile ends the program, box and all
        SDL_ShowSimpleMessageBox(kind, caption, text, nullptr);
    }
}

void endProcess(int code) {
    std::_Exit(code);
}

void waitForEvents(int milliseconds) {
    SDL_WaitEventTimeout(nullptr, milliseconds);
}

void sleep(int milliseconds) {
    SDL_Delay(static_cast<Uint32>(milliseconds));
}

bool useGlLayer() {
    // TIR_GL chooses the GL library: the driver's own (unset or empty) or the GL layer over
    // OpenGL ES 3 ("es3").
    const char* choice = std::getenv("TIR_GL");
    if (choice && std::strcmp(choice, "es3") == 0) {
        return true;
    }
    if (choice && *choice) {
        fatalf("TIR_GL",
               "TIR_GL=%s names no GL library: set TIR_GL=es3 for the GL layer over OpenGL "
               "ES 3, or leave TIR_GL unset for the driver's own OpenGL.",
               choice);
    }
    return false;
}

void requestGlContext(bool es) {
    if (es) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2); // SDL's defaults
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    }
}

void* esProc(const char* name) {
    // SDL's loader, for the context current at each call.
    return SDL_GL_GetProcAddress(name);
}

double extraOutputLatency() {
    return 0.0;
}

// ---------------------------------------------------------------------------------------------
// Libraries

void* openLibrary(const char* name) {
    const char* file = strcasecmp(name, "opengl32.dll") == 0 ? "libGL.so.1" : name;
    return dlopen(file, RTLD_NOW | RTLD_LOCAL);
}

void* libraryProc(void* library, const char* name) {
    return dlsym(library, name);
}

void closeLibrary(void* library) {
#if TIR_ADDRESS_SANITIZER
    // Sanitizer builds keep libraries mapped, so that leak reports inside the GL driver still
    // name their module and the driver's known leaks can be suppressed.
    (void)library;
#else
    dlclose(library);
#endif
}

void* glLoaderProc(void* library, const char* name) {
    using GetProc = void* (*)(const unsigned char*);
    if (auto get = reinterpret_cast<GetProc>(dlsym(library, "glXGetProcAddressARB"))) {
        return get(reinterpret_cast<const unsigned char*>(name));
    }
    return nullptr;
}

} // namespace host

int runLoop(bool (*pass)(void* data), int (*finish)(void* data), void* data) {
    while (pass(data)) {
    }
    return finish(data);
}

} // namespace sys
