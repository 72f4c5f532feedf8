// canvas.cpp - picture primitives. Everything is plain single-threaded float arithmetic, so the
// same calls give the same pixels on every run.
#include "tools/forge/canvas.h"

#include <algorithm>
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace forge {

float clamp01(float x) {
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

float smoothstep(float e0, float e1, float x) {
    const float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb gradient(const std::vector<Rgb>& stops, float t) {
    if (stops.size() == 1) {
        return stops[0];
    }
    const float x = clamp01(t) * static_cast<float>(stops.size() - 1);
    const size_t i = std::min(static_cast<size_t>(x), stops.size() - 2);
    return mix(stops[i], stops[i + 1], x - static_cast<float>(i));
}

Rgb hexColour(uint32_t rgb) {
    return {static_cast<float>((rgb >> 16) & 255) / 255.0f,
            static_cast<float>((rgb >> 8) & 255) / 255.0f, static_cast<float>(rgb & 255) / 255.0f};
}

static unsigned char toByte(float v) {
    return static_cast<unsigned char>(std::lround(clamp01(v) * 255.0f));
}

float Mask::sample(float x, float y) const {
    x = std::clamp(x, 0.0f, static_cast<float>(width - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(height - 1));
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * fx;
    const float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * fx;
    return top + (bottom - top) * fy;
}

std::vector<unsigned char> Mask::bytes() const {
    std::vector<unsigned char> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        out[i] = toByte(v[i]);
    }
    return out;
}

void Canvas::blend(int x, int y, Rgb c, float cover) {
    if (x >= 0 && y >= 0 && x < width && y < height) {
        at(x, y) = mix(at(x, y), c, clamp01(cover));
    }
}

void Canvas::addMask(const Mask& mask, int x, int y, Rgb colour) {
    for (int j = 0; j < mask.height; ++j) {
        for (int i = 0; i < mask.width; ++i) {
            add(x + i, y + j, colour * mask.at(i, j));
        }
    }
}

void Canvas::blendMask(const Mask& mask, int x, int y, Rgb colour) {
    for (int j = 0; j < mask.height; ++j) {
        for (int i = 0; i < mask.width; ++i) {
            blend(x + i, y + j, colour, mask.at(i, j));
        }
    }
}

void Canvas::addSpot(float cx, float cy, float radius, Rgb colour, float falloff) {
    const int x0 = static_cast<int>(std::floor(cx - radius)), x1 = static_cast<int>(cx + radius);
    const int y0 = static_cast<int>(std::floor(cy - radius)), y1 = static_cast<int>(cy + radius);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - cx,
                        dy = static_cast<float>(y) + 0.5f - cy;
            const float d = std::sqrt(dx * dx + dy * dy) / radius;
            if (d < 1.0f) {
                add(x, y, colour * std::pow(1.0f - d, falloff));
            }
        }
    }
}

std::vector<unsigned char> Canvas::bytes() const {
    std::vector<unsigned char> out(px.size() * 3);
    for (size_t i = 0; i < px.size(); ++i) {
        out[3 * i] = toByte(px[i].r);
        out[3 * i + 1] = toByte(px[i].g);
        out[3 * i + 2] = toByte(px[i].b);
    }
    return out;
}

Noise::Noise(uint32_t seed) : seed(seed) {}

// A hash of the lattice point (wrapped to the period) gives its value.
float Noise::lattice(int x, int y, int period) const {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    uint32_t h =
        seed ^ (static_cast<uint32_t>(x) * 0x8da6b343u) ^ (static_cast<uint32_t>(y) * 0xd8163841u);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    h *= 0x27d4eb2du;
    h ^= h >> 16;
    return static_cast<float>(h & 0xffffff) / 16777215.0f;
}

float Noise::value(float x, float y, int period) const {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const float a = lattice(ix, iy, period), b = lattice(ix + 1, iy, period);
    const float c = lattice(ix, iy + 1, period), d = lattice(ix + 1, iy + 1, period);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Noise::fbm(float x, float y, int period, int octaves, float gain) const {
    float sum = 0, amplitude = 1, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * value(x, y, period);
        total += amplitude;
        amplitude *= gain;
        x *= 2;
        y *= 2;
        period *= 2;
    }
    return sum / total;
}

namespace {

// One box pass over a line of `n` values spaced `stride` apart.
template <class T>
void boxLine(T* data, int n, int stride, int radius, bool wrap, std::vector<T>& tmp) {
    tmp.resize(static_cast<size_t>(n));
    const float scale = 1.0f / static_cast<float>(2 * radius + 1);
    auto fetch = [&](int i) -> T {
        if (wrap) {
            i = ((i % n) + n) % n;
        } else {
            i = std::clamp(i, 0, n - 1);
        }
        return data[static_cast<size_t>(i) * stride];
    };
    T sum{};
    for (int i = -radius; i <= radius; ++i) {
        sum = sum + fetch(i);
    }
    for (int i = 0; i < n; ++i) {
        tmp[static_cast<size_t>(i)] = sum * scale;
        sum = sum + fetch(i + radius + 1) + fetch(i - radius) * -1.0f;
    }
    for (int i = 0; i < n; ++i) {
        data[static_cast<size_t>(i) * stride] = tmp[static_cast<size_t>(i)];
    }
}

template <class T> void blurGrid(T* data, int w, int h, int radius, int passes, bool wrap) {
    std::vector<T> tmp;
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < h; ++y) {
            boxLine(data + static_cast<size_t>(y) * w, w, 1, radius, wrap, tmp);
        }
        for (int x = 0; x < w; ++x) {
            boxLine(data + x, h, w, radius, wrap, tmp);
        }
    }
}

} // namespace

