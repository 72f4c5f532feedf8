// platform_sdl.cpp - the platform layer over SDL2: counter, reports, exit, the window with its
// message queue, pixel formats, display modes, the GL library and the WGL names. The GL library
// is the system's OpenGL, or our own GL 1.1 layer (platform/gl11/) over an OpenGL ES 3 context
// (TIR_GL=es3 on a desktop; always in a web page). What depends on the system underneath (a
// desktop or a web page) is in host.h.
#include "platform/diagnostics.h"
#include "platform/gl_types.h"
#include "platform/platform.h"
#include "platform/sanitizer.h"

#include <SDL.h>
#include <errno.h>
#if TIR_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <deque>
#include <utility>
#include <vector>

#include "platform/gl11/gl11.h"
#include "platform/sdl/interrupts.h"

#include "platform/sdl/host.h"

namespace sys {

// The GL driver keeps allocations of its own for the life of the process (and unloads its
// modules before the leak check could name them). Sanitizer builds leave those out of the leak
// report; our own allocations are still checked.
struct DriverAllocations {
#if TIR_ADDRESS_SANITIZER
    DriverAllocations() {
        __lsan_disable();
    }
    ~DriverAllocations() {
        __lsan_enable();
    }
#else
    ~DriverAllocations() {} // a scope guard, never an unused variable
#endif
};

// ---------------------------------------------------------------------------------------------
// Time

static VirtualCounter* virtualCounter = nullptr;

int64_t performanceCounter() {
    if (virtualCounter) {
        return virtualCounter->now;
    }
    return static_cast<int64_t>(SDL_GetPerformanceCounter());
}

int64_t performanceFrequency() {
    if (virtualCounter) {
        return virtualCounter->frequency;
    }
    return static_cast<int64_t>(SDL_GetPerformanceFrequency());
}

void useVirtualCounter(VirtualCounter* counter) {
    virtualCounter = counter;
}

void sleepMilliseconds(int milliseconds) {
    if (virtualCounter) {
        // Virtual time: a sleep moves the counter instead of the wall clock.
        virtualCounter->now += virtualCounter->frequency * milliseconds / 1000;
        return;
    }
    host::sleep(milliseconds);
}

// ---------------------------------------------------------------------------------------------
// Reports and exit

static ExitHook exitHook = nullptr;
static ReportHook reportHook = nullptr;

void messageBox(const char* text, const char* caption, unsigned flags) {
    if (reportHook) {
        reportHook(text ? text : "", caption ? caption : "");
        return;
    }
    // Standard error first, so the report is there whatever becomes of the box.
    std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, caption ? caption : "",
                 text ? text : "");
    std::fflush(stderr);
    if (!(flags & MB_NOBOX)) {
        host::showReport(text ? text : "", caption ? caption : "", flags);
    }
}

void debugOutput(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

bool openDisplay(std::string& reason) {
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        reason = SDL_GetError();
        return false;
    }
    // When no window system answers, SDL falls back to a headless driver by itself, and a
    // player would run with nothing to show. A headless driver counts only when it was asked for.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool headless =
        driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (headless && !(chosen && strcasestr(chosen, driver))) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        reason = "no X11 or Wayland display answers (DISPLAY and WAYLAND_DISPLAY name none)";
        return false;
    }
    return true;
}

ExitHook setExitHook(ExitHook hook) {
    const ExitHook previous = exitHook;
    exitHook = hook;
    return previous;
}

ReportHook setReportHook(ReportHook hook) {
    const ReportHook previous = reportHook;
    reportHook = hook;
    return previous;
}

void exitProcess(int code) {
    if (exitHook) {
        exitHook(code); // tests throw from here
    }
    std::fflush(nullptr);
    // Like ExitProcess: no static destructors run while the mixer thread may still be alive.
    host::endProcess(code);
}

void showCursor(bool show) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }
}

void preferHeadlessVideo() {
    if (!std::getenv("SDL_VIDEODRIVER")) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    }
}

std::string nativePath(const char* path) {
    std::string p = path ? path : "";
    for (char& c : p) {
        if (c == '\\') {
            c = '/';
        }
    }
    return p;
}

std::string programFolder() {
    char* base = SDL_GetBasePath(); // needs no SDL_Init
    const std::string folder = base ? base : "";
    SDL_free(base);
    return folder;
}

