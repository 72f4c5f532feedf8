// devplayer_main.cpp - the development player's entry point.
#include "app/command_line.h"
#include "app/dev_application.h"
#include "resources/png_writer.h"

int main(int argc, char** argv) {
    PlayerProgram program{
        "devplayer",
        "Plays the TIR VAL demo at once in 640 x 480 full screen with sound, for working on it:\n"
        "start anywhere, seek, pause and step frames; Up and Down jump one music order forward\n"
        "or back; draw some schedule rows alone; reload changed data while it runs, or as\n"
        "soon as it is saved; Tab shows a timeline of the rows and orders to click on; F12\n"
        "writes screenshots. The title bar shows the demo time, the order, the rows drawn,\n"
        "and paused or playing."};
    addDevOptions(program);
    const int code = handleCommandLine(program, argc, argv);
    if (code >= 0) {
        return code;
    }
    requireDisplay();
    screenshotWriter = &writePng;
    return runDevPlayer();
}
