// player_main.cpp - the release player's entry point.
#include "app/application.h"
#include "app/command_line.h"
#include "app/setup_dialog.h"

int main(int argc, char** argv) {
    PlayerProgram program{
        "player", "Plays the TIR VAL demo after asking, in its setup dialog, for the resolution,\n"
                  "the colour depth, the sound device and full screen. Escape ends the demo."};
    program.usage = playerOptionUsage;
    program.options = playerOptionHelp;
    program.takeOption = &takePlayerOption;
    const int code = handleCommandLine(program, argc, argv);
    if (code >= 0) {
        return code;
    }
    requireDisplay();
    return runPlayer();
}
