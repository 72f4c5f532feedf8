// progress.cpp - the bar, the speed and the estimate of the time left.
#include "tools/capture/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string clockText(double seconds) {
    const int s = static_cast<int>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", s / 60, s % 60);
    return text;
}

} // namespace

ProgressBar::ProgressBar(int64_t totalFrames, bool terminal)
    : total(std::max<int64_t>(1, totalFrames)), terminal(terminal),
      started(std::chrono::steady_clock::now()), lastDraw(started) {}

double ProgressBar::elapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void ProgressBar::update(int64_t done, double demoTime) {
    const auto now = std::chrono::steady_clock::now();
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const int tenth = static_cast<int>(fraction * 10);
    if (terminal ? now - lastDraw < std::chrono::milliseconds(100) : tenth == lastTenth) {
        return;
    }
    lastDraw = now;
    lastTenth = tenth;
    const double elapsed = elapsedSeconds();
    const double speed = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;
    // The time left assumes the frames to come cost what the frames so far cost on average.
    const double left = speed > 0 ? static_cast<double>(total - done) / speed : 0.0;
    constexpr int barWidth = 30;
    const int filled = static_cast<int>(fraction * barWidth);
    const std::string bar = std::string(static_cast<size_t>(filled), '#') +
                            std::string(static_cast<size_t>(barWidth - filled), '.');
    std::fprintf(stderr, "%s[%s] %3d%%  frame %lld/%lld  demo %6.2f s  %5.1f fps  left %s%s",
                 terminal ? "\r" : "", bar.c_str(), static_cast<int>(fraction * 100),
                 static_cast<long long>(done), static_cast<long long>(total), demoTime, speed,
                 clockText(left).c_str(), terminal ? "  " : "\n");
    std::fflush(stderr);
}

void ProgressBar::finish(int64_t done) {
    const double elapsed = elapsedSeconds();
    std::fprintf(stderr, "%s%lld frames in %s (%.1f fps)\n", terminal ? "\r\033[K" : "",
                 static_cast<long long>(done), clockText(elapsed).c_str(),
                 elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0);
}
