// dev_application.h - the development player: the release player without the setup dialog,
// with fixed settings (640 x 480, 16-bit colour and depth, full screen, sound on), a start-up
// order of its own, and keys for reaching any moment of the demo quickly: seeking by seconds,
// pause and single frames, the Up and Down order jumps, and reloading the data while it runs.
// The window's title bar says where the demo is.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/data_watch.h"
#include "app/timeline_overlay.h"

// The development player's switch for sound [1]: initialise sound and load the music.
extern int soundEnabled;

// Puts the fixed settings into the process-wide settings.
void applyDevSettings();

// What the development player's command line asks for beyond the shared options.
struct DevOptions {
    float startAt = 0.0f;           // --at SECONDS: the demo time of the first frame
    RowSelection rows;              // --rows LIST: the schedule rows drawn; every row by default
    std::string looseFolder;        // --loose DIR: searched before the archive (an absolute path)
    bool watch = false;             // --watch: reload when a data file is saved
    std::vector<std::string> plots; // --plot NAME.env, each time it is given

    void reset() { *this = DevOptions{}; }
};
extern DevOptions devOptions;

// The development player's options for the shared command-line reader (PlayerProgram):
// --at SECONDS (0 to the demo's end), --rows LIST ("15", "4-8,12"), --loose DIR (a folder that
// exists), --watch and --plot NAME (repeatable), into devOptions.
extern const char* const devOptionUsage;
extern const char* const devOptionHelp;
int takeDevOption(int argc, char** argv, int i);
// Prints the key table, one key a line, as --help shows it.
void printDevKeys(FILE* out);
// Gives `program` the development player's options, their help and the key table.
struct PlayerProgram;
void addDevOptions(PlayerProgram& program);

// Seeking moves by these steps; a frame step is one frame at 60 frames a second.
constexpr float seekStep = 1.0f;
constexpr float seekStepShifted = 10.0f;
constexpr float frameStep = 1.0f / 60.0f;

class DevApplication : public Application {
public:
    // Loads GL only: no dialog, and sound waits for the window's creation.
    DevApplication();
    // WM_CREATE: the context before the full-screen switch, and the music after the schedule,
    // then a two-second pause.
    void initialise() override;
    // One frame, with the status line in the title bar.
    void frame() override;
    // The song starts, and then moves to startAt when that is not 0.
    void startMusic() override;

    // The order jump by `step` (+1 for Up, -1 for Down): from the order shown (the envelope's
    // order for the demo time), paused or playing, to the order after (or before) it: seekTo its
    // key time, so demo time is there at once and the music follows, with sound or without it.
    // Not before order 0, and never past the demo's end. Nothing before the first frame, which
    // starts the song.
    void jumpOrder(int step);
    // Demo time goes to `t`, held to 0 .. the demo's end, and the music to the place that plays
    // at `t`: the synchronisation envelope's order for `t`, as far into it as `t` is past the
    // order's key time. Demo time goes on from `t` (or stays there while paused); it is never
    // re-based to the start of the order it lands in. Before the first frame it moves startAt.
    void seekTo(float t);
    // seekTo(now + seconds).
    void seekBy(float seconds);
    // Pauses the pictures and the music together, or resumes both, the music from the place
    // that plays at the paused time. Nothing before the first frame.
    void togglePause();
    // While paused, moves `frames` frames of frameStep forward (or back when negative);
    // nothing while playing.
    void stepFrames(int frames);
    // Reads the data again: the archive, the synchronisation envelope and every file the
    // schedule's parts load, into a new schedule that replaces the old one; demo time goes on
    // unchanged, and the music is not reloaded. When anything fails to load, the data loaded
    // before stays in use, the reason goes to standard error, and the program runs on. Returns
    // whether the new data is in use.
    bool reload();
    // Tab: shows or hides the timeline over the bottom of the picture, and the mouse pointer
    // with it (a click on the timeline seeks there; a drag scrubs while paused).
    void toggleTimeline();
    // The mouse on the timeline, at picture point (x, y): the button going down there seeks;
    // moving with it held scrubs while paused; nothing while the timeline is hidden.
    void mouseDown(int x, int y);
    void mouseMove(int x, int y, bool held);
    void mouseUp();
    // The timeline's layout for this picture (with the plot band when there are plots).
    // Envelopes given with --plot are drawn over its axis.
    TimelineLayout layout() const;
    // Draws the timeline for demo time `t` in the overlay block's state, as a frame with the
    // timeline shown does over its picture.
    void drawTimelineAt(float t);
    // The timeline strip's status: "100.00 s | order 35 | playing" and any status note.
    std::string timelineStatus(float t) const;
    // F12: the next frame's picture, as the parts drew it (without the timeline), goes to
    // "shot-SSS.sss.png" (its demo time) in the working directory, through screenshotWriter.
    void requestScreenshot() { screenshotPending = true; }
    // With --watch: looks at what changed on disk, and reloads once the writes to a data file
    // have settled (data_watch.h), on this player's counter.
    void reloadWhenSaved();

