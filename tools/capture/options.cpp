// options.cpp - the strict command-line parser.
#include "tools/capture/options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <set>

#include "app/application.h"
#include "app/row_list.h"
#include "effects/schedule.h"

namespace {

const char usageText[] =
    "usage: capture --data DIR --out OUT --fps N --size WxH [--from A --to B]\n"
    "               [--video FILE.mp4 [--preset P] [--crf N]] [--wav FILE.wav]\n"
    "               [--sheet FILE.png|FILE.jpg --every S] [--log FILE.txt] [--force]\n"
    "       capture --data DIR --render-only [--fps N --size WxH --from A --to B]\n"
    "       capture --data DIR --at T[,T...] --size WxH --out FILE.png|DIR [--force]\n"
    "       capture --help | --version\n"
    "\n"
    "Runs the release player's frame loop offline: the clock advances exactly 1/N s per frame\n"
    "and the music is rendered in step, so every frame shows what the live player shows at\n"
    "that moment of the song.\n"
    "  --data DIR      folder holding tir.val (default: the working directory)\n"
    "  --out OUT       folder for the frames, written as OUT/frame-00000.png ...; a folder that\n"
    "                  holds frames from an earlier run is refused (see --force)\n"
    "  --fps N         frames per second, 1 to 240 (default 30)\n"
    "  --size WxH      frame size, 16x16 up to 4096x4096 (default 640x480); a size that is\n"
    "                  not 4:3 shows the 4:3 picture in the middle with black bars\n"
    "  --from A        the first demo second to capture, 0 to 186.5 (default 0): the first\n"
    "                  frame shows demo time A\n"
    "  --to B          the demo second the run ends at, up to 186.5 (default: the demo's end):\n"
    "                  N * (B - A) frames are written, rounded up and at least one, fewer\n"
    "                  only where the demo ends first\n"
    "  --video F.mp4   pipe frames and sound to ffmpeg (needs the ffmpeg package and an even\n"
    "                  width and height); .mkv and .mov names give those containers\n"
    "  --preset P      x264's speed preset for --video, ultrafast to veryslow (default\n"
    "                  superfast)\n"
    "  --crf N         x264's quality for --video, 0 (lossless) to 51 (default 18)\n"
    "  --wav F.wav     the sound of the captured frames (32-bit float stereo, 44,100 Hz)\n"
    "  --sheet F.png   a contact sheet: one frame every S seconds, labelled with its demo\n"
    "                  time and the schedule rows on screen; a .jpg or .jpeg name writes it\n"
    "                  as JPEG\n"
    "  --every S       the seconds between two frames of the sheet (default 5)\n"
    "  --log F.txt     one line per frame: frame, seconds, music order, demo time, rows\n"
    "  --render-only   draw every frame and write nothing: the renderer's own speed\n"
    "  --force         remove the frames an earlier run left in --out before writing\n"
    "  --at T[,T...]   stills at demo times T instead of a run: one time writes the PNG file\n"
    "                  OUT, several write OUT/at-SSS.mmm.png into the folder OUT\n"
    "  --rows LIST     draw only these schedule rows, 1 to 22, such as 15 or 4-8,12\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "A run needs at least one of --out, --video, --wav, --sheet and --render-only. Every path\n"
    "is checked before the first frame is drawn. TIR_GL=es3 draws through the program's own\n"
    "OpenGL 1.1 layer over OpenGL ES 3 instead of the driver's OpenGL, as in the players.\n";

const char* const x264Presets[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                   "medium",    "slow",      "slower",   "veryslow", "placebo"};

} // namespace

const char* captureUsage() {
    return usageText;
}