void blur(Mask& mask, int radius, int passes, bool wrap) {
    if (radius > 0) {
        blurGrid(mask.v.data(), mask.width, mask.height, radius, passes, wrap);
    }
}

void blur(Canvas& canvas, int radius, int passes, bool wrap) {
    if (radius > 0) {
        blurGrid(canvas.px.data(), canvas.width, canvas.height, radius, passes, wrap);
    }
}

std::string fontPath(const char* file) {
    return std::string("/usr/share/fonts/truetype/dejavu/") + file;
}

Typesetter::Typesetter(const std::string& path) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        problem = "FreeType does not start";
        return;
    }
    library = lib;
    FT_Face f = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &f) != 0) {
        problem = "cannot open font " + path + " (Debian package fonts-dejavu-core)";
        return;
    }
    face = f;
}

Typesetter::~Typesetter() {
    if (face) {
        FT_Done_Face(static_cast<FT_Face>(face));
    }
    if (library) {
        FT_Done_FreeType(static_cast<FT_Library>(library));
    }
}

// Decodes UTF-8 into code points; malformed bytes stand for themselves.
static std::vector<uint32_t> codePoints(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
        uint32_t cp = extra == 0 ? c : c & (0x3fu >> extra);
        if (i + static_cast<size_t>(extra) >= s.size()) {
            extra = 0;
            cp = c;
        }
        for (int k = 1; k <= extra; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3fu);
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

Mask Typesetter::line(const std::string& text, int pixelSize, int tracking) const {
    if (!face) {
        return Mask(1, 1);
    }
    FT_Face f = static_cast<FT_Face>(face);
    FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(pixelSize));
    const int ascender = static_cast<int>(f->size->metrics.ascender >> 6);
    const int descender = static_cast<int>(-(f->size->metrics.descender >> 6));
    const std::vector<uint32_t> cps = codePoints(text);
    // First pass measures, second pass draws.
    int width = 0;
    for (int pass = 0; pass < 2; ++pass) {
        Mask out(std::max(width, 1), ascender + descender);
        int pen = 0;
        for (size_t i = 0; i < cps.size(); ++i) {
            if (FT_Load_Char(f, cps[i], FT_LOAD_RENDER) != 0) {
                continue;
            }
            const FT_GlyphSlot g = f->glyph;
            if (pass == 1) {
                for (unsigned r = 0; r < g->bitmap.rows; ++r) {
                    for (unsigned c = 0; c < g->bitmap.width; ++c) {
                        const int x = pen + g->bitmap_left + static_cast<int>(c);
                        const int y = ascender - g->bitmap_top + static_cast<int>(r);
                        if (x >= 0 && y >= 0 && x < out.width && y < out.height) {
                            const float a =
                                g->bitmap.buffer[r * static_cast<unsigned>(g->bitmap.pitch) + c] /
                                255.0f;
                            out.at(x, y) = std::max(out.at(x, y), a);
                        }
                    }
                }
            }
            pen += static_cast<int>(g->advance.x >> 6) + (i + 1 < cps.size() ? tracking : 0);
        }
        if (pass == 0) {
            width = pen + 2;
        } else {
            return out;
        }
    }
    return Mask(1, 1);
}

} // namespace forge
