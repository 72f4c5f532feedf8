// timeline_overlay.cpp - the timeline's layout, its frame times and plots, and its drawing: one
// batch of textured quads from the overlay's font texture between a state guard's save and
// restore.
#include "app/timeline_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gfx/gl_api.h"
#include "gfx/text_overlay.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "timeline/part.h"
#include "timeline/timeline.h"

const TimelineColours timelineColours;

// ---------------------------------------------------------------------------------------------
// Layout

TimelineLayout timelineLayout(float width, float height, int rows, bool withPlots, float length) {
    TimelineLayout l;
    l.length = length;
    l.width = width;
    l.left = 8.0f;
    l.right = width - 8.0f;
    l.bottom = height;
    // From the bottom up: a strip of one line of text, the order numbers in the small font
    // under the axis, the rows above it.
    l.statusTop = height - 20.0f;
    l.labelTop = l.statusTop - 10.0f;
    l.axisY = l.labelTop - 4.0f;
    const float rowsBottom = l.axisY - 2.0f;
    l.rowsTop = rowsBottom - static_cast<float>(rows) * l.rowPitch;
    if (withPlots) {
        l.plotBottom = l.rowsTop - 4.0f;
        l.plotTop = l.plotBottom - 48.0f;
        l.top = l.plotTop - 4.0f;
    } else {
        l.plotTop = l.plotBottom = l.rowsTop;
        l.top = l.rowsTop - 4.0f;
    }
    return l;
}

float TimelineLayout::timeAt(int x) const {
    const float t = (static_cast<float>(x) + 0.5f - left) / (right - left) * length;
    return std::clamp(t, 0.0f, length);
}

bool TimelineLayout::seeksAt(int x, int y) const {
    return x >= left - 4.0f && x < right + 4.0f && y >= top && y < statusTop;
}

float TimelineLayout::plotY(float value, float low, float high) const {
    // One pixel of margin at either edge, so that the extremes stay inside the band.
    const float span = plotBottom - plotTop - 3.0f;
    const float u = high > low ? (value - low) / (high - low) : 0.5f;
    return plotBottom - 2.0f - u * span;
}

// ---------------------------------------------------------------------------------------------
// Frame times

void FrameTimes::add(double seconds) {
    times[next] = seconds;
    next = (next + 1) % capacity;
    filled = std::min(filled + 1, capacity);
}

double FrameTimes::at(int i) const {
    return times[(next - filled + i + capacity) % capacity];
}

double FrameTimes::framesPerSecond() const {
    double sum = 0.0;
    for (int i = 0; i < filled; ++i) {
        sum += at(i);
    }
    return sum > 0.0 ? filled / sum : 0.0;
}

// ---------------------------------------------------------------------------------------------
// Plots

Plot::Plot() = default;
Plot::~Plot() = default;
Plot::Plot(Plot&&) noexcept = default;
Plot& Plot::operator=(Plot&&) noexcept = default;

int Plot::components() const {
    return vector ? 3 : scalar ? 1 : 0;
}

float Plot::valueAt(int c, float t) const {
    // Evaluation keeps only its last segment in the track, which the plot owns.
    if (vector) {
        evaluate(*vector, t);
        return vector->value[c];
    }
    return scalar ? evaluate(*scalar, t) : 0.0f;
}

