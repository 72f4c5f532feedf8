// main.cpp - capture: the release player's frames and sound, rendered offline. A run writes
// PNG frames, a WAV file, an MP4 through ffmpeg, a contact sheet and a frame log; --at writes
// stills at chosen demo times. Time comes from a virtual counter, so the output depends only on
// the data and the options, never on the speed of the machine.
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "platform/child_process.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/options.h"

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    if (!parseCaptureArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "capture: %s\n\n%s", error.c_str(), captureUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(captureUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("capture (TIR VAL) %s\n", tirVersion());
        return 0;
    }
    sys::keepDefaultSignalHandling(); // Ctrl-C stops a long capture
    return options.still() ? captureStills(options) : runCapture(options);
}
