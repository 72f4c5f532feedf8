// pictures.cpp - every picture of the demo, drawn from noise, shapes and set text. Textures
// that a scene scrolls or wraps are made tileable; pictures laid over the screen additively
// are kept dark where they should let the scene through.
#include <cmath>
#include <functional>

#include "tools/common/jpeg_writer.h"
#include "tools/forge/canvas.h"
#include "tools/forge/forge.h"
#include "tools/forge/random.h"

namespace forge {

namespace {

constexpr float pi = 3.14159265358979f;

Canvas shade(int w, int h, const std::function<Rgb(float u, float v)>& f) {
    Canvas c(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            c.at(x, y) = f((static_cast<float>(x) + 0.5f) / static_cast<float>(w),
                           (static_cast<float>(y) + 0.5f) / static_cast<float>(h));
        }
    }
    return c;
}

// Darkens towards the edges: 1 inside radius r0, 0 beyond r1 (distances from the centre in
// units of half the width).
float vignette(float u, float v, float r0, float r1) {
    const float dx = 2 * u - 1, dy = 2 * v - 1;
    return 1.0f - smoothstep(r0, r1, std::sqrt(dx * dx + dy * dy));
}

void stars(Canvas& c, Random& rng, int count, Rgb tint, float maxRadius) {
    for (int i = 0; i < count; ++i) {
        const float x = rng.uniform(0, static_cast<float>(c.width));
        const float y = rng.uniform(0, static_cast<float>(c.height));
        const float r = rng.uniform(0.6f, maxRadius);
        const float b = rng.uniform(0.2f, 1.0f);
        c.addSpot(x, y, r, mix(tint, Rgb{1, 1, 1}, rng.uniform()) * b, 1.5f);
    }
}

// Text centred on (cx, top) with a blurred halo behind it.
void glowText(Canvas& c, const Typesetter& font, const std::string& text, int size, int tracking,
              float cx, int top, Rgb colour, Rgb halo, int haloRadius) {
    Mask m = font.line(text, size, tracking);
    const int x = static_cast<int>(cx - static_cast<float>(m.width) / 2);
    if (haloRadius > 0) {
        Mask g = m;
        Mask padded(m.width + 4 * haloRadius, m.height + 4 * haloRadius);
        for (int j = 0; j < g.height; ++j) {
            for (int i = 0; i < g.width; ++i) {
                padded.at(i + 2 * haloRadius, j + 2 * haloRadius) = g.at(i, j);
            }
        }
        blur(padded, haloRadius);
        c.addMask(padded, x - 2 * haloRadius, top - 2 * haloRadius, halo);
    }
    c.blendMask(m, x, top, colour);
}

struct Fonts {
    Typesetter sans{fontPath("DejaVuSans.ttf")};
    Typesetter sansBold{fontPath("DejaVuSans-Bold.ttf")};
    Typesetter serif{fontPath("DejaVuSerif.ttf")};
    Typesetter serifItalic{fontPath("DejaVuSerif-Italic.ttf")};
    Typesetter mono{fontPath("DejaVuSansMono.ttf")};
    bool ok(std::string& error) const {
        for (const Typesetter* t : {&sans, &sansBold, &serif, &serifItalic, &mono}) {
            if (!t->ok()) {
                error = t->error();
                return false;
            }
        }
        return true;
    }
};

// ---- the pictures the parts load by name ----

Canvas overtake() {
    Random rng(101);
    Noise n(11);
    Canvas c = shade(512, 256, [&](float u, float v) {
        const float dy = v - 0.62f;
        const float band =
            std::exp(-std::fabs(dy) * 38.0f) * (0.55f + 0.45f * n.fbm(u * 8, 0, 8, 4));
        const float dx = u - 0.5f;
        const float angle = std::atan2(dy, dx);
        const float rays = std::pow(n.value(angle * 9.0f + 20.0f, 0.5f, 64), 3.0f) *
                           std::exp(-std::sqrt(dx * dx + dy * dy) * 3.5f);
        const float sky = v < 0.62f ? 0.08f * (1 - v / 0.62f) * n.fbm(u * 6, v * 3, 6, 4) : 0.0f;
        const Rgb cold{0.25f, 0.55f, 1.0f}, white{1, 1, 1};
        return mix(cold, white, band * band) * (band * 1.1f + rays * 0.9f) +
               Rgb{0.1f, 0.2f, 0.5f} * sky;
    });
    stars(c, rng, 140, {0.6f, 0.7f, 1.0f}, 1.6f);
    c.addSpot(256, 159, 40, {0.9f, 0.95f, 1.0f}, 3.0f);
    return c;
}

Canvas overtake2(const Fonts& f) {
    Noise n(12);
    Canvas c = shade(512, 256, [&](float u, float v) {
        const float wave = 0.45f + 0.12f * std::sin(u * 2 * pi * 1.5f + 1.0f) +
                           0.08f * (n.fbm(u * 6, 0.3f, 6, 3) - 0.5f);
        const float curtain = std::pow(n.fbm(u * 24, 0.0f, 24, 3), 2.0f);
        const float above = v < wave ? std::exp(-(wave - v) * 5.0f) : std::exp(-(v - wave) * 40.0f);
        const float k = curtain * above * 1.6f;
        return gradient({{0.9f, 0.3f, 0.6f}, {1.0f, 0.6f, 0.2f}, {1.0f, 0.9f, 0.6f}}, clamp01(k)) *
               k;
    });
    glowText(c, f.serifItalic, "made of numbers, from one seed", 22, 1, 256, 196,
             {1.0f, 0.85f, 0.6f}, {0.6f, 0.25f, 0.1f}, 4);
    return c;
}

Canvas darkHorizon() {
    Random rng(103);
    Noise n(13);
    Canvas c = shade(256, 256, [&](float u, float v) {
        const float horizon = 0.6f;
        Rgb sky = gradient({{0.05f, 0.0f, 0.12f}, {0.25f, 0.05f, 0.35f}, {0.55f, 0.2f, 0.45f}},
                           v / horizon);
        if (v > horizon) {
            const float depth = (v - horizon) / (1 - horizon);
            sky = Rgb{0.08f, 0.03f, 0.12f} * (1 - depth) *
                  (0.5f + 0.5f * n.fbm(u * 30, depth * 4, 32, 3));
        }
        const float line = std::exp(-std::fabs(v - horizon) * 90.0f);
        const float cloud =
            v < horizon ? smoothstep(0.55f, 0.8f, n.fbm(u * 5, v * 10, 8, 5)) * 0.3f : 0.0f;
        return (sky + Rgb{1.0f, 0.6f, 0.8f} * line + Rgb{0.5f, 0.3f, 0.6f} * cloud) *
               vignette(u, v, 0.8f, 1.05f);
    });
    stars(c, rng, 60, {0.9f, 0.8f, 1.0f}, 1.2f);
    c.addSpot(180, 70, 26, {0.9f, 0.85f, 0.7f}, 0.4f);
    c.addSpot(180, 70, 60, {0.3f, 0.2f, 0.4f}, 2.0f);
    return c;
}

Canvas pictureTunnel() {
    return shade(256, 256, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f;
        const float r = std::sqrt(dx * dx + dy * dy) * 2;
        const float a = std::atan2(dy, dx);
        const float petals = 0.5f + 0.5f * std::cos(12 * a + 10 * r);
        const float rings = 0.5f + 0.5f * std::cos(r * 38 - 4 * std::cos(6 * a));
        const float k = std::pow(petals * rings, 1.5f);
        const Rgb col = gradient({{0.0f, 0.5f, 0.6f}, {0.3f, 0.9f, 0.8f}, {1.0f, 0.8f, 0.3f}}, r);
        return col * (k * 1.2f + 0.15f) * vignette(u, v, 0.5f, 0.98f);
    });
}

