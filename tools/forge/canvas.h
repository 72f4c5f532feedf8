// canvas.h - floating-point RGB pictures and the drawing the generator's pictures are made of:
// tileable value noise, soft shapes, blur, and text set with FreeType from a Debian font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

struct Rgb {
    float r = 0, g = 0, b = 0;
};
inline Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Rgb operator*(Rgb a, float k) {
    return {a.r * k, a.g * k, a.b * k};
}
inline Rgb operator*(Rgb a, Rgb b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
Rgb mix(Rgb a, Rgb b, float t);
// A colour from a list of stops spread evenly over [0, 1].
Rgb gradient(const std::vector<Rgb>& stops, float t);
Rgb hexColour(uint32_t rgb);

float clamp01(float x);
float smoothstep(float e0, float e1, float x);

// One channel of coverage or height, 0..1.
struct Mask {
    int width = 0, height = 0;
    std::vector<float> v;
    Mask() = default;
    Mask(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * h, 0.0f) {}
    float& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
    float at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
    // Bilinear sample with coordinates clamped to the edge.
    float sample(float x, float y) const;
    std::vector<unsigned char> bytes() const;
};

class Canvas {
public:
    Canvas(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h) {}
    Rgb& at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
    const Rgb& at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    void add(int x, int y, Rgb c) {
        if (x >= 0 && y >= 0 && x < width && y < height) {
            at(x, y) = at(x, y) + c;
        }
    }
    // Colour c laid over with coverage `cover` (0..1).
    void blend(int x, int y, Rgb c, float cover);
    // Draws `mask` with its top left at (x, y): additive glow or alpha-blended colour.
    void addMask(const Mask& mask, int x, int y, Rgb colour);
    void blendMask(const Mask& mask, int x, int y, Rgb colour);
    // A soft round spot: colour falls off as (1 - d/r)^falloff.
    void addSpot(float cx, float cy, float radius, Rgb colour, float falloff = 2.0f);
    // RGB bytes, rows top to bottom, each channel clamped and rounded.
    std::vector<unsigned char> bytes() const;

    int width, height;
    std::vector<Rgb> px;
};

// Tileable value noise: lattice values repeat every `period` cells in x and y.
class Noise {
public:
    explicit Noise(uint32_t seed);
    // Smooth noise in [0, 1] at (x, y) in lattice units.
    float value(float x, float y, int period) const;
    // Sum of octaves, each twice the frequency and `gain` times the amplitude, normalised to
    // [0, 1]. The base period doubles with each octave so the sum still tiles.
    float fbm(float x, float y, int period, int octaves, float gain = 0.5f) const;

private:
    float lattice(int x, int y, int period) const;
    uint32_t seed;
};

// Separable box blur, `passes` times (three passes approximate a Gaussian). `wrap` blurs
// across the edges as for a tiling texture.
void blur(Mask& mask, int radius, int passes = 3, bool wrap = false);
void blur(Canvas& canvas, int radius, int passes = 3, bool wrap = false);

// Text set with FreeType. A missing font is reported through ok() and error().
class Typesetter {
public:
    explicit Typesetter(const std::string& fontPath);
    ~Typesetter();
    Typesetter(const Typesetter&) = delete;
    Typesetter& operator=(const Typesetter&) = delete;
    bool ok() const { return face != nullptr; }
    const std::string& error() const { return problem; }
    // One line of UTF-8 text as coverage, `pixelSize` high, with `tracking` extra pixels
    // between letters; the mask is as tall as the font's line and as wide as the text.
    Mask line(const std::string& text, int pixelSize, int tracking = 0) const;

private:
    void* library = nullptr;
    void* face = nullptr;
    std::string problem;
};

// Where the generator finds its fonts (Debian's fonts-dejavu-core).
std::string fontPath(const char* file);

} // namespace forge
