// devplayer_main.cpp - the development player's entry point.
#include "app/command_line.h"
#include "app/dev_application.h"

int main(int argc, char** argv) {
    static const PlayerProgram program{
        "devplayer",
        "Plays the TIR VAL demo at once in 640 x 480 full screen with sound, for working on it:\n"
        "Up and Down jump one music order forward or back, and the pictures follow.\n"
        "Escape ends the demo."};
    const int code = handleCommandLine(program, argc, argv);
    if (code >= 0) {
        return code;
    }
    requireDisplay();
    return runDevPlayer();
}
