// cmd_dialog.cpp - tirtool dialog: draws the release player's setup dialog, as its window first
// shows it, into a PNG (the README's picture comes from here). Needs no display.
#include <cstdio>
#include <string>
#include <vector>

#include "app/setup_dialog.h"
#include "music/music_player.h"
#include "platform/platform.h"
#include "resources/png_writer.h"
#include "tools/tirtool/command.h"

namespace {

int dialog(const std::vector<std::string>& args) {
    bool openList = false;
    std::string out;
    for (const std::string& a : args) {
        if (a == "--open-list") {
            openList = true;
        } else if (out.empty() && a.rfind("--", 0) != 0) {
            out = a;
        } else {
            return usageError("dialog");
        }
    }
    if (out.empty()) {
        return usageError("dialog");
    }
    MusicPlayer music; // the device list shows the sound library's default output
    sys::Dialog d(setupDialogTemplate, &setupDialogProc, reinterpret_cast<intptr_t>(&music));
    sys::startDialog(d);
    if (openList) {
        // Focus on the resolution list and drop it down, as Tab, Tab, F4 would.
        sys::dialogKey(d, sys::DialogKey::Tab);
        sys::dialogKey(d, sys::DialogKey::Tab);
        sys::dialogKey(d, sys::DialogKey::ToggleList);
    }
    std::vector<unsigned char> rgba;
    int width = 0, height = 0;
    if (!sys::drawDialog(d, rgba, width, height)) {
        return fail("dialog: this platform cannot draw dialogs");
    }
    if (!writePng(out, width, height, 4, rgba)) {
        return 1;
    }
    std::printf("wrote the setup dialog, %d x %d, to %s\n", width, height, out.c_str());
    return 0;
}

const CommandRegistration registration{
    {"dialog", "OUT.png [--open-list]", "draws the player's setup dialog as it first appears",
     &dialog,
     "    OUT.png   the PNG file to write\n"
     "    --open-list  draw it with the resolution list dropped down\n"}};

} // namespace
