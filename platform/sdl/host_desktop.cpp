// host_desktop.cpp - the SDL backend on a desktop system: message boxes where a display can show
// them, the process end, a blocking message loop, and the GL library loaded with dlopen.
#include "platform/platform.h"
#include "platform/sdl/host.h"

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

void requestGlContext() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

double extraOutputLatency() {
    return 0.0;
}

} // namespace host

int runLoop(bool (*pass)(void* data), int (*finish)(void* data), void* data) {
    while (pass(data)) {
    }
    return finish(data);
}

// ---------------------------------------------------------------------------------------------
// Libraries

void* loadLibrary(const char* name) {
    if (!name) {
        return nullptr;
    }
    const char* file = name;
    if (strcasecmp(name, "opengl32.dll") == 0) {
        file = "libGL.so.1";
    }
    return dlopen(file, RTLD_NOW | RTLD_LOCAL);
}

void* libraryProc(void* library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

void freeLibrary(void* library) {
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds keep libraries mapped, so that leak reports inside the GL driver still
    // name their module and the driver's known leaks can be suppressed.
    (void)library;
#else
    if (library) {
        dlclose(library);
    }
#endif
}

void* glLoaderProc(void* library, const char* name) {
    using GetProc = void* (*)(const unsigned char*);
    if (auto get = reinterpret_cast<GetProc>(libraryProc(library, "glXGetProcAddressARB"))) {
        return get(reinterpret_cast<const unsigned char*>(name));
    }
    return nullptr;
}

} // namespace sys