Canvas dust() {
    Random rng(105);
    Canvas c(256, 256);
    for (int i = 0; i < 700; ++i) {
        const float x = rng.uniform(0, 256), y = rng.uniform(0, 256);
        const float b = std::pow(rng.uniform(), 2.0f);
        const float whiteness = rng.uniform();
        const float radius = rng.uniform(0.7f, 2.2f);
        c.addSpot(x, y, radius, mix({1.0f, 0.7f, 0.4f}, {1, 1, 1}, whiteness) * b, 1.2f);
    }
    for (int i = 0; i < 14; ++i) {
        const float x = rng.uniform(30, 226), y = rng.uniform(30, 226);
        const float brightness = rng.uniform(0.15f, 0.4f);
        const float radius = rng.uniform(6, 16);
        c.addSpot(x, y, radius, Rgb{0.9f, 0.6f, 0.35f} * brightness, 0.5f);
    }
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            c.at(x, y) = c.at(x, y) * vignette((x + 0.5f) / 256, (y + 0.5f) / 256, 0.6f, 1.0f);
        }
    }
    return c;
}

Canvas poem(const Fonts& f) {
    Canvas c(512, 512);
    const char* lines[] = {
        "before the first light",      "a grid of silent numbers", "waits for its seed",        "",
        "one value becomes a tone,",   "a tone becomes a pulse,",  "the pulse becomes a world", "",
        "we did not find this place:", "we counted it into being",
    };
    glowText(c, f.serif, "introduction", 30, 6, 256, 40, {0.95f, 0.85f, 0.7f}, {0.5f, 0.3f, 0.15f},
             6);
    int y = 112;
    for (const char* line : lines) {
        if (*line) {
            glowText(c, f.serifItalic, line, 26, 1, 256, y, {0.85f, 0.9f, 1.0f},
                     {0.15f, 0.3f, 0.6f}, 5);
        }
        y += *line ? 36 : 22;
    }
    for (int x = 176; x < 336; ++x) {
        c.add(x, 86, Rgb{0.5f, 0.35f, 0.2f} * (1 - std::fabs(x - 256.0f) / 80.0f));
    }
    return c;
}

Canvas tubeCaustics() {
    Noise n(17);
    return shade(256, 256, [&](float u, float v) {
        const float w1 = n.fbm(u * 4, v * 4, 4, 4);
        const float w2 = n.fbm(u * 4 + 17.3f, v * 4 + 5.1f, 4, 4);
        const float ridge =
            1 - std::fabs(n.fbm(u * 4 + w1 * 1.5f, v * 4 + w2 * 1.5f, 4, 4) - 0.5f) * 2;
        const float k = std::pow(ridge, 6.0f);
        return Rgb{0.02f, 0.1f, 0.25f} + Rgb{0.3f, 0.85f, 1.0f} * k +
               Rgb{1, 1, 1} * std::pow(k, 4.0f) * 0.5f;
    });
}