bool parseSeconds(const std::string& text, double low, double high, double& value) {
    if (text.empty() || text.size() > 64) {
        return false;
    }
    // Plain decimal notation only: strtod would also take "nan", "inf", hex floats and
    // leading spaces.
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end != begin + text.size() || errno == ERANGE || !std::isfinite(v) || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

bool parseWholeNumber(const std::string& text, int low, int high, int& value) {
    int v = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) {
        return false;
    }
    int w = 0, h = 0;
    if (!parseWholeNumber(text.substr(0, x), captureMinSize, captureMaxSize, w) ||
        !parseWholeNumber(text.substr(x + 1), captureMinSize, captureMaxSize, h)) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool hasExtension(const std::string& path, std::initializer_list<const char*> extensions) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return false;
    }
    std::string ext = path.substr(dot);
    for (char& c : ext) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const char* e : extensions) {
        if (ext == e) {
            return true;
        }
    }
    return false;
}

int64_t runFrameCount(double from, double to, int fps) {
    const double frames = (to - from) * fps;
    const double whole = std::round(frames);
    const double count = std::fabs(frames - whole) < 1e-6 ? whole : std::ceil(frames);
    return std::max<int64_t>(1, static_cast<int64_t>(count));
}

bool parseCaptureArguments(int argc, const char* const* argv, CaptureOptions& o,
                           std::string& error) {
    std::set<std::string> seen;
    const double end = static_cast<double>(demoLength);
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            return true;
        }
        if (name == "--version") {
            o.version = true;
            return true;
        }
        if (name == "--render-only" || name == "--force") {
            if (!seen.insert(name).second) {
                error = name + " is given twice";
                return false;
            }
            (name == "--force" ? o.force : o.renderOnly) = true;
            continue;
        }
        static const std::set<std::string> known = {
            "--data",  "--out",   "--fps", "--size", "--from", "--to",     "--video", "--wav",
            "--sheet", "--every", "--log", "--at",   "--rows", "--preset", "--crf"};
        if (!known.count(name)) {
            error = "unknown argument \"" + name + "\"";
            return false;
        }
        if (!seen.insert(name).second) {
            error = name + " is given twice";
            return false;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (name == "--data") {
            o.data = value;
        } else if (name == "--out") {
            o.out = value;
        } else if (name == "--video") {
            o.video = value;
        } else if (name == "--wav") {
            o.wav = value;
        } else if (name == "--sheet") {
            o.sheet = value;
        } else if (name == "--log") {
            o.log = value;
        } else if (name == "--preset") {
            if (std::find(std::begin(x264Presets), std::end(x264Presets), value) ==
                std::end(x264Presets)) {
                error = "--preset wants one of x264's presets, ultrafast, superfast, veryfast, "
                        "faster, fast, medium, slow, slower, veryslow or placebo, not \"" +
                        value + "\"";
                return false;
            }
            o.preset = value;
        } else if (name == "--crf") {
            if (!parseWholeNumber(value, 0, 51, o.crf)) {
                error = "--crf wants a whole number from 0 to 51, not \"" + value + "\"";
                return false;
            }
        } else if (name == "--fps") {
            if (!parseWholeNumber(value, 1, captureMaxFps, o.fps)) {
                error = "--fps wants a whole number of frames per second from 1 to 240, not \"" +
                        value + "\"";
                return false;
            }
        } else if (name == "--size") {
            if (!parseSize(value, o.width, o.height)) {
                error = "--size wants WIDTHxHEIGHT, each from 16 to 4096, such as 640x480, not \"" +
                        value + "\"";
                return false;
            }
        } else if (name == "--from" || name == "--to") {
            double& target = name == "--from" ? o.from : o.to;
            if (!parseSeconds(value, 0.0, end, target)) {
                error = name + " wants demo seconds from 0 to 186.5, not \"" + value + "\"";
                return false;
            }
        } else if (name == "--every") {
            if (!parseSeconds(value, 0.001, end, o.every)) {
                error = "--every wants seconds above 0, not \"" + value + "\"";
                return false;
            }
        } else if (name == "--rows") {
            std::string why;
            if (!parseRowList(value.c_str(), scheduleRowCount, o.rows, why)) {
                error = "--rows \"" + value + "\": " + why;
                return false;
            }
        } else if (name == "--at") {
            size_t start = 0;
            for (;;) {
                const size_t comma = value.find(',', start);
                const std::string one = value.substr(start, comma - start);
                double t = 0;
                if (!parseSeconds(one, 0.0, end, t)) {
                    error = "--at wants demo seconds from 0 to 186.5, not \"" + one + "\"";
                    return false;
                }
                o.at.push_back(t);
                if (comma == std::string::npos) {
                    break;
                }
                start = comma + 1;
            }
        }
    }

    if (o.still()) {
        for (const char* runOnly : {"--fps", "--from", "--to", "--video", "--wav", "--sheet",
                                    "--every", "--log", "--preset", "--crf", "--render-only"}) {
            if (seen.count(runOnly)) {
                error = std::string(runOnly) + " belongs to a run, not to --at";
                return false;
            }
        }
        if (o.out.empty()) {
            error = "--at needs --out";
            return false;
        }
        if (o.at.size() > 1 && hasExtension(o.out, {".png"})) {
            error = "--at with several times writes a folder of stills, so --out names a "
                    "folder, not the file \"" +
                    o.out + "\"";
            return false;
        }
        if (o.at.size() == 1 && !hasExtension(o.out, {".png"})) {
            error = "--at with one time writes one PNG file: --out wants a name ending in .png, "
                    "not \"" +
                    o.out + "\"";
            return false;
        }
        if (o.force && o.at.size() == 1) {
            error = "--force belongs to a folder of frames or stills";
            return false;
        }
        return true;
    }
    if (o.to < 0) {
        o.to = end;
    }
    if (o.from > o.to) {
        error = "--from must not be later than --to";
        return false;
    }
    if (seen.count("--every") && o.sheet.empty()) {
        error = "--every belongs to --sheet";
        return false;
    }
    if ((seen.count("--preset") || seen.count("--crf")) && o.video.empty()) {
        error = std::string(seen.count("--preset") ? "--preset" : "--crf") + " belongs to --video";
        return false;
    }
    if (o.force && o.out.empty()) {
        error = "--force belongs to --out";
        return false;
    }
    const bool writes = !o.out.empty() || !o.video.empty() || !o.wav.empty() || !o.sheet.empty();
    if (o.renderOnly && writes) {
        error = "--render-only writes nothing, so it goes with none of --out, --video, --wav "
                "and --sheet";
        return false;
    }
    if (!writes && !o.renderOnly) {
        error = "nothing to write: give --out, --video, --wav or --sheet";
        return false;
    }
    if (!o.out.empty() && hasExtension(o.out, {".png", ".jpg", ".jpeg", ".mp4", ".wav"})) {
        error = "--out names the folder for the frames, not a file such as \"" + o.out + "\"";
        return false;
    }
    if (!o.wav.empty() && !hasExtension(o.wav, {".wav"})) {
        error = "--wav writes a WAV file: its name must end in .wav, not \"" + o.wav + "\"";
        return false;
    }
    if (!o.sheet.empty() && !hasExtension(o.sheet, {".png", ".jpg", ".jpeg"})) {
        error = "--sheet writes PNG or JPEG: its name must end in .png, .jpg or .jpeg, not \"" +
                o.sheet + "\"";
        return false;
    }
    if (!o.video.empty() && !hasExtension(o.video, {".mp4", ".m4v", ".mkv", ".mov"})) {
        error = "--video writes H.264 and AAC into an MP4, MKV or MOV file: its name must end "
                "in .mp4, .m4v, .mkv or .mov, not \"" +
                o.video + "\"";
        return false;
    }
    if (!o.video.empty() && (o.width % 2 || o.height % 2)) {
        error = "--video needs an even width and height (the video's colour planes are halved)";
        return false;
    }
    return true;
}