Plot loadPlot(const std::string& name, const TimelineLayout& layout) {
    Plot plot;
    plot.name = name;
    LoadedFile* file = searchPath.load(name.c_str(), loadQuiet);
    if (!file) {
        plot.problem = "no such file";
        return plot;
    }
    std::string text;
    {
        FileLock lock(file);
        text.assign(reinterpret_cast<const char*>(lock.data), static_cast<size_t>(file->size));
    }
    // A scalar key line converts 2 or 5 numbers, which a vector envelope's reader skips, so a
    // file that gives vector keys is a vector envelope.
    auto vector = std::make_unique<VectorTrack>();
    parseVectorEnvelope(*vector, text.c_str());
    if (vector->keyCount > 0) {
        plot.vector = std::move(vector);
    } else {
        auto scalar = std::make_unique<ScalarTrack>();
        parseEnvelope(*scalar, text.c_str());
        if (scalar->keyCount == 0) {
            plot.problem = "no key lines";
            return plot;
        }
        plot.scalar = std::move(scalar);
    }
    const float first = plot.vector ? plot.vector->keys[0].time : plot.scalar->keys[0].time;
    const float last = plot.vector ? plot.vector->keys[plot.vector->lastIndex].time
                                   : plot.scalar->keys[plot.scalar->lastIndex].time;
    const int from = std::max(static_cast<int>(std::ceil(layout.xOf(first) - 0.5f)),
                              static_cast<int>(layout.left));
    const int to = std::min(static_cast<int>(std::floor(layout.xOf(last) - 0.5f)),
                            static_cast<int>(layout.right) - 1);
    plot.firstColumn = from;
    bool any = false;
    for (int c = 0; c < plot.components(); ++c) {
        for (int x = from; x <= to; ++x) {
            const float v = plot.valueAt(c, layout.timeAt(x));
            plot.columns[c].push_back(v);
            plot.low = any ? std::min(plot.low, v) : v;
            plot.high = any ? std::max(plot.high, v) : v;
            any = true;
        }
    }
    if (!any) {
        plot.problem = "its keys lie outside the demo";
    }
    return plot;
}

// ---------------------------------------------------------------------------------------------
// Drawing

namespace {

// The state the timeline changes, saved as the overlay block left it and put back afterwards.
struct SavedState {
    GLint activeUnit = GL_TEXTURE0_ARB;
    GLboolean secondUnitTexturing = GL_FALSE;
    GLint binding = 0;
    GLboolean texturing = GL_TRUE;
    GLint environment = GL_MODULATE;
    GLboolean culling = GL_FALSE;
    GLboolean alphaTest = GL_FALSE;
    GLfloat texCoord[4] = {0, 0, 0, 1};

    void save() {
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &activeUnit);
        glActiveTextureARB(GL_TEXTURE1_ARB);
        secondUnitTexturing = glIsEnabled(GL_TEXTURE_2D);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
        texturing = glIsEnabled(GL_TEXTURE_2D);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &environment);
        culling = glIsEnabled(GL_CULL_FACE);
        alphaTest = glIsEnabled(GL_ALPHA_TEST);
        glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    }
    void restore() const {
        glTexCoord4f(texCoord[0], texCoord[1], texCoord[2], texCoord[3]);
        enable(GL_ALPHA_TEST, alphaTest);
        enable(GL_CULL_FACE, culling);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, environment);
        enable(GL_TEXTURE_2D, texturing);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(binding));
        glActiveTextureARB(GL_TEXTURE1_ARB);
        enable(GL_TEXTURE_2D, secondUnitTexturing);
        glActiveTextureARB(static_cast<GLenum>(activeUnit));
    }
    static void enable(GLenum cap, GLboolean on) {
        if (on) {
            glEnable(cap);
        } else {
            glDisable(cap);
        }
    }
};

void colour(const float (&rgb)[3], float alpha = 1.0f) {
    glColor4f(rgb[0], rgb[1], rgb[2], alpha);
}

// The part's name beside its bar: after it where it fits, else before it, else inside it.
void emitRowName(const TextOverlay& font, const TimelineLayout& l, float x0, float x1, float y,
                 const std::string& label, bool lit) {
    const float w = TextOverlay::textWidth(label.c_str());
    float x = x1 + 3.0f;
    bool inside = false;
    if (x + w > l.right) {
        x = x0 - 3.0f - w;
        if (x < l.left) {
            x = x0 + 2.0f;
            inside = true;
        }
    }
    if (inside) {
        glColor4f(0.0f, 0.0f, 0.0f, 0.85f);
    } else if (lit) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    } else {
        glColor4f(0.62f, 0.66f, 0.72f, 1.0f);
    }
    font.emitText(std::floor(x), y, label.c_str(), true);
}