Canvas panorama() {
    Random rng(109);
    Noise n(19);
    const float horizon = 0.62f;
    Canvas c = shade(1024, 256, [&](float u, float v) {
        Rgb sky = gradient(
            {{0.02f, 0.02f, 0.1f}, {0.15f, 0.1f, 0.35f}, {0.85f, 0.4f, 0.3f}, {1.0f, 0.75f, 0.4f}},
            v / horizon);
        const float sunX = 0.32f, sunY = 0.5f;
        const float d = std::sqrt((u - sunX) * (u - sunX) * 16 + (v - sunY) * (v - sunY));
        sky = sky + Rgb{1.0f, 0.7f, 0.4f} * std::exp(-d * 9.0f) * 0.8f;
        // Three ridges, nearer ones darker and higher.
        for (int layer = 0; layer < 3; ++layer) {
            const float scale = 4.0f + 4.0f * static_cast<float>(layer);
            const float ridge = horizon - 0.05f - 0.12f * static_cast<float>(layer) * 0.6f -
                                0.22f * n.fbm(u * scale, static_cast<float>(layer) * 7.0f, 64, 5);
            if (v > ridge) {
                const float t = 0.5f - 0.17f * static_cast<float>(layer);
                sky = mix(sky, Rgb{0.25f, 0.12f, 0.25f} * t, 0.85f);
            }
        }
        if (v > horizon + 0.08f) {
            const float ripple =
                0.5f + 0.5f * std::sin(v * 300.0f + n.value(u * 80, v * 20, 128) * 6);
            sky = Rgb{0.05f, 0.04f, 0.1f} +
                  Rgb{1.0f, 0.6f, 0.35f} * std::exp(-std::fabs(u - sunX) * 20) * ripple * 0.4f;
        }
        return sky;
    });
    for (int i = 0; i < 300; ++i) {
        const float x = rng.uniform(0, 1024), y = rng.uniform(0, 256 * 0.3f);
        const float brightness = rng.uniform(0.2f, 0.9f);
        const float radius = rng.uniform(0.6f, 1.4f);
        c.addSpot(x, y, radius, Rgb{0.9f, 0.9f, 1.0f} * brightness, 1.5f);
    }
    return c;
}

Canvas backdrop() {
    Noise n(21);
    return shade(512, 512, [&](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.45f;
        const float r = std::sqrt(dx * dx + dy * dy);
        Rgb c = Rgb{0.35f, 0.08f, 0.45f} * std::exp(-r * 4.0f) *
                (0.6f + 0.4f * n.fbm(u * 6, v * 6, 6, 4));
        if (v > 0.55f) {
            // A floor grid in perspective: rows crowd towards the horizon.
            const float depth = 0.05f / (v - 0.5f);
            const float gx = std::fabs(std::fmod((u - 0.5f) * depth * 40.0f + 100.5f, 1.0f) - 0.5f);
            const float gz = std::fabs(std::fmod(depth * 8.0f, 1.0f) - 0.5f);
            const float line =
                std::max(smoothstep(0.44f, 0.5f, 1 - gx), smoothstep(0.44f, 0.5f, 1 - gz));
            c = c + Rgb{0.1f, 0.35f, 0.5f} * line * smoothstep(0.55f, 0.8f, v) * 0.6f;
        }
        const float scan = 0.85f + 0.15f * std::sin(v * 512 * pi / 2);
        return c * scan;
    });
}

Canvas shiteBands() {
    Noise n(23);
    return shade(256, 256, [&](float u, float v) {
        const float warp = n.fbm(u * 4, v * 4, 4, 4);
        const float s = 0.5f + 0.5f * std::sin((v * 6 + warp * 2.5f) * 2 * pi);
        return gradient({{0.9f, 0.2f, 0.4f}, {1.0f, 0.7f, 0.2f}, {0.2f, 0.8f, 0.9f}}, s) *
               (0.4f + 0.6f * s);
    });
}

Canvas water() {
    Noise n(25);
    return shade(256, 256, [&](float u, float v) {
        float h = 0;
        const int waves[4][2] = {{3, 1}, {-2, 3}, {5, -2}, {1, 4}};
        for (const auto& w : waves) {
            h += std::sin(2 * pi * (static_cast<float>(w[0]) * u + static_cast<float>(w[1]) * v) +
                          6 * n.fbm(u * 4, v * 4, 4, 3));
        }
        const float k = 0.5f + 0.125f * h;
        return gradient({{0.0f, 0.1f, 0.25f}, {0.0f, 0.45f, 0.6f}, {0.7f, 1.0f, 1.0f}}, k * k);
    });
}

// A chrome sphere map: sky above, ground below, a bright horizon and two window lights.
Canvas chromeEnv() {
    Noise n(27);
    Canvas c = shade(256, 256, [&](float u, float v) {
        Rgb col = v < 0.5f
                      ? gradient({{0.3f, 0.45f, 0.8f}, {0.75f, 0.85f, 1.0f}}, v * 2)
                      : gradient({{0.35f, 0.25f, 0.2f}, {0.08f, 0.06f, 0.05f}}, (v - 0.5f) * 2);
        col = col + Rgb{1, 1, 1} * std::exp(-std::fabs(v - 0.5f) * 60.0f);
        col = col * (0.8f + 0.2f * n.fbm(u * 8, v * 8, 8, 3));
        return col;
    });
    c.addSpot(80, 70, 28, {1, 1, 1}, 1.0f);
    c.addSpot(180, 90, 18, {1.0f, 0.9f, 0.7f}, 1.0f);
    return c;
}

