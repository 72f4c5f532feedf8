// headless_player.cpp - the release player's start-up with fixed settings.
#include "tools/common/headless_player.h"

#include "app/application.h"
#include "gfx/render_context.h"
#include "platform/fsound.h"
#include "platform/platform.h"

namespace {

// The player lives until the process ends, as it does in the player program; holding it here
// keeps it and its parts reachable for leak checkers.
Application* player = nullptr;

} // namespace

Application* startHeadlessPlayer(int width, int height, bool offlineSound, std::string& error) {
    sys::preferHeadlessVideo();
    settings.showSetupDialog = 0;
    settings.fullscreen = 0;
    settings.screenWidth = width;
    settings.screenHeight = height;
    settings.colourDepth = 32;
    auto* app = new Application;
    player = app;
    if (offlineSound) {
        // Where the release player's constructor starts sound after its dialog.
        app->music.outputType = FSOUND_OUTPUT_NOSOUND_NONREALTIME;
        if (!app->music.initialise()) {
            error = "the offline sound output could not start";
            return nullptr;
        }
    }
    app->createMainWindow();
    if (!app->context || !app->context->glContext) {
        error = "no GL context could be created (is SDL_VIDEODRIVER=offscreen available?)";
        return nullptr;
    }
    return app;
}
