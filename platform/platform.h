// platform.h - the narrow interface between the demo and the operating system.
//
// The demo was written against a window procedure, a performance counter, message boxes,
// WGL and display-mode switching. Each of those is served here with the same semantics, so the
// code above this layer keeps one structure on every system. One backend (platform/sdl/) implements
// it over SDL2 and dlopen; platform/template/ is the empty skeleton for a new backend. No header
// outside platform/ includes an operating-system or SDL header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace sys {

struct Window;

// ---------------------------------------------------------------------------------------------
// Time: the performance counter. A virtual counter replaces the real one for tests and offline
// capture, so that time is data rather than a side effect.
struct VirtualCounter {
    int64_t now = 0;
    int64_t frequency = 1000000;
};
int64_t performanceCounter();
int64_t performanceFrequency();
// Routes both counter calls to `counter` (owned by the caller) until called again with null.
void useVirtualCounter(VirtualCounter* counter);
void sleepMilliseconds(int milliseconds);

// ---------------------------------------------------------------------------------------------
// Reports and process exit.
// MB_NOBOX is this layer's own: the report goes to standard error (and a report hook) only. It
// is for a consequence of a failure that a box has already shown: one cause, one box.
enum MessageBoxFlags : unsigned { MB_OK = 0x0, MB_ICONERROR = 0x10, MB_NOBOX = 0x80000000u };
// Shows a modal box where a person can answer it. The program's name, the caption and the text
// go to stderr first, so the report is there before any box. Under SDL_VIDEODRIVER=offscreen or
// dummy nothing is shown, so headless runs never block. SIGINT or SIGTERM while a box is open
// ends the program at once, with 128 + the signal's number, and takes the box with it.
void messageBox(const char* text, const char* caption, unsigned flags);
// The debugger-output sink: standard error.
void debugOutput(const char* text);
// Opens the display that windows and dialogs appear on. False, with the reason, when none can
// be opened (for example no X or Wayland server and no headless driver chosen).
bool openDisplay(std::string& reason);
// Ends the process. A hook installed by tests runs instead; it must not return (throw instead).
// setExitHook returns the hook it replaces, so a caller can put it back.
using ExitHook = void (*)(int code);
[[noreturn]] void exitProcess(int code);
ExitHook setExitHook(ExitHook hook);
// While a report hook is installed, messageBox hands its text and caption to the hook instead of
// showing or printing them: a caller that recovers from a failure (the development player's
// reload) says what went wrong in its own words, and no box waits for an answer meanwhile.
// Returns the hook it replaces.
using ReportHook = void (*)(const char* text, const char* caption);
ReportHook setReportHook(ReportHook hook);
void showCursor(bool show);

// Tools that render offline ask for the headless GL driver unless the user chose a driver.
void preferHeadlessVideo();

// Turns a Windows-style relative path (".\textures\x.jpg") into this platform's form.
std::string nativePath(const char* path);
// The folder that holds the running program's file, ending in a separator; empty when the
// platform cannot tell.
std::string programFolder();

// ---------------------------------------------------------------------------------------------
// The window and its message queue, with the window procedure's semantics: WM_CREATE arrives
// synchronously inside createWindow, WM_PAINT once per invalidation, WM_KEYDOWN for keys
// (Escape, Up and Down mapped to their virtual-key codes), WM_CLOSE when the user closes the
// window, WM_DESTROY inside destroyWindow, and WM_QUIT from postQuitMessage.
// WM_KEYDOWN's lParam carries the modifier keys held when the key went down (keyFlagShift).
// The left mouse button arrives as WM_LBUTTONDOWN and WM_LBUTTONUP, and the pointer's moves
// as WM_MOUSEMOVE (one per pass of the queue: a move still queued is replaced by the next),
// with wParam holding mouseLeftHeld while the button is down. lParam holds the point
// (mousePosition) in the picture's own pixels: 0 .. width - 1 and 0 .. height - 1 of the size
// the window was created with, top left first, whatever size the picture has on the screen; a
// point on the bars beside a pillarboxed picture lies outside that range.
enum WindowMessage : unsigned {
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_KEYDOWN = 0x0100,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
};
enum MouseFlags : uintptr_t {
    mouseLeftHeld = 0x1,
};
// A point as lParam carries it: x in the low 16 bits and y in the next 16, both signed.
inline intptr_t mousePosition(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                                 static_cast<uint16_t>(x));
}
inline int mouseX(intptr_t lParam) {
    return static_cast<int16_t>(static_cast<uint16_t>(lParam & 0xFFFF));
}
inline int mouseY(intptr_t lParam) {
    return static_cast<int16_t>(static_cast<uint16_t>((lParam >> 16) & 0xFFFF));
}
// Letters arrive as 'A' to 'Z' and digits as '0' to '9' whatever the modifiers; a key without
// a meaning here arrives as 0xFF.
enum VirtualKey : unsigned {
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_F12 = 0x7B,
    VK_OEM_COMMA = 0xBC,  // ','
    VK_OEM_PERIOD = 0xBE, // '.'
};
enum KeyFlags : intptr_t {
    keyFlagShift = 0x1, // either Shift key was held
};