Canvas nebula() {
    Noise n(29);
    Random rng(129);
    Canvas c = shade(256, 256, [&](float u, float v) {
        const float a = n.fbm(u * 4, v * 4, 4, 6);
        const float b = n.fbm(u * 4 + 9.1f, v * 4 + 3.3f, 4, 6);
        const float k = smoothstep(0.35f, 0.75f, a);
        return Rgb{0.6f, 0.1f, 0.45f} * k +
               Rgb{0.1f, 0.2f, 0.7f} * smoothstep(0.4f, 0.8f, b) * 0.8f;
    });
    // Craters: a lit rim on one side, a shadow on the other, drawn with wrap-around.
    for (int i = 0; i < 12; ++i) {
        const float cx = rng.uniform(0, 256), cy = rng.uniform(0, 256), r = rng.uniform(6, 22);
        for (int y = static_cast<int>(cy - r - 2); y <= static_cast<int>(cy + r + 2); ++y) {
            for (int x = static_cast<int>(cx - r - 2); x <= static_cast<int>(cx + r + 2); ++x) {
                const float dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy);
                const float rim = std::exp(-std::fabs(d - r) * 0.9f);
                const float side = (dx + dy) / (d + 1e-3f);
                const int wx = (x + 256) % 256, wy = (y + 256) % 256;
                c.at(wx, wy) = c.at(wx, wy) +
                               Rgb{1.0f, 0.7f, 0.6f} * rim * 0.5f * std::max(0.0f, -side) +
                               Rgb{-0.2f, -0.2f, -0.2f} * rim * std::max(0.0f, side);
            }
        }
    }
    return c;
}

Canvas greenWorld() {
    Noise n(31);
    return shade(256, 256, [&](float u, float v) {
        const float a = n.fbm(u * 4, v * 4, 4, 5);
        const float vein = std::pow(1 - std::fabs(n.fbm(u * 8 + a, v * 8, 8, 4) - 0.5f) * 2, 10.0f);
        return gradient({{0.0f, 0.12f, 0.05f}, {0.1f, 0.5f, 0.2f}, {0.6f, 1.0f, 0.5f}}, a) * 0.8f +
               Rgb{0.7f, 1.0f, 0.8f} * vein;
    });
}

Canvas tunnelEnv() {
    return shade(256, 256, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy) * 2;
        const float rings = 0.5f + 0.5f * std::cos(r * 30.0f);
        return Rgb{1.0f, 0.9f, 0.7f} * std::exp(-r * 3.0f) +
               Rgb{0.2f, 0.4f, 0.9f} * rings * (1 - clamp01(r)) * 0.6f;
    });
}

Canvas hudCircles() {
    Canvas c(512, 512);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const float dx = x - 255.5f, dy = y - 255.5f, r = std::sqrt(dx * dx + dy * dy);
            float k = 0;
            for (float ring : {60.0f, 62.0f, 140.0f, 230.0f}) {
                k += std::exp(-std::fabs(r - ring) * 1.2f);
            }
            const float ticks =
                (std::fabs(std::fmod(std::atan2(dy, dx) * 36 / pi + 100.0f, 2.0f) - 1) < 0.12f &&
                 std::fabs(r - 150) < 8)
                    ? 1.0f
                    : 0.0f;
            const float cross =
                (std::fabs(dx) < 0.8f || std::fabs(dy) < 0.8f) && r > 70 && r < 130 ? 0.6f : 0.0f;
            c.at(x, y) = Rgb{0.2f, 0.8f, 1.0f} * (k + ticks + cross) * 0.7f;
        }
    }
    return c;
}

Canvas hudLines(const Fonts& f) {
    Canvas c(512, 512);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const float d = std::fabs(std::fmod(static_cast<float>(x + y), 64.0f) - 32.0f);
            const float edge = std::min(std::min(x, 511 - x), std::min(y, 511 - y));
            const float frame = std::exp(-std::fabs(edge - 24.0f) * 1.0f);
            c.at(x, y) =
                Rgb{1.0f, 0.3f, 0.7f} *
                (std::exp(-d * 1.5f) * 0.25f * (1 - vignette(x / 512.0f, y / 512.0f, 0.4f, 1.2f)) +
                 frame * 0.8f);
        }
    }
    glowText(c, f.mono, "TIR VAL  //  DEEP FIELD", 20, 4, 256, 460, {1.0f, 0.6f, 0.85f},
             {0.5f, 0.1f, 0.3f}, 3);
    return c;
}

// The emboss picture: colour and height share the medallion, its ring and the lettering.
void bumpPicture(const Fonts& f, Canvas& colour, Mask& height) {
    const int size = 512;
    Noise n(33);
    height = Mask(size, size);
    Mask letters(size, size);
    Mask text = f.serif.line("TIR VAL", 76, 8);
    for (int j = 0; j < text.height; ++j) {
        for (int i = 0; i < text.width; ++i) {
            const int x = 256 - text.width / 2 + i, y = 256 - text.height / 2 + j;
            if (x >= 0 && y >= 0 && x < size && y < size) {
                letters.at(x, y) = text.at(i, j);
            }
        }
    }
    blur(letters, 2, 2);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy);
            const float ring = smoothstep(0.02f, 0.0f, std::fabs(r - 0.38f)) +
                               0.6f * smoothstep(0.008f, 0.0f, std::fabs(r - 0.42f));
            const float dome = 0.25f * smoothstep(0.45f, 0.0f, r);
            const float grain = 0.15f * n.fbm(u * 16, v * 16, 16, 4);
            height.at(x, y) = clamp01(0.2f + dome + 0.45f * ring + 0.5f * letters.at(x, y) + grain);
        }
    }
    blur(height, 1, 2);
    colour = Canvas(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            const float h = height.at(x, y);
            const Rgb stone =
                gradient({{0.25f, 0.15f, 0.1f}, {0.7f, 0.45f, 0.25f}, {1.0f, 0.85f, 0.55f}}, h);
            colour.at(x, y) =
                stone * (0.7f + 0.3f * n.fbm(u * 6 + 3, v * 6, 6, 3)) * vignette(u, v, 0.7f, 1.1f);
        }
    }
}

