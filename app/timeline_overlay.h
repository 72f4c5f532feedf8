// timeline_overlay.h - the development player's timeline over the bottom of the picture (Tab):
// the schedule's rows as bars on the demo's time axis with their names, the music's orders as
// ticks, a cursor at the demo time, the status, a graph of the last frames' times with the frame
// rate, and envelopes plotted over the axis (--plot). It is drawn inside the overlay block, and
// every GL state it changes is put back, so that the parts of the next frame start from the
// state they would have had without it.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct ScalarTrack;
struct VectorTrack;
struct Timeline;

// Where everything lies, in the picture's own units (its pixels at 640 x 480), from the top of
// the panel down: a margin, the plot band (with plots only), the 22 rows, the axis with its
// order ticks, their numbers, and the status strip at the bottom of the picture.
struct TimelineLayout {
    float width = 640.0f;              // the picture's units across
    float left = 8.0f, right = 632.0f; // the axis: 0 s at left, the demo's end at right
    float top = 0.0f;                  // the panel's top edge
    float plotTop = 0.0f, plotBottom = 0.0f;
    float rowsTop = 0.0f;
    float rowPitch = 8.0f;  // from one row's top to the next
    float barHeight = 7.0f; // a row's bar; the rest of the pitch is a gap
    float axisY = 0.0f;     // the axis line's row of pixels
    float labelTop = 0.0f;  // the order numbers
    float statusTop = 0.0f; // the status strip
    float bottom = 0.0f;    // the picture's bottom edge
    float length = 186.5f;  // demo seconds along the axis

    // The column where demo time `t` lies (a fraction; the pixel is its floor).
    float xOf(float t) const { return left + t / length * (right - left); }
    // The demo time at the centre of pixel column `x`, held to 0 .. length.
    float timeAt(int x) const;
    // Whether a click at pixel (x, y) falls on the timeline, where it seeks.
    bool seeksAt(int x, int y) const;
    // A row's bar (row from 1).
    float rowTop(int row) const { return rowsTop + static_cast<float>(row - 1) * rowPitch; }
    // The plot band's pixel row of `value` in a range low .. high (the middle when it is flat).
    float plotY(float value, float low, float high) const;
};
// The layout for a picture of width x height units with `rows` rows and plots or none.
TimelineLayout timelineLayout(float width, float height, int rows, bool withPlots, float length);

// The times of the last frames, for the graph and the frame rate.
class FrameTimes {
public:
    static constexpr int capacity = 120;
    void add(double seconds);
    int count() const { return filled; }
    // The i-th of the last count() frames' times, the oldest first.
    double at(int i) const;
    // The frames per second over the frames kept: their count over the time they took; 0
    // before any.
    double framesPerSecond() const;

private:
    double times[capacity] = {};
    int next = 0;
    int filled = 0;
};

// An envelope drawn over the axis: read by name through the search path, as a vector envelope
// when its key lines hold three values, else as a scalar one. Its curve runs over the span of
// its keys (their times taken as demo seconds), each component scaled to the range of values
// the curve takes there.
struct Plot {
    Plot();
    ~Plot();
    Plot(Plot&&) noexcept;
    Plot& operator=(Plot&&) noexcept;

    std::string name;
    std::unique_ptr<ScalarTrack> scalar; // one of the two, or neither when it failed
    std::unique_ptr<VectorTrack> vector;
    std::string problem; // why it draws no curve; empty when it does
    float low = 0.0f, high = 0.0f;
    // The curve's value at the centre of each pixel column of the axis that its keys span
    // (columns firstColumn ..), per component.
    int firstColumn = 0;
    std::vector<float> columns[3];

    int components() const;
    // The value of component c at demo time t.
    float valueAt(int c, float t) const;
};
// Reads envelope `name` through the search path (quietly: a missing file is a problem to show,
// not the end) and samples its curve for `layout`.
Plot loadPlot(const std::string& name, const TimelineLayout& layout);
// The plot's line in the band: its name and its value at demo time `t` ("fade.env 0.250", three
// values for a vector envelope), or its name and its problem.
std::string plotLabel(const Plot& plot, float t);

// What one frame of the timeline shows.
struct TimelineFrame {
    const Timeline* timeline = nullptr;
    float time = 0.0f;                   // demo time: the cursor
    const ScalarTrack* orders = nullptr; // the synchronisation envelope: key k starts order k
    std::string status;                  // the strip's text
    const FrameTimes* frames = nullptr;
    const std::vector<Plot>* plots = nullptr;
    int plotsRead = 0; // counts the times the plots were read, so a new reading is drawn
};

// The colours a test looks for: a lit (active, drawn) row's bar, an idle row's, a muted row's,
// the cursor and the plots' curves, as the bytes the picture gets.
struct Rgba {
    unsigned char r, g, b, a;
};
struct TimelineColours {
    Rgba active{255, 184, 64, 255};
    Rgba idle{77, 107, 158, 255};
    Rgba muted{41, 41, 48, 255};
    Rgba cursor{255, 51, 51, 255};
    Rgba plots[4] = {
        {89, 255, 115, 255}, {115, 204, 255, 255}, {255, 128, 230, 255}, {255, 255, 115, 255}};
};
extern const TimelineColours timelineColours;

// The timeline's picture on the CPU: RGBA bytes (straight alpha), rows top down.
struct TimelineCanvas {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;

    void resize(int w, int h);
    // A rectangle of one colour, clipped to the canvas; it replaces what was there.
    void fill(int x0, int y0, int x1, int y1, Rgba colour);
    // `text` in the built-in font from its top left at (x, y): cells of 8 x 16 pixels, or 8 x 8
    // when `small` (each row the OR of two of the font's, so no thin stroke is lost). Set bits
    // take the colour, clear ones leave the pixel.
    void text(int x, int y, const char* text, Rgba colour, bool small);
    const Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// The timeline as drawn over the picture. Most of it (the rows, their names, the orders, the
// curves) changes only when a row lights up or goes out, the rows drawn change, or the data or
// the plots are read again: that part is drawn on the CPU into a picture kept in one texture,
// and drawn from it with a few quads that cover only what holds something. The status strip,
// the frame graph and the plots' values at the cursor are drawn into it every frame and sent
// again alone; the cursor is one quad of its own. So a frame costs about thirty quads and two
// small uploads, however much the timeline shows.
class TimelineView {
public:
    // Draws the frame in the overlay block's state (Application::overPicture), in a projection
    // of its own over `layout`'s picture units, and puts back every state it changes: the
    // projection, the texture binding, the texture environment, culling, alpha testing, the
    // second texture unit and the current texture coordinates. The texture is made at the
    // first draw and kept, as the program keeps every texture.
    void draw(const TimelineLayout& layout, const TimelineFrame& frame);
    // How often the lasting part was drawn anew (a test sees that it is kept).
    int rebuilds() const { return rebuildCount; }
    // The picture as the texture holds it: the panel from the layout's top edge down.
    const TimelineCanvas& picture() const { return panel; }

private:
    struct Span {
        int x0, y0, x1, y1; // in the panel's pixels
    };
    void rebuild(const TimelineLayout& l, const TimelineFrame& f);
    void drawStatus(const TimelineLayout& l, const TimelineFrame& f);
    int drawPlotValues(const TimelineFrame& f); // returns the box's width

    unsigned texture = 0;
    TimelineCanvas panel;  // the panel: layout.top .. layout.bottom
    TimelineCanvas values; // the plots' values at the cursor
    std::vector<Span> spans;
    std::vector<unsigned char> signature; // what the lasting part was drawn from
    int rebuildCount = 0;
};
