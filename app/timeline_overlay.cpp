// timeline_overlay.cpp - the timeline's layout, its frame times and plots, its picture drawn on
// the CPU, and the few quads that put it over the demo's picture between a state guard's save
// and restore.
#include "app/timeline_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>

#include "gfx/gl_api.h"
#include "gfx/text_overlay.h" // the built-in font
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

std::string plotLabel(const Plot& plot, float t) {
    char label[96];
    if (!plot.problem.empty()) {
        std::snprintf(label, sizeof label, "%s: %s", plot.name.c_str(), plot.problem.c_str());
    } else if (plot.vector) {
        std::snprintf(label, sizeof label, "%s %.3f %.3f %.3f", plot.name.c_str(),
                      static_cast<double>(plot.valueAt(0, t)),
                      static_cast<double>(plot.valueAt(1, t)),
                      static_cast<double>(plot.valueAt(2, t)));
    } else {
        std::snprintf(label, sizeof label, "%s %.3f", plot.name.c_str(),
                      static_cast<double>(plot.valueAt(0, t)));
    }
    return label;
}

// ---------------------------------------------------------------------------------------------
// The canvas

void TimelineCanvas::resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w * h), Rgba{0, 0, 0, 0});
}

void TimelineCanvas::fill(int x0, int y0, int x1, int y1, Rgba colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width);
    y1 = std::min(y1, height);
    for (int y = y0; y < y1; ++y) {
        std::fill(pixels.begin() + y * width + x0, pixels.begin() + y * width + x1, colour);
    }
}