// A sprite: colour and a soft alpha mask of the same size.
struct Sprite {
    Canvas colour;
    Mask alpha;
};

Sprite titleSprite(const Fonts& f) {
    Sprite s{Canvas(512, 512), Mask(512, 512)};
    Mask text = f.sansBold.line("T I R V A L", 60, 4);
    const int x0 = 256 - text.width / 2, y0 = 256 - text.height / 2;
    Mask glow(512, 512);
    for (int j = 0; j < text.height; ++j) {
        for (int i = 0; i < text.width; ++i) {
            const int x = x0 + i, y = y0 + j;
            if (x >= 0 && y >= 0 && x < 512 && y < 512) {
                s.alpha.at(x, y) = text.at(i, j);
                glow.at(x, y) = text.at(i, j);
            }
        }
    }
    blur(glow, 10);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const float t = clamp01((y - y0) / static_cast<float>(text.height));
            const Rgb letter =
                gradient({{1.0f, 1.0f, 0.95f}, {1.0f, 0.8f, 0.4f}, {0.9f, 0.4f, 0.15f}}, t);
            const float a = s.alpha.at(x, y);
            s.colour.at(x, y) = mix(Rgb{1.0f, 0.55f, 0.2f}, letter, a);
            s.alpha.at(x, y) = clamp01(a + glow.at(x, y) * 0.8f);
        }
    }
    return s;
}

// A calm face in a few strokes: head, brows, closed eyes, nose and lips.
Sprite faceSprite() {
    Sprite s{Canvas(256, 256), Mask(256, 256)};
    Mask lines(256, 256);
    auto stroke = [&](const std::function<void(float, float&, float&)>& curve, float width) {
        for (int i = 0; i <= 600; ++i) {
            float x, y;
            curve(i / 600.0f, x, y);
            for (int dy = -3; dy <= 3; ++dy) {
                for (int dx = -3; dx <= 3; ++dx) {
                    const int px = static_cast<int>(x) + dx, py = static_cast<int>(y) + dy;
                    if (px < 0 || py < 0 || px >= 256 || py >= 256) {
                        continue;
                    }
                    const float ex = px + 0.5f - x, ey = py + 0.5f - y;
                    const float k = clamp01(1.0f - (std::sqrt(ex * ex + ey * ey) - width) * 0.8f);
                    lines.at(px, py) = std::max(lines.at(px, py), k);
                }
            }
        }
    };
    stroke(
        [](float t, float& x, float& y) {
            x = 128 + 78 * std::sin(2 * pi * t);
            y = 132 - 104 * std::cos(2 * pi * t) * (t < 0.25f || t > 0.75f ? 1.0f : 0.92f);
        },
        1.6f);
    for (int side = -1; side <= 1; side += 2) {
        const float cx = 128 + side * 33.0f;
        stroke(
            [=](float t, float& x, float& y) {
                x = cx - 20 + 40 * t;
                y = 108 + 10 * (t - 0.5f) * (t - 0.5f) * 4 - 10;
            },
            1.2f);
        stroke(
            [=](float t, float& x, float& y) {
                x = cx - 17 + 34 * t;
                y = 122 + 7 * std::sin(pi * t);
            },
            1.3f);
    }
    stroke(
        [](float t, float& x, float& y) {
            x = 128 + 6 * std::sin(pi * t * 1.2f);
            y = 128 + 42 * t;
        },
        1.1f);
    stroke(
        [](float t, float& x, float& y) {
            x = 104 + 48 * t;
            y = 196 + 8 * std::sin(pi * t);
        },
        1.4f);
    stroke(
        [](float t, float& x, float& y) {
            x = 110 + 36 * t;
            y = 196 - 5 * std::sin(pi * t);
        },
        1.0f);
    Mask glow = lines;
    blur(glow, 5);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const float dx = (x - 128) / 80.0f, dy = (y - 132) / 106.0f;
            const float fill = 0.22f * smoothstep(1.05f, 0.7f, std::sqrt(dx * dx + dy * dy));
            s.alpha.at(x, y) = clamp01(lines.at(x, y) + 1.5f * glow.at(x, y) + fill);
            s.colour.at(x, y) = mix(Rgb{0.55f, 0.7f, 1.0f}, Rgb{1, 1, 1}, lines.at(x, y));
        }
    }
    return s;
}

Sprite circleSprite() {
    Sprite s{Canvas(256, 256), Mask(256, 256)};
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const float dx = (x - 127.5f) / 128.0f, dy = (y - 127.5f) / 128.0f;
            const float r = std::sqrt(dx * dx + dy * dy);
            const float disc = smoothstep(0.92f, 0.7f, r);
            const float rim = std::exp(-std::fabs(r - 0.8f) * 25.0f) * 0.3f;
            s.alpha.at(x, y) = clamp01(disc * (0.75f + 0.25f * r) + rim);
            s.colour.at(x, y) = Rgb{0.08f, 0.06f, 0.1f};
        }
    }
    return s;
}

// ---- textures the scenes name ----

