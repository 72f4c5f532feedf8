// platform_template.cpp - the skeleton of a new platform backend: every entry of
// platform/platform.h with the least behaviour that keeps the demo's code paths valid (no
// window, no GL, a counter that never moves). Copy it into platform/NAME/, fill it in, and
// point the build's platform glob at that folder. It is not built by default. File-change
// notification lists the watched folders and compares (folder_poll.h) until the backend listens
// to its system's own notification.
#include "platform/folder_poll.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace sys {

struct Window {
    WindowProc proc;
    void* userData;
    int width, height;
};

static VirtualCounter* virtualCounter = nullptr;
static ExitHook exitHook = nullptr;
static ReportHook reportHook = nullptr;

int64_t performanceCounter() {
    return virtualCounter ? virtualCounter->now : 0;
}
int64_t performanceFrequency() {
    return virtualCounter ? virtualCounter->frequency : 1;
}
void useVirtualCounter(VirtualCounter* counter) {
    virtualCounter = counter;
}
void sleepMilliseconds(int) {}
void messageBox(const char* text, const char* caption, unsigned) {
    if (reportHook) {
        reportHook(text, caption);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
}
void debugOutput(const char* text) {
    std::fputs(text, stderr);
}
bool openDisplay(std::string& reason) {
    reason = "this backend has no display";
    return false;
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
        exitHook(code);
    }
    std::_Exit(code);
}
void showCursor(bool) {}
void preferHeadlessVideo() {}
std::string nativePath(const char* path) {
    return path ? path : "";
}
std::string programFolder() {
    return "";
}

Window* createWindow(const char*, int, int, int width, int height, WindowProc proc,
                     void* createParam) {
    Window* w = new Window{proc, nullptr, width, height};
    proc(w, WM_CREATE, 0, reinterpret_cast<intptr_t>(createParam));
    return w;
}
void destroyWindow(Window* window) {
    window->proc(window, WM_DESTROY, 0, 0);
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
void setWindowTitle(Window*, const char*) {}
const char* windowTitle(Window*) {
    return "";
}
bool peekMessage(Message&) {
    return false;
}
intptr_t dispatchMessage(const Message& m) {
    return m.window ? m.window->proc(m.window, m.message, m.wParam, m.lParam) : 0;
}
void waitMessage() {}
void redrawWindow(Window*) {}
void postMessage(Window*, unsigned, uintptr_t, intptr_t) {}
void postQuitMessage(int) {}
int withdrawQuitRequests() {
    return 0;
}
int runLoop(bool (*pass)(void*), int (*finish)(void*), void* data) {
    while (pass(data)) {
    }
    return finish(data);
}

struct FolderWatch {
    FolderPoller poller;
};
FolderWatch* watchFolders(const std::vector<std::string>& folders, std::string& reason) {
    auto* watch = new FolderWatch;
    reason.clear();
    if (watch->poller.addAll(folders, reason) == 0) {
        delete watch;
        return nullptr;
    }
    return watch;
}
std::vector<FileChange> takeFileChanges(FolderWatch* watch) {
    return watch ? watch->poller.look() : std::vector<FileChange>{};
}
void closeFolderWatch(FolderWatch* watch) {
    delete watch;
}

int choosePixelFormat(Window*, const PixelFormatDescriptor&) {
    return 0;
}
bool setPixelFormat(Window*, int, const PixelFormatDescriptor&) {
    return false;
}
int switchDisplayMode(Window*, int, int, int) {
    return 2;
}
void restoreDisplayMode() {}

intptr_t dialogBoxParam(const DialogTemplate&, DialogProc, intptr_t) {
    return -1;
}
bool drawDialog(const Dialog&, std::vector<uint8_t>&, int&, int&) {
    return false;
}

bool sendToDebugMonitor(const char*) {
    return false;
}
DebugMonitor* openDebugMonitor(std::string& reason) {
    reason = "this backend has no debug monitor";
    return nullptr;
}
int receiveDebugMessage(DebugMonitor*, uint32_t&, std::string&, int) {
    return -1;
}
void closeDebugMonitor(DebugMonitor*) {}
DebugDevice* openDebugDevice(const char*) {
    return nullptr;
}
void writeDebugDevice(DebugDevice*, const void*, size_t) {}

void* loadLibrary(const char*) {
    return nullptr;
}
void* libraryProc(void*, const char*) {
    return nullptr;
}
void freeLibrary(void*) {}
void* glLoaderProc(void*, const char*) {
    return nullptr;
}
void* wglEntry(const char*) {
    return nullptr;
}

} // namespace sys