void emitRows(const TextOverlay& font, const TimelineLayout& l, const TimelineFrame& f) {
    const Timeline& timeline = *f.timeline;
    for (int row = 1; row <= timeline.count; ++row) {
        const Part* part = timeline.items[row - 1];
        const bool drawn = timeline.selection.includes(row);
        const bool active = f.time >= part->start && f.time <= part->end;
        const float x0 = std::floor(l.xOf(std::clamp(part->start, 0.0f, l.length)));
        const float x1 =
            std::max(x0 + 1.0f, std::floor(l.xOf(std::clamp(part->end, 0.0f, l.length))));
        const float y = l.rowTop(row);
        colour(!drawn   ? timelineColours.muted
               : active ? timelineColours.active
                        : timelineColours.idle);
        font.emitRectangle(x0, y, x1, y + l.barHeight);
        const std::string label = std::to_string(row) + " " + timeline.rowName(row);
        emitRowName(font, l, x0, x1, y, label, drawn && active);
    }
}

// The order ticks across the axis and their numbers, each number only where it does not run
// into the one before.
void emitOrders(const TextOverlay& font, const TimelineLayout& l, const ScalarTrack* orders) {
    glColor4f(0.75f, 0.75f, 0.78f, 1.0f);
    font.emitRectangle(l.left, l.axisY, l.right, l.axisY + 1.0f);
    if (!orders) {
        return;
    }
    float labelEnd = -1e9f;
    for (int k = 0; k < orders->keyCount; ++k) {
        const float t = orders->keys[k].time;
        if (!(t >= 0.0f && t <= l.length)) {
            continue;
        }
        const float x = std::floor(l.xOf(t));
        glColor4f(0.75f, 0.75f, 0.78f, 1.0f);
        font.emitRectangle(x, l.axisY - 3.0f, x + 1.0f, l.axisY + 4.0f);
        char number[16];
        std::snprintf(number, sizeof number, "%d", k);
        const float w = TextOverlay::textWidth(number);
        const float at = std::min(x - w / 2.0f, l.right - w);
        if (at >= labelEnd + 2.0f) {
            glColor4f(0.85f, 0.85f, 0.6f, 1.0f);
            font.emitText(std::floor(at), l.labelTop, number, true);
            labelEnd = at + w;
        }
    }
}

void emitPlots(const TextOverlay& font, const TimelineLayout& l, const TimelineFrame& f) {
    glColor4f(0.0f, 0.0f, 0.0f, 0.35f);
    font.emitRectangle(l.left, l.plotTop, l.right, l.plotBottom);
    int index = 0;
    for (const Plot& plot : *f.plots) {
        const float(&rgb)[3] = timelineColours.plots[index % 4];
        char label[96];
        if (!plot.problem.empty()) {
            std::snprintf(label, sizeof label, "%s: %s", plot.name.c_str(), plot.problem.c_str());
            glColor4f(1.0f, 0.45f, 0.4f, 1.0f);
        } else {
            colour(rgb);
            // The curve: one column of pixels per sample, reaching to the sample before, so the
            // line stays unbroken where it is steep.
            for (int c = 0; c < plot.components(); ++c) {
                const float shade = 1.0f - 0.25f * static_cast<float>(c);
                glColor4f(rgb[0] * shade, rgb[1] * shade, rgb[2] * shade, 1.0f);
                const std::vector<float>& samples = plot.columns[c];
                float before = 0.0f;
                for (size_t i = 0; i < samples.size(); ++i) {
                    const float y = std::floor(l.plotY(samples[i], plot.low, plot.high));
                    const float from = i == 0 ? y : std::min(y, before);
                    const float to = i == 0 ? y : std::max(y, before);
                    const float x = static_cast<float>(plot.firstColumn) + static_cast<float>(i);
                    font.emitRectangle(x, from, x + 1.0f, to + 1.0f);
                    before = y;
                }
            }
            // The keys as dots.
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            const int keys = plot.vector ? plot.vector->keyCount : plot.scalar->keyCount;
            for (int k = 0; k < keys; ++k) {
                const float t = plot.vector ? plot.vector->keys[k].time : plot.scalar->keys[k].time;
                if (!(t >= 0.0f && t <= l.length)) {
                    continue;
                }
                const float x = std::floor(l.xOf(t));
                for (int c = 0; c < plot.components(); ++c) {
                    const float v =
                        plot.vector ? plot.vector->keys[k].value[c] : plot.scalar->keys[k].value;
                    const float y = std::floor(l.plotY(v, plot.low, plot.high));
                    font.emitRectangle(x - 1.0f, y - 1.0f, x + 2.0f, y + 2.0f);
                }
            }
            // The value at the cursor.
            if (plot.vector) {
                std::snprintf(label, sizeof label, "%s %.3f %.3f %.3f", plot.name.c_str(),
                              static_cast<double>(plot.valueAt(0, f.time)),
                              static_cast<double>(plot.valueAt(1, f.time)),
                              static_cast<double>(plot.valueAt(2, f.time)));
            } else {
                std::snprintf(label, sizeof label, "%s %.3f", plot.name.c_str(),
                              static_cast<double>(plot.valueAt(0, f.time)));
            }
            colour(rgb);
        }
        font.emitText(l.left + 2.0f, l.plotTop + 1.0f + 9.0f * static_cast<float>(index % 5), label,
                      true);
        ++index;
    }
}