Canvas starfield() {
    Random rng(201);
    Noise n(41);
    Canvas c = shade(512, 256, [&](float u, float v) {
        const float a = n.fbm(u * 8, v * 4, 8, 5);
        const float b = n.fbm(u * 8 + 4, v * 4 + 9, 8, 5);
        return Rgb{0.25f, 0.05f, 0.35f} * smoothstep(0.45f, 0.8f, a) +
               Rgb{0.05f, 0.2f, 0.45f} * smoothstep(0.4f, 0.8f, b);
    });
    stars(c, rng, 500, {0.7f, 0.8f, 1.0f}, 1.5f);
    return c;
}

Canvas ribbon() {
    Noise n(43);
    return shade(256, 256, [&](float u, float v) {
        const float band = std::pow(
            0.5f + 0.5f * std::sin(2 * pi * (u * 3 + 0.3f * n.fbm(u * 4, v * 4, 4, 3))), 6.0f);
        const float pulse = 0.5f + 0.5f * std::sin(2 * pi * v * 4);
        return gradient({{0.1f, 0.2f, 0.9f}, {0.5f, 0.3f, 1.0f}, {1.0f, 0.8f, 1.0f}}, band) *
               (0.15f + band * (0.6f + 0.4f * pulse));
    });
}

Canvas neonGrid() {
    return shade(256, 256, [](float u, float v) {
        const float gx = std::fabs(std::fmod(u * 8, 1.0f) - 0.5f),
                    gy = std::fabs(std::fmod(v * 8, 1.0f) - 0.5f);
        const float line = std::exp(-(0.5f - gx) * 40.0f) + std::exp(-(0.5f - gy) * 40.0f);
        const bool odd = (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 == 1;
        return (odd ? Rgb{0.12f, 0.03f, 0.2f} : Rgb{0.02f, 0.06f, 0.12f}) +
               Rgb{0.2f, 1.0f, 0.9f} * line;
    });
}

Canvas panels() {
    Random rng(205);
    Canvas c = shade(256, 256, [](float u, float v) {
        const float gx = std::fabs(std::fmod(u * 4, 1.0f) - 0.5f),
                    gy = std::fabs(std::fmod(v * 4, 1.0f) - 0.5f);
        const float seam = smoothstep(0.44f, 0.5f, std::max(gx, gy));
        const float bevel = smoothstep(0.3f, 0.44f, std::max(gx, gy)) * 0.3f;
        return Rgb{0.35f, 0.4f, 0.5f} * (1 - seam) * (0.7f + bevel) +
               Rgb{1.0f, 0.5f, 0.1f} * seam * 0.6f;
    });
    for (int i = 0; i < 16; ++i) {
        const int cx = 32 + 64 * (i % 4), cy = 32 + 64 * (i / 4);
        const int dy = rng.below(20) - 10;
        const int dx = rng.below(20) - 10;
        c.addSpot(static_cast<float>(cx + dx), static_cast<float>(cy + dy), 5, {0.3f, 0.9f, 1.0f},
                  1.0f);
    }
    return c;
}

Canvas glowTex() {
    return shade(256, 256, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy) * 2;
        return Rgb{1.0f, 0.8f, 0.5f} * std::exp(-r * 4.0f) +
               Rgb{0.3f, 0.4f, 1.0f} * std::exp(-r * 1.5f) * 0.4f * (1 - clamp01(r));
    });
}

Canvas beamTex() {
    Noise n(47);
    return shade(256, 256, [&](float u, float v) {
        const float core = std::exp(-std::fabs(v - 0.5f) * 14.0f);
        const float flicker = 0.6f + 0.4f * n.fbm(u * 16, v * 2, 16, 3);
        const float sparks = std::pow(n.value(u * 64, v * 16, 64), 8.0f) * 2;
        return gradient({{0.2f, 0.1f, 0.8f}, {0.2f, 0.9f, 1.0f}, {1, 1, 1}}, core) *
               (core * flicker + sparks);
    });
}

Canvas marble() {
    Noise n(49);
    return shade(256, 256, [&](float u, float v) {
        const float t = 0.5f + 0.5f * std::sin(2 * pi * (u * 2 + 2.5f * n.fbm(u * 4, v * 4, 4, 5)));
        return gradient({{0.05f, 0.1f, 0.3f}, {0.3f, 0.6f, 0.9f}, {0.95f, 0.95f, 1.0f}},
                        std::pow(t, 3.0f));
    });
}

Canvas lattice() {
    return shade(256, 256, [](float u, float v) {
        const float a = std::fabs(std::sin(pi * u * 8)),
                    b = std::fabs(std::sin(pi * (u * 4 + v * 8)));
        const float c = std::fabs(std::sin(pi * (u * 4 - v * 8)));
        const float k = std::exp(-std::min(a, std::min(b, c)) * 12.0f);
        return Rgb{1.0f, 0.4f, 0.15f} * k + Rgb{0.05f, 0.02f, 0.1f};
    });
}

Canvas streaks() {
    Random rng(213);
    Canvas c(256, 256);
    for (int i = 0; i < 40; ++i) {
        const float x = rng.uniform(0, 256), len = rng.uniform(20, 120), y0 = rng.uniform(0, 256);
        const float brightness = rng.uniform(0.4f, 1.0f);
        const float hue = rng.uniform();
        const Rgb col = mix({0.3f, 0.6f, 1.0f}, {1.0f, 0.5f, 0.9f}, hue) * brightness;
        for (int j = 0; j < static_cast<int>(len); ++j) {
            const float k = static_cast<float>(j) / len;
            for (int dx = -2; dx <= 2; ++dx) {
                const int px = (static_cast<int>(x) + dx + 256) % 256,
                          py = (static_cast<int>(y0) + j) % 256;
                c.at(px, py) = c.at(px, py) +
                               col * (k * k) * std::exp(-std::fabs(static_cast<float>(dx)) * 1.2f);
            }
        }
    }
    return c;
}