// ---------------------------------------------------------------------------------------------
// The window and its queue

struct Window {
    SDL_Window* native = nullptr;
    WindowProc proc = nullptr;
    void* userData = nullptr;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool paintPending = false;
    Uint32 fullscreenFlags = 0; // requested before the native window exists
    SDL_DisplayMode mode{};     // the exact mode to set with SDL_WINDOW_FULLSCREEN
    bool pillarbox = false;     // desktop full screen: fit the 4:3 picture into the screen
};

static std::deque<Message> queue;
static std::vector<Window*> liveWindows; // every window made and not yet destroyed
static Window* currentDc = nullptr;
static SDL_GLContext currentContext = nullptr;
static Window* switchedWindow = nullptr;
static Window* paintCandidate = nullptr; // the window whose WM_PAINT is pending

// The GL library in use is the GL layer (TIR_GL=es3): contexts are OpenGL ES 3 contexts, each
// with a layer context that the WGL functions keep in step.
static bool esLayer = false;
static char esLayerLibrary; // its "library handle"
static std::vector<std::pair<SDL_GLContext, gl11::Context*>> layerContexts;

static gl11::Context* layerContextOf(SDL_GLContext context) {
    for (const auto& [es, layer] : layerContexts) {
        if (es == context) {
            return layer;
        }
    }
    return nullptr;
}

static bool initVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        diagnostic("video: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

// Fits the 4:3 picture into the drawable and centres it (bars left and right, or above and
// below on a tall screen). The demo itself sets no viewport.
static void setViewport(int x, int y, int width, int height) {
    using Viewport = void (*)(int, int, int, int);
    // Through the layer when it draws, so that the viewport it reports stays true.
    void* function = gl11::currentContext() ? gl11::procAddress("glViewport")
                                            : SDL_GL_GetProcAddress("glViewport");
    if (auto viewport = reinterpret_cast<Viewport>(function)) {
        viewport(x, y, width, height);
    }
}

// Lays the picture out for the drawable the window has now (read back from the window system,
// after every mode change and resize): the whole drawable, or in desktop full screen the 4:3
// picture fitted and centred. Only for the window whose context is current.
static void applyPillarbox(Window* w) {
    if (!w || !w->native || !currentContext || w != currentDc) {
        return;
    }
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(w->native, &dw, &dh);
    if (!w->pillarbox) {
        setViewport(0, 0, dw, dh);
        return;
    }
    int vw = dw, vh = dw * 3 / 4;
    if (vh > dh) {
        vh = dh;
        vw = dh * 4 / 3;
    }
    setViewport((dw - vw) / 2, (dh - vh) / 2, vw, vh);
}

// The screen the window is on (or will be on), in desktop coordinates.
static SDL_Rect displayBounds(Window* w) {
    int display = w->native ? SDL_GetWindowDisplayIndex(w->native) : 0;
    SDL_Rect bounds{w->x, w->y, w->width, w->height};
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0) {
        bounds = SDL_Rect{w->x, w->y, w->width, w->height};
    }
    return bounds;
}

Window* createWindow(const char* title, int x, int y, int width, int height, WindowProc proc,
                     void* createParam) {
    initVideo();
    Window* w = new Window;
    w->proc = proc;
    w->title = title ? title : "";
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    liveWindows.push_back(w);
    proc(w, WM_CREATE, 0, reinterpret_cast<intptr_t>(createParam));
    return w;
}

void destroyWindow(Window* window) {
    if (!window) {
        return;
    }
    window->proc(window, WM_DESTROY, 0, 0);
    if (window->native) {
        SDL_DestroyWindow(window->native);
        window->native = nullptr;
    }
    if (switchedWindow == window) {
        switchedWindow = nullptr;
    }
    if (currentDc == window) {
        currentDc = nullptr;
    }
    // Messages still queued for the window are dropped, and the record is released: the
    // handle is dead, as a destroyed window's is.
    for (auto it = queue.begin(); it != queue.end();) {
        it = (it->window == window) ? queue.erase(it) : it + 1;
    }
    window->paintPending = false;
    std::erase(liveWindows, window);
    if (paintCandidate == window) {
        paintCandidate = nullptr;
    }
    delete window;
}

void setWindowUserData(Window* window, void* data) {
    window->userData = data;
}
void* windowUserData(Window* window) {
    return window->userData;
}
int windowWidth(Window* window) {
    return window->width;
}
int windowHeight(Window* window) {
    return window->height;
}

