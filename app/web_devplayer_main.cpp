// web_devplayer_main.cpp - the development player in a web page (dev.html). The same player as
// on a desktop, keys and status line included, except that a page has no display mode to
// switch: the picture stays in its 640 x 480 canvas, and the page shows the status line (the
// window title) below it.
#include "app/command_line.h"
#include "app/dev_application.h"

int main(int argc, char** argv) {
    PlayerProgram program{"devplayer",
                          "Plays the TIR VAL demo in a web page for working on it: start anywhere, "
                          "seek,\npause and step frames, jump one music order forward or back."};
    addDevOptions(program);
    const int code = handleCommandLine(program, argc, argv);
    if (code >= 0) {
        return code;
    }
    requireDisplay();
    applyDevSettings();
    fullscreen = 0;
    return startDevPlayer();
}