Canvas bwRings() {
    return shade(256, 256, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy);
        // Rings broken into arcs, so that a turning disc is seen to turn.
        const float arcs = std::sin(5 * std::atan2(dy, dx) + r * 25.0f);
        const float k = std::sin(r * 70.0f) > 0 && arcs > -0.6f ? 0.85f : 0.05f;
        return Rgb{k, k, k} * (1 - smoothstep(0.45f, 0.5f, r)) + Rgb{0.02f, 0.02f, 0.02f};
    });
}

Canvas bwStripes() {
    return shade(256, 256, [](float u, float v) {
        const float k =
            std::sin(2 * pi * (u * 6 + 0.5f * std::sin(2 * pi * v))) > 0.3f ? 0.8f : 0.08f;
        return Rgb{k, k, k * 1.05f};
    });
}

Canvas clockFace(const Fonts& f) {
    Canvas c = shade(512, 512, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy) * 2;
        const float a = std::atan2(dy, dx);
        const float minute =
            std::fabs(std::fmod(a * 30 / pi + 60.5f, 1.0f) - 0.5f) < 0.06f && r > 0.86f && r < 0.93f
                ? 1.0f
                : 0.0f;
        const float hour =
            std::fabs(std::fmod(a * 6 / pi + 12.5f, 1.0f) - 0.5f) < 0.03f && r > 0.74f && r < 0.93f
                ? 1.0f
                : 0.0f;
        const float rim = std::exp(-std::fabs(r - 0.96f) * 80.0f) +
                          0.5f * std::exp(-std::fabs(r - 0.7f) * 120.0f);
        const float face = r < 0.98f ? 0.08f + 0.05f * (1 - r) : 0.0f;
        return Rgb{1.0f, 0.8f, 0.45f} * (minute * 0.7f + hour + rim) +
               Rgb{0.2f, 0.15f, 0.1f} * face;
    });
    const char* numerals[12] = {"XII", "I",   "II",   "III", "IV", "V",
                                "VI",  "VII", "VIII", "IX",  "X",  "XI"};
    for (int i = 0; i < 12; ++i) {
        const float a = 2 * pi * static_cast<float>(i) / 12.0f;
        const float x = 256 + 152 * std::sin(a), y = 256 - 152 * std::cos(a);
        Mask m = f.serif.line(numerals[i], 28, 0);
        c.addMask(m, static_cast<int>(x - m.width / 2.0f), static_cast<int>(y - m.height / 2.0f),
                  {1.0f, 0.85f, 0.55f});
    }
    return c;
}

Canvas brass() {
    Noise n(53);
    return shade(256, 256, [&](float u, float v) {
        const float brushed = n.fbm(u * 2, v * 64, 64, 3);
        return gradient({{0.4f, 0.25f, 0.08f}, {0.9f, 0.7f, 0.3f}, {1.0f, 0.95f, 0.75f}}, brushed);
    });
}

Canvas bubbleEnv() {
    return shade(256, 256, [](float u, float v) {
        const float dx = u - 0.5f, dy = v - 0.5f, r = std::sqrt(dx * dx + dy * dy) * 2;
        const float film = 0.5f + 0.5f * std::sin(r * 14.0f + 3 * u);
        const Rgb iris = gradient(
            {{1.0f, 0.3f, 0.6f}, {0.3f, 1.0f, 0.6f}, {0.3f, 0.5f, 1.0f}, {1.0f, 0.9f, 0.3f}}, film);
        const float edge = smoothstep(0.5f, 1.0f, r);
        return iris * (0.15f + 0.85f * edge) +
               Rgb{1, 1, 1} *
                   std::exp(-((u - 0.35f) * (u - 0.35f) + (v - 0.3f) * (v - 0.3f)) * 300.0f);
    });
}

Canvas foam() {
    Noise n(57);
    return shade(256, 256, [&](float u, float v) {
        const float cells = n.fbm(u * 8, v * 8, 8, 4);
        const float k = smoothstep(0.45f, 0.7f, cells);
        return mix(Rgb{0.05f, 0.25f, 0.4f}, Rgb{0.8f, 0.95f, 1.0f}, k);
    });
}

Canvas crystal() {
    Noise n(59);
    return shade(256, 256, [&](float u, float v) {
        const float facets =
            std::fabs(std::sin(pi * 5 * (u + v))) * std::fabs(std::sin(pi * 7 * (u - v)));
        const float k = n.fbm(u * 4, v * 4, 4, 3);
        return gradient({{0.1f, 0.3f, 0.8f}, {0.6f, 0.3f, 1.0f}, {0.9f, 0.9f, 1.0f}}, k) *
               (0.3f + 0.7f * std::pow(facets, 0.5f));
    });
}

Canvas woahSkin() {
    Noise n(61);
    return shade(256, 256, [&](float u, float v) {
        const float w = n.fbm(u * 4, v * 4, 4, 4);
        const float t = 0.5f + 0.5f * std::sin(2 * pi * (v * 3 + w * 2));
        return gradient(
            {{1.0f, 0.2f, 0.1f}, {1.0f, 0.9f, 0.2f}, {0.1f, 0.9f, 0.5f}, {0.2f, 0.3f, 1.0f}}, t);
    });
}

Canvas woahBack() {
    Noise n(63);
    return shade(256, 256, [&](float u, float v) {
        const float w = n.fbm(u * 4, v * 4, 4, 5);
        const float bands = 0.5f + 0.5f * std::sin(2 * pi * (u * 2 + w * 3));
        return gradient({{0.02f, 0.0f, 0.08f}, {0.3f, 0.0f, 0.4f}, {0.9f, 0.3f, 0.6f}}, bands * w);
    });
}