// The last frames' times as columns, 33.3 ms (two frames at 60 a second) filling the graph.
void emitFrameGraph(const TextOverlay& font, const TimelineLayout& l, const FrameTimes& frames) {
    const float x0 = l.right - FrameTimes::capacity;
    const float y0 = l.statusTop + 2.0f, y1 = l.bottom - 2.0f;
    glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
    font.emitRectangle(x0, y0, l.right, y1);
    const float full = y1 - y0;
    for (int i = 0; i < frames.count(); ++i) {
        const double seconds = frames.at(i);
        const float h =
            std::clamp(std::ceil(static_cast<float>(seconds / (2.0 / 60.0)) * full), 1.0f, full);
        if (seconds <= 1.0 / 55.0) {
            glColor4f(0.3f, 0.85f, 0.35f, 1.0f);
        } else if (seconds <= 2.0 / 55.0) {
            glColor4f(0.95f, 0.8f, 0.25f, 1.0f);
        } else {
            glColor4f(1.0f, 0.3f, 0.25f, 1.0f);
        }
        const float x = x0 + static_cast<float>(FrameTimes::capacity - frames.count() + i);
        font.emitRectangle(x, y1 - h, x + 1.0f, y1);
    }
    char rate[24];
    std::snprintf(rate, sizeof rate, "%.1f fps", frames.framesPerSecond());
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    font.emitText(x0 - TextOverlay::textWidth(rate) - 6.0f, l.statusTop + 6.0f, rate, true);
}

} // namespace

void drawTimeline(const TextOverlay& font, const TimelineLayout& l, const TimelineFrame& f) {
    SavedState saved;
    saved.save();
    glBindTexture(GL_TEXTURE_2D, font.textureId);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    // The picture's own units over the viewport, whatever the overlay's projection is.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, l.width, l.bottom, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);

    glBegin(GL_QUADS);
    glColor4f(0.0f, 0.0f, 0.0f, 0.62f);
    font.emitRectangle(0.0f, l.top, l.width, l.bottom);
    if (f.plots && !f.plots->empty()) {
        emitPlots(font, l, f);
    }
    if (f.timeline) {
        emitRows(font, l, f);
    }
    emitOrders(font, l, f.orders);
    // The cursor, over everything above the numbers.
    const float cursor = std::floor(l.xOf(std::clamp(f.time, 0.0f, l.length)));
    colour(timelineColours.cursor);
    font.emitRectangle(cursor, l.top, cursor + 1.0f, l.axisY + 4.0f);
    // The status as far as it fits before the frame rate and its graph.
    const float room = l.right - FrameTimes::capacity - 80.0f - l.left;
    const std::string status = f.status.substr(0, static_cast<size_t>(std::max(0.0f, room / 8.0f)));
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    font.emitText(l.left, l.statusTop + 2.0f, status.c_str());
    if (f.frames) {
        emitFrameGraph(font, l, *f.frames);
    }
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    saved.restore();
}