void TimelineCanvas::text(int x, int y, const char* s, Rgba colour, bool small) {
    const int rows = small ? 8 : 16;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(s); *c; ++c, x += 8) {
        const unsigned char* glyph = builtinFont + *c * 16;
        for (int row = 0; row < rows; ++row) {
            const int py = y + row;
            if (py < 0 || py >= height) {
                continue;
            }
            const unsigned bits = small ? glyph[2 * row] | glyph[2 * row + 1] : glyph[row];
            for (int bit = 0; bit < 8; ++bit) {
                const int px = x + bit;
                if ((bits & (0x80u >> bit)) && px >= 0 && px < width) {
                    pixels[static_cast<size_t>(py * width + px)] = colour;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The timeline's picture

namespace {

// The texture: the panel from its top left, the plots' values to its right, and a white cell
// in the last corner that the cursor's quad samples.
constexpr int textureWidth = 1024, textureHeight = 512;
constexpr int valuesX = 640, valuesWidth = textureWidth - valuesX, valuesHeight = 48;
constexpr int whiteX = textureWidth - 8, whiteY = textureHeight - 8;

constexpr Rgba backing{0, 0, 0, 150}; // behind everything the panel holds
constexpr Rgba white{255, 255, 255, 255};
constexpr Rgba axisGrey{191, 191, 199, 255};

int ix(float v) {
    return static_cast<int>(std::floor(v));
}

} // namespace

void TimelineView::rebuild(const TimelineLayout& l, const TimelineFrame& f) {
    ++rebuildCount;
    const int top = ix(l.top);
    panel.resize(ix(l.width), ix(l.bottom) - top);
    spans.clear();
    auto span = [&](int x0, int y0, int x1, int y1) {
        panel.fill(x0, y0 - top, x1, y1 - top, backing);
        spans.push_back(Span{std::max(x0, 0), y0 - top, std::min(x1, panel.width), y1 - top});
    };

    if (f.plots && !f.plots->empty()) {
        span(ix(l.left), ix(l.plotTop), ix(l.right), ix(l.plotBottom));
        int index = 0;
        for (const Plot& plot : *f.plots) {
            const Rgba rgb = timelineColours.plots[index++ % 4];
            if (!plot.problem.empty()) {
                continue;
            }
            // The curve: one column of pixels per sample, reaching to the sample before, so the
            // line stays unbroken where it is steep. A vector's components in three shades.
            for (int c = 0; c < plot.components(); ++c) {
                const float shade = 1.0f - 0.25f * static_cast<float>(c);
                const Rgba colour{static_cast<unsigned char>(rgb.r * shade),
                                  static_cast<unsigned char>(rgb.g * shade),
                                  static_cast<unsigned char>(rgb.b * shade), 255};
                const std::vector<float>& samples = plot.columns[c];
                int before = 0;
                for (size_t i = 0; i < samples.size(); ++i) {
                    const int y = ix(l.plotY(samples[i], plot.low, plot.high));
                    const int from = i == 0 ? y : std::min(y, before);
                    const int to = i == 0 ? y : std::max(y, before);
                    const int x = plot.firstColumn + static_cast<int>(i);
                    panel.fill(x, from - top, x + 1, to + 1 - top, colour);
                    before = y;
                }
            }
            // The keys as dots of 3 x 3 pixels, or of one where they lie closer than 4 pixels
            // to a neighbour (dense keys would hide the curve).
            const int keys = plot.vector ? plot.vector->keyCount : plot.scalar->keyCount;
            auto keyTime = [&](int k) {
                return plot.vector ? plot.vector->keys[k].time : plot.scalar->keys[k].time;
            };
            for (int k = 0; k < keys; ++k) {
                const float t = keyTime(k);
                if (!(t >= 0.0f && t <= l.length)) {
                    continue;
                }
                const int x = ix(l.xOf(t));
                const bool room = (k == 0 || x - ix(l.xOf(keyTime(k - 1))) >= 4) &&
                                  (k == keys - 1 || ix(l.xOf(keyTime(k + 1))) - x >= 4);
                const int r = room ? 1 : 0;
                for (int c = 0; c < plot.components(); ++c) {
                    const float v =
                        plot.vector ? plot.vector->keys[k].value[c] : plot.scalar->keys[k].value;
                    const int y = ix(l.plotY(v, plot.low, plot.high)) - top;
                    panel.fill(x - r, y - r, x + 1 + r, y + 1 + r, white);
                }
            }
        }
    }

    if (f.timeline) {
        const Timeline& timeline = *f.timeline;
        for (int row = 1; row <= timeline.count; ++row) {
            const Part* part = timeline.items[row - 1];
            const bool drawn = timeline.selection.includes(row);
            const bool active = f.time >= part->start && f.time <= part->end;
            const int x0 = ix(l.xOf(std::clamp(part->start, 0.0f, l.length)));
            const int x1 = std::max(x0 + 1, ix(l.xOf(std::clamp(part->end, 0.0f, l.length))));
            const int y = ix(l.rowTop(row));
            // The name after the bar where it fits, else before it, else inside it.
            const std::string label = std::to_string(row) + " " + timeline.rowName(row);
            const int w = 8 * static_cast<int>(label.size());
            int nameX = x1 + 3;
            bool inside = false;
            if (nameX + w > ix(l.right)) {
                nameX = x0 - 3 - w;
                if (nameX < ix(l.left)) {
                    nameX = x0 + 2;
                    inside = true;
                }
            }
            span(std::min(x0, nameX) - 1, y, std::max(x1, nameX + w) + 1, y + ix(l.rowPitch));
            panel.fill(x0, y - top, x1, y + ix(l.barHeight) - top,
                       !drawn   ? timelineColours.muted
                       : active ? timelineColours.active
                                : timelineColours.idle);
            const Rgba nameColour = inside            ? Rgba{0, 0, 0, 255}
                                    : drawn && active ? white
                                                      : Rgba{158, 168, 184, 255};
            panel.text(nameX, y - top, label.c_str(), nameColour, true);
        }
    }

    // The axis, the order ticks across it and their numbers, each number only where it does
    // not run into the one before.
    span(0, ix(l.axisY) - 3, panel.width, ix(l.labelTop) + 9);
    panel.fill(ix(l.left), ix(l.axisY) - top, ix(l.right) + 1, ix(l.axisY) + 1 - top, axisGrey);
    if (f.orders) {
        int labelEnd = -1000000;
        for (int k = 0; k < f.orders->keyCount; ++k) {
            const float t = f.orders->keys[k].time;
            if (!(t >= 0.0f && t <= l.length)) {
                continue;
            }
            const int x = ix(l.xOf(t));
            panel.fill(x, ix(l.axisY) - 3 - top, x + 1, ix(l.axisY) + 4 - top, axisGrey);
            const std::string number = std::to_string(k);
            const int w = 8 * static_cast<int>(number.size());
            const int at = std::min(x - w / 2, ix(l.right) - w);
            if (at >= labelEnd + 2) {
                panel.text(at, ix(l.labelTop) - top, number.c_str(), Rgba{217, 217, 153, 255},
                           true);
                labelEnd = at + w;
            }
        }
    }
    span(0, ix(l.statusTop), panel.width, ix(l.bottom));
}

// The strip at the bottom: the status as far as it fits before the frame rate and the graph of
// the last frames' times, 33.3 ms (two frames at 60 a second) filling the graph.
void TimelineView::drawStatus(const TimelineLayout& l, const TimelineFrame& f) {
    const int top = ix(l.top);
    const int y0 = ix(l.statusTop) - top;
    panel.fill(0, y0, panel.width, panel.height, backing);
    const int graphX = ix(l.right) - FrameTimes::capacity;
    const int room = (graphX - 80 - ix(l.left)) / 8;
    const std::string status = f.status.substr(0, static_cast<size_t>(std::max(room, 0)));
    panel.text(ix(l.left), y0 + 2, status.c_str(), white, false);
    if (!f.frames) {
        return;
    }
    const int gy0 = y0 + 2, gy1 = panel.height - 2;
    panel.fill(graphX, gy0, ix(l.right), gy1, Rgba{0, 0, 0, 200});
    const float full = static_cast<float>(gy1 - gy0);
    const FrameTimes& frames = *f.frames;
    for (int i = 0; i < frames.count(); ++i) {
        const double seconds = frames.at(i);
        const int h = static_cast<int>(
            std::clamp(std::ceil(static_cast<float>(seconds / (2.0 / 60.0)) * full), 1.0f, full));
        const Rgba colour = seconds <= 1.0 / 55.0   ? Rgba{77, 217, 89, 255}
                            : seconds <= 2.0 / 55.0 ? Rgba{242, 204, 64, 255}
                                                    : Rgba{255, 77, 64, 255};
        const int x = graphX + FrameTimes::capacity - frames.count() + i;
        panel.fill(x, gy1 - h, x + 1, gy1, colour);
    }
    char rate[24];
    std::snprintf(rate, sizeof rate, "%.1f fps", frames.framesPerSecond());
    panel.text(graphX - 8 * static_cast<int>(std::strlen(rate)) - 6, y0 + 6, rate, white, true);
}

// One line per plot on a dark box: a swatch of the curve's colour and the envelope's value at
// the cursor (or its problem), drawn beside the cursor so that the value moves with it.
int TimelineView::drawPlotValues(const TimelineFrame& f) {
    int widest = 0;
    std::vector<std::string> labels;
    for (const Plot& plot : *f.plots) {
        labels.push_back(plotLabel(plot, f.time));
        widest = std::max(widest, 8 * static_cast<int>(labels.back().size()) + 12);
    }
    widest = std::min(widest, valuesWidth);
    values.resize(widest, std::min(1 + 9 * static_cast<int>(labels.size()), valuesHeight));
    values.fill(0, 0, values.width, values.height, Rgba{0, 0, 0, 190});
    for (size_t i = 0; i < labels.size() && 1 + 9 * static_cast<int>(i) + 8 <= values.height; ++i) {
        const int y = 1 + 9 * static_cast<int>(i);
        const bool drawn = (*f.plots)[i].problem.empty();
        values.fill(2, y + 1, 8, y + 7,
                    drawn ? timelineColours.plots[i % 4] : Rgba{255, 115, 102, 255});
        values.text(11, y, labels[i].c_str(), Rgba{235, 235, 235, 255}, true);
    }
    return widest;
}

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

// A quad of texels (tx, ty) .. (tx + w, ty + h) of the texture at picture units (x, y), one
// texel a unit, anticlockwise on a screen whose y grows downwards.
void texturedQuad(float x, float y, float w, float h, int tx, int ty) {
    const float s0 = static_cast<float>(tx) / textureWidth;
    const float t0 = static_cast<float>(ty) / textureHeight;
    const float s1 = (static_cast<float>(tx) + w) / textureWidth;
    const float t1 = (static_cast<float>(ty) + h) / textureHeight;
    glTexCoord2f(s0, t0);
    glVertex2f(x, y);
    glTexCoord2f(s0, t1);
    glVertex2f(x, y + h);
    glTexCoord2f(s1, t1);
    glVertex2f(x + w, y + h);
    glTexCoord2f(s1, t0);
    glVertex2f(x + w, y);
}

// A quad of one colour (the current one): every corner samples the white cell's centre.
void solidQuad(float x, float y, float w, float h) {
    const float s = (whiteX + 4.0f) / textureWidth, t = (whiteY + 4.0f) / textureHeight;
    glTexCoord2f(s, t);
    glVertex2f(x, y);
    glVertex2f(x, y + h);
    glVertex2f(x + w, y + h);
    glVertex2f(x + w, y);
}

void upload(int x, int y, const TimelineCanvas& c, int fromRow, int rows) {
    if (c.width > 0 && rows > 0) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y + fromRow, c.width, rows, GL_RGBA, GL_UNSIGNED_BYTE,
                        &c.pixels[static_cast<size_t>(fromRow * c.width)]);
    }
}

} // namespace

void TimelineView::draw(const TimelineLayout& l, const TimelineFrame& f) {
    SavedState saved;
    saved.save();
    if (texture == 0) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        std::vector<Rgba> blank(static_cast<size_t>(textureWidth * textureHeight), Rgba{});
        for (int y = whiteY; y < textureHeight; ++y) {
            for (int x = whiteX; x < textureWidth; ++x) {
                blank[static_cast<size_t>(y * textureWidth + x)] = white;
            }
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, textureWidth, textureHeight, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, blank.data());
    }
    glBindTexture(GL_TEXTURE_2D, texture);

    // What the lasting part shows: the rows lit and drawn, the parts and the order table in
    // use, the plots' reading and the layout.
    std::vector<unsigned char> now;
    auto add = [&now](const void* p, size_t n) {
        now.insert(now.end(), static_cast<const unsigned char*>(p),
                   static_cast<const unsigned char*>(p) + n);
    };
    if (f.timeline) {
        for (int row = 1; row <= f.timeline->count; ++row) {
            const Part* part = f.timeline->items[row - 1];
            const unsigned char state =
                static_cast<unsigned char>((f.time >= part->start && f.time <= part->end ? 1 : 0) |
                                           (f.timeline->selection.includes(row) ? 2 : 0));
            add(&part, sizeof part);
            add(&state, 1);
        }
    }
    add(&f.orders, sizeof f.orders);
    add(&f.plotsRead, sizeof f.plotsRead);
    add(&l, sizeof l);
    const int top = ix(l.top);
    if (now != signature) {
        signature = now;
        rebuild(l, f);
        drawStatus(l, f);
        upload(0, 0, panel, 0, panel.height);
    } else {
        drawStatus(l, f);
        const int strip = ix(l.statusTop) - top;
        upload(0, 0, panel, strip, panel.height - strip);
    }
    const bool plots = f.plots && !f.plots->empty();
    const int valuesW = plots ? drawPlotValues(f) : 0;
    if (plots) {
        upload(valuesX, 0, values, 0, values.height);
    }

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
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (const Span& s : spans) {
        if (s.x1 > s.x0 && s.y1 > s.y0) {
            texturedQuad(static_cast<float>(s.x0), static_cast<float>(s.y0 + top),
                         static_cast<float>(s.x1 - s.x0), static_cast<float>(s.y1 - s.y0), s.x0,
                         s.y0);
        }
    }
    const int cursor = ix(l.xOf(std::clamp(f.time, 0.0f, l.length)));
    if (plots) {
        // Beside the cursor: to its right, or to its left where it would run past the axis.
        const int x = cursor + 4 + valuesW <= ix(l.right) ? cursor + 4 : cursor - 3 - valuesW;
        texturedQuad(static_cast<float>(x), l.plotTop, static_cast<float>(values.width),
                     static_cast<float>(values.height), valuesX, 0);
    }
    const Rgba& c = timelineColours.cursor;
    glColor4f(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
    solidQuad(static_cast<float>(cursor), l.top, 1.0f, l.axisY + 4.0f - l.top);
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    saved.restore();
}