Canvas creditBoard(const Fonts& f, int index) {
    struct Board {
        const char* title;
        const char* lines[3];
    };
    static const Board boards[tex::creditBoards] = {
        {"TIR VAL", {"an OpenGL demo", "in C++20", "for Linux and SDL2"}},
        {"foundation", {"the lead engineer", "platform, frame loop,", "archive and timeline"}},
        {"scene engine", {"the scene engineer", "splines, quaternions,", "meshes and materials"}},
        {"music engine", {"the music engineer", "tracker playback and", "a Layer III decoder"}},
        {"data forge",
         {"every picture, scene and note", "computed from one seed", "by the forge tool"}},
        {"effects", {"the effects engineers", "twenty-two parts", "in 186.5 seconds"}},
        {"made with",
         {"GCC  CMake  SDL2  Mesa", "libopenmpt  mpg123  LAME", "FreeType  DejaVu  libjpeg-turbo"}},
    };
    const Board& b = boards[index];
    Canvas c = shade(512, 256, [](float u, float v) {
        const float edge = std::min(std::min(u, 1 - u) * 2, std::min(v, 1 - v));
        return Rgb{0.3f, 0.5f, 1.0f} * std::exp(-edge * 120.0f) * 0.8f;
    });
    glowText(c, f.sansBold, b.title, 44, 3, 256, 28, {1.0f, 0.9f, 0.7f}, {0.8f, 0.4f, 0.1f}, 5);
    for (int i = 0; i < 3; ++i) {
        glowText(c, f.sans, b.lines[i], 26, 1, 256, 110 + 40 * i, {0.85f, 0.92f, 1.0f},
                 {0.1f, 0.3f, 0.7f}, 3);
    }
    return c;
}

bool addJpeg(Assets& out, const std::string& name, const Canvas& c, std::string& error) {
    std::vector<unsigned char> jpeg;
    if (!encodeJpeg(c.width, c.height, c.bytes(), 90, jpeg, error)) {
        error = name + ": " + error;
        return false;
    }
    addAsset(out, name, std::move(jpeg));
    return true;
}

} // namespace

bool makePictures(Assets& out, std::string& error) {
    Fonts fonts;
    if (!fonts.ok(error)) {
        return false;
    }
    const std::vector<std::pair<std::string, std::function<Canvas()>>> pictures = {
        {"overtake.jpg", overtake},
        {"overtake2.jpg", [&] { return overtake2(fonts); }},
        {"DarkHorizonOfDreams1__.jpg", darkHorizon},
        {"max_t4.jpg", pictureTunnel},
        {"DustOnYourEyes__.jpg", dust},
        {"introductionpoem1.jpg", [&] { return poem(fonts); }},
        {"y1.jpg", tubeCaustics},
        {"vsz_d2.jpg", panorama},
        {"backg.jpg", backdrop},
        {tex::shiteBands, shiteBands},
        {tex::water, water},
        {tex::chrome, chromeEnv},
        {"NebulaMultiCrater1.jpg", nebula},
        {"WaterGreenWorld.jpg", greenWorld},
        {"y3.jpg", tunnelEnv},
        {"d1.jpg", hudCircles},
        {"d1_.jpg", [&] { return hudLines(fonts); }},
        {tex::stars, starfield},
        {tex::ribbon, ribbon},
        {tex::panels, panels},
        {tex::glow, glowTex},
        {tex::beam, beamTex},
        {tex::marble, marble},
        {tex::lattice, lattice},
        {tex::streaks, streaks},
        {tex::bwRings, bwRings},
        {tex::bwStripes, bwStripes},
        {tex::clockFace, [&] { return clockFace(fonts); }},
        {tex::brass, brass},
        {tex::bubbleEnv, bubbleEnv},
        {tex::foam, foam},
        {tex::crystal, crystal},
        {tex::woahSkin, woahSkin},
        {tex::woahBack, woahBack},
    };
    for (const auto& [name, make] : pictures) {
        if (!addJpeg(out, name, make(), error)) {
            return false;
        }
    }
    for (int i = 0; i < tex::creditBoards; ++i) {
        if (!addJpeg(out, tex::creditBoard(i), creditBoard(fonts, i), error)) {
            return false;
        }
    }
    // The raw texture: 256 x 256 RGB bytes, no header.
    addAsset(out, tex::grid, neonGrid().bytes());

    Canvas bumpColour(1, 1);
    Mask bumpHeight;
    bumpPicture(fonts, bumpColour, bumpHeight);
    if (!addJpeg(out, "bump.jpg", bumpColour, error)) {
        return false;
    }
    addAsset(out, "bump.raw", bumpHeight.bytes());

    const std::pair<const char*, const char*> spriteNames[3] = {
        {"D1_Tirval2.jpg", "D1_TirvalAlpha.tga"},
        {"D1_Face.jpg", "D1_FaceAlpha.tga"},
        {"D1_Circle2.jpg", "D1_CircleAlpha.tga"},
    };
    const Sprite sprites[3] = {titleSprite(fonts), faceSprite(), circleSprite()};
    for (int i = 0; i < 3; ++i) {
        if (!addJpeg(out, spriteNames[i].first, sprites[i].colour, error)) {
            return false;
        }
        addAsset(out, spriteNames[i].second, sprites[i].alpha.bytes());
    }
    return true;
}

} // namespace forge