    // "100.00 s | order 35 | 15 Dust, 16 Woah | playing": demo time `t`, the envelope's order
    // for it, the drawn rows active at it, and the pause state; for statusNoteSeconds after a
    // reload also "reloaded", or "reload failed: " and why, and after a screenshot its file.
    std::string statusLine(float t) const;

    float startAt = 0.0f; // the first frame's demo time
    // The sound library's output type at initialisation: the wave-out device. Tests put the
    // non-realtime output here, whose music moves only as far as they mix it.
    int soundOutput = MusicPlayer::outputWaveOut;
    bool reportNextFrame = true;   // the next frame writes its status line to standard error
    std::string lastReloadFailure; // what made the last reload fail; empty after a good one
    int reloadAttempts = 0;        // reloads tried, by R or by the watch

    bool watchData = false; // --watch: reloadWhenSaved runs every frame
    DataWatch dataWatch;
    std::vector<std::string> plots; // --plot: the envelopes the timeline draws, by name
    std::vector<Plot> plotted;      // read at start-up and again after every good reload
    int plotsRead = 0;              // how often `plotted` was read
    TimelineView timelineView;
    bool timelineShown = false;
    bool scrubbing = false;   // the button went down on the timeline and is held
    FrameTimes frameTimes;    // the times between the last frames, on the counter
    int64_t lastFrameAt = -1; // the counter at the previous frame
    bool screenshotPending = false;
    std::string lastScreenshot; // the path of the last screenshot written
    // What the status line says about the last reload or screenshot, and until which counter
    // reading.
    std::string statusNote;
    int64_t statusNoteUntil = 0;

    // Reads every envelope of `plots` through the search path in use.
    void loadPlots();

private:
    // The frame's work inside the overlay block (Application::overPicture).
    void drawOverPicture(float t);
    void writeScreenshot(float t);
    void setStatusNote(const std::string& note);
};

// How long the status line tells of a reload or a screenshot.
constexpr double statusNoteSeconds = 4.0;

// Writes a picture of `channels`-byte pixels, rows top to bottom, as a PNG file; false (the
// reason on standard error) when it cannot. The native player's entry point hands it the PNG
// writer of capture's stills (resources/png_writer.h); a web page has none and writes no files a
// person could open, so there F12 says that screenshots are not written.
using PictureWriter = bool (*)(const std::string& path, int width, int height, int channels,
                               const std::vector<unsigned char>& pixels);
extern PictureWriter screenshotWriter;

// The development player's window procedure: the key table's keys, everything else as in the
// release player.
intptr_t devWindowProc(sys::Window* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// The development player's entry point body, with devOptions applied. Returns the exit code.
int runDevPlayer();
// The same after the settings were made: for a host that changes some of the fixed settings
// (a web page has no display mode to switch). Returns the exit code.
int startDevPlayer();