void setWindowTitle(Window* window, const char* title) {
    if (!window) {
        return;
    }
    window->title = title ? title : "";
    if (window->native) {
        SDL_SetWindowTitle(window->native, window->title.c_str());
    }
}

const char* windowTitle(Window* window) {
    return window ? window->title.c_str() : "";
}

static Window* windowFromId(Uint32 id) {
    SDL_Window* native = SDL_GetWindowFromID(id);
    return native ? static_cast<Window*>(SDL_GetWindowData(native, "tir")) : nullptr;
}

static unsigned virtualKey(SDL_Keycode key) {
    switch (key) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_RETURN:
            return VK_RETURN;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_COMMA:
            return VK_OEM_COMMA;
        case SDLK_PERIOD:
            return VK_OEM_PERIOD;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_F12:
            return VK_F12;
        default:
            break;
    }
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<unsigned>('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<unsigned>(key);
    }
    return 0xFF; // a key the demo gives no meaning
}

// A point in the window (SDL's window coordinates) as a point in the picture's own pixels: the
// window's created size, laid over the part of the window the picture covers (all of it, or the
// fitted 4:3 rectangle of desktop full screen).
static intptr_t picturePoint(Window* w, int x, int y) {
    int ww = w->width, wh = w->height;
    if (w->native) {
        SDL_GetWindowSize(w->native, &ww, &wh);
    }
    double left = 0, top = 0, vw = ww, vh = wh;
    if (w->pillarbox) {
        vw = ww;
        vh = ww * 3.0 / 4.0;
        if (vh > wh) {
            vh = wh;
            vw = wh * 4.0 / 3.0;
        }
        left = (ww - vw) / 2;
        top = (wh - vh) / 2;
    }
    if (vw <= 0 || vh <= 0) {
        return mousePosition(-1, -1);
    }
    const int px = static_cast<int>(std::floor((x + 0.5 - left) * w->width / vw));
    const int py = static_cast<int>(std::floor((y + 0.5 - top) * w->height / vh));
    return mousePosition(px, py);
}

// Queues a pointer move, replacing one of the same window still in the queue: only where the
// pointer is now matters, and a fast move must not flood the queue between two frames.
static void postMouseMove(Window* w, uintptr_t held, intptr_t point) {
    const Message move{w, WM_MOUSEMOVE, held, point};
    if (!queue.empty() && queue.back().window == w && queue.back().message == WM_MOUSEMOVE) {
        queue.back() = move;
    } else {
        queue.push_back(move);
    }
}

static void pumpNative() {
    if (takeInterrupt()) {
        // An interrupt closes every window, as the user's close would; the quit request that
        // follows carries the interrupt's exit code.
        for (Window* w : liveWindows) {
            postMessage(w, WM_CLOSE);
        }
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        return;
    }
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
            case SDL_KEYDOWN:
                if (Window* w = windowFromId(e.key.windowID)) {
                    const intptr_t flags =
                        (e.key.keysym.mod & KMOD_SHIFT) ? intptr_t{keyFlagShift} : 0;
                    postMessage(w, WM_KEYDOWN, virtualKey(e.key.keysym.sym), flags);
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (Window* w = windowFromId(e.button.windowID);
                    w && e.button.button == SDL_BUTTON_LEFT) {
                    const bool down = e.type == SDL_MOUSEBUTTONDOWN;
                    postMessage(w, down ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                                down ? uintptr_t{mouseLeftHeld} : 0,
                                picturePoint(w, e.button.x, e.button.y));
                }
                break;
            case SDL_MOUSEMOTION:
                if (Window* w = windowFromId(e.motion.windowID)) {
                    postMouseMove(
                        w, (e.motion.state & SDL_BUTTON_LMASK) ? uintptr_t{mouseLeftHeld} : 0,
                        picturePoint(w, e.motion.x, e.motion.y));
                }
                break;
            case SDL_WINDOWEVENT:
                if (Window* w = windowFromId(e.window.windowID)) {
                    if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                        postMessage(w, WM_CLOSE);
                    } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                               e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                        applyPillarbox(w);
                        w->paintPending = true;
                    }
                }
                break;
            case SDL_QUIT:
                // The whole application was asked to close (for example by the desktop): close
                // every window of ours that still has a native window.
                if (currentDc) {
                    postMessage(currentDc, WM_CLOSE);
                }
                break;
            default:
                break;
        }
    }
}

