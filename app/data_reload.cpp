// data_reload.cpp - the new data set built aside, then swapped in whole or thrown away whole.
#include "app/data_reload.h"

#include <memory>

#include "app/application.h"
#include "effects/schedule.h"
#include "gfx/gl_api.h"
#include "platform/platform.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "timeline/part.h"
#include "timeline/timeline.h"

namespace {

// A fatal error during a reload ends the attempt instead of the process.
struct ReloadAbort {
    int code;
};
[[noreturn]] void abortReload(int code) {
    throw ReloadAbort{code};
}

std::string* reloadReport = nullptr; // the reports of the attempt running now

void collectReport(const char* text, const char* caption) {
    std::string line = std::string(caption) + ": " + text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
        line.pop_back();
    }
    if (reloadReport) {
        *reloadReport += (reloadReport->empty() ? "" : "\n") + line;
    }
}

// While it lives, fatal errors end the attempt and reports are collected into `report`.
struct ReportsCollected {
    sys::ExitHook previousExit;
    sys::ReportHook previousReport;
    explicit ReportsCollected(std::string& report)
        : previousExit(sys::setExitHook(&abortReload)),
          previousReport(sys::setReportHook(&collectReport)) {
        reloadReport = &report;
    }
    ~ReportsCollected() {
        sys::setExitHook(previousExit);
        sys::setReportHook(previousReport);
        reloadReport = nullptr;
    }
    ReportsCollected(const ReportsCollected&) = delete;
    ReportsCollected& operator=(const ReportsCollected&) = delete;
};

// Everything a reload replaces. It owns what it holds: the parts, the envelope and the path's
// sources are destroyed with it, the parts first, since they were loaded through the rest.
struct DataSet {
    SearchPath files;
    std::unique_ptr<ScalarTrack> envelope;
    Timeline parts;

    DataSet() = default;
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;
    ~DataSet() {
        for (int i = 0; i < parts.count; ++i) {
            delete parts.items[i];
        }
    }
};

// While it lives, every file is read through `path` instead of the search path in use.
struct ReadingThrough {
    SearchPath& path;
    explicit ReadingThrough(SearchPath& p) : path(p) { searchPath.swap(path); }
    ~ReadingThrough() { searchPath.swap(path); }
    ReadingThrough(const ReadingThrough&) = delete;
    ReadingThrough& operator=(const ReadingThrough&) = delete;
};

// Fills `set` as start-up fills the program's data. Throws ReloadAbort on a fatal error.
void load(DataSet& set) {
    addDataSources(set.files);
    ReadingThrough reading(set.files);
    set.envelope.reset(readSyncEnvelope());
    int ready = 0;
    buildSchedule(set.parts, ready);
}

} // namespace

ReloadResult reloadDemoData(Timeline& timeline) {
    ReloadResult result;
    auto fresh = std::make_unique<DataSet>();
    {
        ReportsCollected collecting(result.reason);
        result.loaded = true;
        try {
            load(*fresh);
        } catch (const ReloadAbort& abort) {
            result.loaded = false;
            if (result.reason.empty()) {
                result.reason = "loading ended with exit code " + std::to_string(abort.code);
            }
        }
        // The archive asks to quit when it cannot be opened or misses a file; here that is one
        // more failure to report, not the end.
        if (sys::withdrawQuitRequests() > 0) {
            result.loaded = false;
        }
    }
    if (result.loaded) {
        // The new pieces go in, and the set now holds the old ones, which go with it.
        searchPath.swap(fresh->files);
        timeline.swapParts(fresh->parts);
        fresh->envelope.reset(demoClock.replaceSyncEnvelope(fresh->envelope.release()));
        result.reason.clear();
    }
    fresh.reset();
    // A part's destructor may leave another matrix selected; each frame starts with the
    // modelview matrix selected, as the last frame's overlay block left it.
    glMatrixMode(GL_MODELVIEW);
    return result;
}