using WindowProc = intptr_t (*)(Window* window, unsigned message, uintptr_t wParam,
                                intptr_t lParam);

struct Message {
    Window* window = nullptr;
    unsigned message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Creates the demo window (a borderless pop-up at x, y of size width x height) and sends it
// WM_CREATE with lParam = createParam before returning. The native window itself is made when
// the pixel format is set, because GL attributes must be known first.
Window* createWindow(const char* title, int x, int y, int width, int height, WindowProc proc,
                     void* createParam);
void destroyWindow(Window* window); // sends WM_DESTROY, then releases the native window
void setWindowUserData(Window* window, void* data);
void* windowUserData(Window* window);
int windowWidth(Window* window);
int windowHeight(Window* window);
// The text of the window's title bar (shown wherever the window has one).
void setWindowTitle(Window* window, const char* title);
const char* windowTitle(Window* window);

// Takes the next message if there is one (native events are pumped first). Returns false when
// the queue is empty.
bool peekMessage(Message& message);
intptr_t dispatchMessage(const Message& message);
void waitMessage();
void redrawWindow(Window* window); // queues one WM_PAINT unless one is already queued
void postMessage(Window* window, unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
void postQuitMessage(int exitCode);
// Takes back the quit requests still in the queue; returns how many there were. For a caller
// that ran code which may ask to quit (the archive does when it misses a file) but recovers
// from that failure itself.
int withdrawQuitRequests();
// Drives the message loop: calls `pass` until it returns false, then returns what `finish`
// returns. A pass handles the queued messages up to one painted frame. Where the program owns
// its thread this is a plain loop. In a web page the browser owns the thread and shows a frame
// only once the program has returned to it: `pass` runs once per display refresh, runLoop never
// returns, and finish's result ends the program through exitProcess.
int runLoop(bool (*pass)(void* data), int (*finish)(void* data), void* data);

// ---------------------------------------------------------------------------------------------
// File-change notification, for a program that reads its files again when they are saved. A
// watch covers the files directly inside each folder it names (not those in folders below): a
// file written, created, removed, or renamed into or out of the folder counts as changed, so a
// tool that saves by renaming a new file over the old one is seen too. Where the system tells
// of changes the backend listens to it; elsewhere it lists the folders each time it is asked
// and compares (folder_poll.h).
struct FolderWatch;
struct FileChange {
    // The folder's index in the list given to watchFolders, and the file's name in it. Folder
    // -1 with an empty name: changes were lost (the system's queue overflowed), so any file
    // may have changed.
    int folder = -1;
    std::string name;
};
// Starts watching `folders` (paths in this platform's form; "" is the working directory).
// A folder that cannot be watched (it does not exist, say) is left out, with a line in
// `reason`; null when none can be.
FolderWatch* watchFolders(const std::vector<std::string>& folders, std::string& reason);
// The changes seen since the last call (or since the watch began), without waiting for any. A
// file changed several times may be named once or several times.
std::vector<FileChange> takeFileChanges(FolderWatch* watch);
void closeFolderWatch(FolderWatch* watch);

// ---------------------------------------------------------------------------------------------
// Pixel formats and display modes.
struct PixelFormatDescriptor {
    uint16_t nSize;
    uint16_t nVersion;
    uint32_t dwFlags;
    uint8_t iPixelType;
    uint8_t cColorBits;
    uint8_t cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift;
    uint8_t cAlphaBits, cAlphaShift;
    uint8_t cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits, cAccumAlphaBits;
    uint8_t cDepthBits;
    uint8_t cStencilBits;
    uint8_t cAuxBuffers;
    uint8_t iLayerType;
    uint8_t bReserved;
    uint32_t dwLayerMask;
    uint32_t dwVisibleMask;
    uint32_t dwDamageMask;
};
static_assert(sizeof(PixelFormatDescriptor) == 40, "the descriptor keeps its 40-byte layout");
enum PixelFormatFlags : uint32_t {
    PFD_DOUBLEBUFFER = 0x1,
    PFD_DRAW_TO_WINDOW = 0x4,
    PFD_SUPPORT_OPENGL = 0x20,
};
enum { PFD_TYPE_RGBA = 0 };

// 0 when the request cannot be met (no double-buffered RGBA format with those bits), else a
// positive format index.
int choosePixelFormat(Window* window, const PixelFormatDescriptor& descriptor);
// Applies the format: sets the GL attributes and makes the native GL window. Returns false when
// the native window cannot be made.
bool setPixelFormat(Window* window, int format, const PixelFormatDescriptor& descriptor);

// The display-mode switch. Returns 0 when an exact mode (width, height, bits per pixel) was
// set, 1 when the desktop full-screen fallback was used instead (the 4:3 picture is scaled to
// fit and pillarboxed), and a larger value when neither worked.
int switchDisplayMode(Window* window, int width, int height, int bitsPerPixel);
void restoreDisplayMode();

// ---------------------------------------------------------------------------------------------
// Modal dialogs (platform/dialog.h holds the portable model).
// Shows the dialog as a modal window centred on the screen, runs `proc` with `param` from
// WM_INITDIALOG on, and returns the value given to endDialog; -1 when no window can be shown.
// Under the headless video drivers (offscreen, dummy) nobody could answer it: the dialog is
// started and Enter is pressed at once, without a window, and a line on standard error says so.
intptr_t dialogBoxParam(const DialogTemplate& dialogTemplate, DialogProc proc, intptr_t param);
// Draws `dialog` as its window shows it into `rgba` (width x height pixels, 4 bytes each, rows
// top to bottom). Needs no display; false when the backend cannot draw.
bool drawDialog(const Dialog& dialog, std::vector<uint8_t>& rgba, int& width, int& height);

// ---------------------------------------------------------------------------------------------
// The debug channel's sinks beyond standard error.
// The debug-monitor handshake: a monitor program owns the 4096-byte shared buffer
// "DBWIN_BUFFER" and the semaphores "DBWIN_BUFFER_READY" (the buffer is free) and
// "DBWIN_DATA_READY" (a message is in it). A sender waits for the buffer, writes a 32-bit
// process id and the zero-terminated text into its first dbwinViewSize bytes, and signals.
constexpr size_t dbwinBufferSize = 4096;
constexpr size_t dbwinViewSize = 512;
// The longest text that fits the view after the process id and with its terminating zero.
constexpr size_t dbwinTextMax = dbwinViewSize - 4 - 1;
// Sends `text` (cut to dbwinTextMax characters) with process id 0 to the running monitor.
// Returns false at once when no monitor is running; waits while a running monitor is busy, but
// gives up when that monitor ends meanwhile.
bool sendToDebugMonitor(const char* text);
// The monitor's side. openDebugMonitor makes the buffer and semaphores (null, with the reason,
// when another monitor runs or they cannot be made); receiveDebugMessage waits up to
// `timeoutMilliseconds` and returns 1 with a message, 0 when none came, -1 on an error;
// closeDebugMonitor removes them, so senders find no monitor again.
struct DebugMonitor;
DebugMonitor* openDebugMonitor(std::string& reason);
int receiveDebugMessage(DebugMonitor* monitor, uint32_t& processId, std::string& text,
                        int timeoutMilliseconds);
void closeDebugMonitor(DebugMonitor* monitor);
// A debug device driver opened by name. This platform has no virtual-device interface, so
// openDebugDevice always returns null and the channel switches that sink off.
struct DebugDevice;
DebugDevice* openDebugDevice(const char* name);
void writeDebugDevice(DebugDevice* device, const void* data, size_t size);

// ---------------------------------------------------------------------------------------------
// Dynamic libraries and GL. The GL entry-point table loads the GL library by name through these.
void* loadLibrary(const char* name); // "opengl32.dll" names this platform's GL library
void* libraryProc(void* library, const char* name);
void freeLibrary(void* library);
// The GL loader's own get-proc-address (for names a plain symbol lookup misses).
void* glLoaderProc(void* library, const char* name);
// The WGL functions, served by the platform over its GL context API; null for other names.
void* wglEntry(const char* name);

} // namespace sys