bool peekMessage(Message& message) {
    pumpNative();
    if (!queue.empty()) {
        message = queue.front();
        queue.pop_front();
        return true;
    }
    // WM_PAINT is generated only when nothing else is queued, as Windows does.
    if (paintCandidate && paintCandidate->paintPending) {
        paintCandidate->paintPending = false;
        message = Message{paintCandidate, WM_PAINT, 0, 0};
        return true;
    }
    return false;
}

intptr_t dispatchMessage(const Message& message) {
    if (!message.window || message.message == WM_QUIT) {
        return 0;
    }
    return message.window->proc(message.window, message.message, message.wParam, message.lParam);
}

void waitMessage() {
    if (!queue.empty() || (paintCandidate && paintCandidate->paintPending)) {
        return;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        host::waitForEvents(50);
    }
}

void redrawWindow(Window* window) {
    if (window) {
        window->paintPending = true;
        paintCandidate = window;
    }
}

void postMessage(Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    queue.push_back(Message{window, message, wParam, lParam});
}

void postQuitMessage(int exitCode) {
    if (const int interrupted = interruptExitCode()) {
        exitCode = interrupted;
    }
    queue.push_back(Message{nullptr, WM_QUIT, static_cast<uintptr_t>(exitCode), 0});
}

int withdrawQuitRequests() {
    int withdrawn = 0;
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->message == WM_QUIT) {
            it = queue.erase(it);
            ++withdrawn;
        } else {
            ++it;
        }
    }
    return withdrawn;
}

// ---------------------------------------------------------------------------------------------
// Pixel formats and display modes

int choosePixelFormat(Window* window, const PixelFormatDescriptor& d) {
    const uint32_t needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    if (!window || (d.dwFlags & needed) != needed || d.iPixelType != PFD_TYPE_RGBA) {
        return 0;
    }
    const int colour = d.cColorBits;
    if (colour != 15 && colour != 16 && colour != 24 && colour != 32) {
        return 0;
    }
    // Depth buffers come in 16, 24 and 32 bits; smaller requests get the next size up.
    if (d.cDepthBits > 32) {
        return 0;
    }
    return colour <= 16 ? 1 : 2;
}

bool setPixelFormat(Window* window, int format, const PixelFormatDescriptor& d) {
    if (!window || format <= 0 || !initVideo()) {
        return false;
    }
    if (window->native) {
        return true; // a window's pixel format is set once
    }
    const bool deep = d.cColorBits > 16;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, deep ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, deep ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, deep ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, d.cDepthBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    host::requestGlContext(esLayer);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    flags |= window->fullscreenFlags;
    // Desktop full screen is granted by a window manager; without one the window keeps the size
    // it is made with. Made with the screen's own position and size, it covers the screen
    // either way.
    SDL_Rect place{window->x, window->y, window->width, window->height};
    if (window->fullscreenFlags == SDL_WINDOW_FULLSCREEN_DESKTOP) {
        place = displayBounds(window);
    }
    DriverAllocations driver;
    SDL_Window* native =
        SDL_CreateWindow(window->title.c_str(), place.x, place.y, place.w, place.h, flags);
    if (!native && !deep) {
        // Some drivers offer no 16-bit colour visual; take the default colour depth instead.
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 0);
        native = SDL_CreateWindow(window->title.c_str(), place.x, place.y, place.w, place.h, flags);
    }
    if (!native) {
        diagnostic("video: cannot create the GL window: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetWindowData(native, "tir", window);
    window->native = native;
    if (window->fullscreenFlags == SDL_WINDOW_FULLSCREEN) {
        SDL_SetWindowDisplayMode(native, &window->mode);
    }
    return true;
}

static bool modeMatches(const SDL_DisplayMode& m, int width, int height, int bitsPerPixel) {
    if (m.w != width || m.h != height) {
        return false;
    }
    // SDL reports 32-bit modes as 24 bits of colour in 4 bytes; 15 is asked for as 16.
    const int bytes = SDL_BYTESPERPIXEL(m.format);
    if (bitsPerPixel == 32) {
        return bytes == 4;
    }
    if (bitsPerPixel == 15 || bitsPerPixel == 16) {
        return bytes == 2;
    }
    return static_cast<int>(SDL_BITSPERPIXEL(m.format)) == bitsPerPixel;
}

int switchDisplayMode(Window* window, int width, int height, int bitsPerPixel) {
    if (!window || !initVideo()) {
        return 2;
    }
    int display = window->native ? SDL_GetWindowDisplayIndex(window->native) : 0;
    if (display < 0) {
        display = 0;
    }
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) == 0 &&
            modeMatches(m, width, height, bitsPerPixel)) {
            window->mode = m;
            window->fullscreenFlags = SDL_WINDOW_FULLSCREEN;
            window->pillarbox = false;
            if (window->native) {
                if (SDL_SetWindowDisplayMode(window->native, &m) != 0 ||
                    SDL_SetWindowFullscreen(window->native, SDL_WINDOW_FULLSCREEN) != 0) {
                    break; // fall back to desktop full screen
                }
            }
            switchedWindow = window;
            return 0;
        }
    }
    // Fallback: the desktop's own mode, the picture scaled to fit and pillarboxed.
    window->fullscreenFlags = SDL_WINDOW_FULLSCREEN_DESKTOP;
    window->pillarbox = true;
    if (window->native) {
        // Covers the screen first, for a desktop without a window manager to grant full screen.
        const SDL_Rect bounds = displayBounds(window);
        SDL_SetWindowPosition(window->native, bounds.x, bounds.y);
        SDL_SetWindowSize(window->native, bounds.w, bounds.h);
        if (SDL_SetWindowFullscreen(window->native, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            window->fullscreenFlags = 0;
            window->pillarbox = false;
            return 3;
        }
        applyPillarbox(window);
    }
    switchedWindow = window;
    return 1;
}

void restoreDisplayMode() {
    Window* w = switchedWindow;
    switchedWindow = nullptr;
    if (!w) {
        return;
    }
    w->fullscreenFlags = 0;
    const bool wasPillarboxed = w->pillarbox;
    w->pillarbox = false;
    if (w->native) {
        SDL_SetWindowFullscreen(w->native, 0);
        if (wasPillarboxed) {
            // The window's own place and size again, which covering the screen replaced.
            SDL_SetWindowSize(w->native, w->width, w->height);
            SDL_SetWindowPosition(w->native, w->x, w->y);
        }
        applyPillarbox(w);
    }
}

// ---------------------------------------------------------------------------------------------
// Libraries and GL

void* loadLibrary(const char* name) {
    if (!name) {
        return nullptr;
    }
    if (strcasecmp(name, "opengl32.dll") == 0) {
        esLayer = host::useGlLayer();
        if (esLayer) {
            return &esLayerLibrary;
        }
    }
    return host::openLibrary(name);
}

void* libraryProc(void* library, const char* name) {
    if (library == &esLayerLibrary) {
        return gl11::procAddress(name);
    }
    return library ? host::libraryProc(library, name) : nullptr;
}

void freeLibrary(void* library) {
    if (library == &esLayerLibrary) {
        esLayer = false;
        return;
    }
    if (library) {
        host::closeLibrary(library);
    }
}

void* glLoaderProc(void* library, const char* name) {
    if (library == &esLayerLibrary) {
        return gl11::procAddress(name);
    }
    return library ? host::glLoaderProc(library, name) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// WGL

// WGL over SDL_GL. The device context is the window.
static int wglGetPixelFormatImpl(Window* dc) {
    return dc && dc->native ? 1 : 0;
}
static int wglSetPixelFormatImpl(Window* dc, int format, const PixelFormatDescriptor* d) {
    return d && setPixelFormat(dc, format, *d) ? 1 : 0;
}
static int wglChoosePixelFormatImpl(Window* dc, const PixelFormatDescriptor* d) {
    return d ? choosePixelFormat(dc, *d) : 0;
}
static int wglDescribePixelFormatImpl(Window*, int, unsigned, PixelFormatDescriptor*) {
    return 0;
}
static void* wglCreateContextImpl(Window* dc) {
    if (!dc || !dc->native) {
        return nullptr;
    }
    DriverAllocations driver;
    SDL_GLContext context = SDL_GL_CreateContext(dc->native);
    if (!context) {
        diagnostic("video: cannot create the GL context: %s\n", SDL_GetError());
        return nullptr;
    }
    if (esLayer) {
        layerContexts.emplace_back(context, gl11::createContext(&host::esProc));
    }
    // SDL makes a new context current; WGL does not until wglMakeCurrent.
    SDL_GL_MakeCurrent(currentDc ? currentDc->native : nullptr, currentContext);
    return context;
}
static void* wglCreateLayerContextImpl(Window*, int) {
    return nullptr;
}
static int wglDeleteContextImpl(void* context) {
    DriverAllocations driver;
    if (!context) {
        return 0;
    }
    if (context == currentContext) {
        currentContext = nullptr;
        currentDc = nullptr;
    }
    for (auto it = layerContexts.begin(); it != layerContexts.end(); ++it) {
        if (it->first == context) {
            gl11::deleteContext(it->second);
            layerContexts.erase(it);
            break;
        }
    }
    SDL_GL_DeleteContext(context);
    return 1;
}
static void* wglGetCurrentContextImpl() {
    return currentContext;
}
static Window* wglGetCurrentDCImpl() {
    return currentDc;
}
// Typed as the table's entry is (a function pointer back), so the call through the table is
// a call of this very type.
static PROC wglGetProcAddressImpl(const char* name) {
    void* function = nullptr;
    if (esLayer) {
        function = gl11::procAddress(name);
    } else if (name && SDL_WasInit(SDL_INIT_VIDEO)) {
        function = SDL_GL_GetProcAddress(name);
    }
    return reinterpret_cast<PROC>(function);
}
static int wglMakeCurrentImpl(Window* dc, void* context) {
    DriverAllocations driver;
    if (SDL_GL_MakeCurrent((dc && context) ? dc->native : nullptr, context) != 0) {
        return 0;
    }
    currentDc = context ? dc : nullptr;
    currentContext = context;
    gl11::makeCurrent(layerContextOf(context));
    applyPillarbox(currentDc);
    return 1;
}
static int wglShareListsImpl(void*, void*) {
    return 0;
}
static int wglCopyContextImpl(void*, void*, unsigned) {
    return 0;
}
static int wglSwapBuffersImpl(Window* dc) {
    if (!dc || !dc->native) {
        return 0;
    }
    gl11::flush(); // the layer draws what it still holds batched
    SDL_GL_SwapWindow(dc->native);
    return 1;
}
static int wglUseFontBitmapsImpl(Window*, uint32_t, uint32_t, uint32_t) {
    return 0;
}

void* wglEntry(const char* name) {
    struct Entry {
        const char* name;
        void* function;
    };
    static const Entry entries[] = {
        {"wglCopyContext", reinterpret_cast<void*>(&wglCopyContextImpl)},
        {"wglCreateContext", reinterpret_cast<void*>(&wglCreateContextImpl)},
        {"wglCreateLayerContext", reinterpret_cast<void*>(&wglCreateLayerContextImpl)},
        {"wglDeleteContext", reinterpret_cast<void*>(&wglDeleteContextImpl)},
        {"wglGetCurrentContext", reinterpret_cast<void*>(&wglGetCurrentContextImpl)},
        {"wglGetCurrentDC", reinterpret_cast<void*>(&wglGetCurrentDCImpl)},
        {"wglGetProcAddress", reinterpret_cast<void*>(&wglGetProcAddressImpl)},
        {"wglMakeCurrent", reinterpret_cast<void*>(&wglMakeCurrentImpl)},
        {"wglShareLists", reinterpret_cast<void*>(&wglShareListsImpl)},
        {"wglSwapBuffers", reinterpret_cast<void*>(&wglSwapBuffersImpl)},
        {"wglUseFontBitmapsA", reinterpret_cast<void*>(&wglUseFontBitmapsImpl)},
        {"wglUseFontBitmapsW", reinterpret_cast<void*>(&wglUseFontBitmapsImpl)},
        {"wglGetPixelFormat", reinterpret_cast<void*>(&wglGetPixelFormatImpl)},
        {"wglSetPixelFormat", reinterpret_cast<void*>(&wglSetPixelFormatImpl)},
        {"wglDescribePixelFormat", reinterpret_cast<void*>(&wglDescribePixelFormatImpl)},
        {"wglChoosePixelFormat", reinterpret_cast<void*>(&wglChoosePixelFormatImpl)},
    };
    if (!name) {
        return nullptr;
    }
    for (const Entry& e : entries) {
        if (std::strcmp(e.name, name) == 0) {
            return e.function;
        }
    }
    return nullptr;
}

} // namespace sys
