// text_overlay.cpp - the font texture and the overlay's GL set-up.
#include "gfx/text_overlay.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/gl_api.h"

const unsigned char builtinFont[256 * 16] = {
#include "gfx/font8x16.inc"
};

TextOverlay::TextOverlay(const unsigned char* font, int glyphHeight, unsigned textureId, int width,
                         int height)
    : glyphHeight(glyphHeight), width(width), height(height) {
    std::vector<uint32_t> pixels(256 * 256, 0);
    // 32 glyphs per band of glyphHeight rows; set bits are opaque white, clear bits transparent.
    for (int i = 0; i < 256; ++i) {
        const int x = 8 * (i % 32);
        const int y = glyphHeight * (i / 32);
        for (int row = 0; row < glyphHeight && y + row < 256; ++row) {
            const unsigned char bits = font[i * glyphHeight + row];
            for (int bit = 0; bit < 8; ++bit) {
                if (bits & (0x80 >> bit)) {
                    pixels[static_cast<size_t>((y + row) * 256 + x + bit)] = 0xFFFFFFFFu;
                }
            }
        }
        GlyphCoordinates& g = glyphs[i];
        g.s0 = (static_cast<float>(x) + 0.5f) / 256.0f;
        g.s1 = g.s0 + 7.0f / 256.0f;
        g.t0 = (static_cast<float>(y) + 0.5f) / 256.0f;
        g.t1 = g.t0 + static_cast<float>(glyphHeight - 1) / 256.0f;
    }
    // Below the font's bands: the half-height font, each of its rows the OR of two rows of the
    // full glyph (so no one-pixel stroke is lost), 32 glyphs per band again; then the white
    // cell, 8 x 8 pixels, whose centre a solid rectangle samples.
    const int smallHeight = glyphHeight / 2;
    const int smallTop = glyphHeight * 8;
    const int solidTop = smallTop + smallHeight * 8;
    if (smallHeight > 0 && solidTop + 8 <= 256) {
        for (int i = 0; i < 256; ++i) {
            const int x = 8 * (i % 32);
            const int y = smallTop + smallHeight * (i / 32);
            for (int row = 0; row < smallHeight; ++row) {
                const unsigned char bits =
                    font[i * glyphHeight + 2 * row] | font[i * glyphHeight + 2 * row + 1];
                for (int bit = 0; bit < 8; ++bit) {
                    if (bits & (0x80 >> bit)) {
                        pixels[static_cast<size_t>((y + row) * 256 + x + bit)] = 0xFFFFFFFFu;
                    }
                }
            }
            GlyphCoordinates& g = smallGlyphs[i];
            g.s0 = (static_cast<float>(x) + 0.5f) / 256.0f;
            g.s1 = g.s0 + 7.0f / 256.0f;
            g.t0 = (static_cast<float>(y) + 0.5f) / 256.0f;
            g.t1 = g.t0 + static_cast<float>(smallHeight - 1) / 256.0f;
        }
        for (int y = solidTop; y < solidTop + 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                pixels[static_cast<size_t>(y * 256 + x)] = 0xFFFFFFFFu;
            }
        }
        solidS = 4.0f / 256.0f;
        solidT = (static_cast<float>(solidTop) + 4.0f) / 256.0f;
    } else {
        std::memset(smallGlyphs, 0, sizeof smallGlyphs);
    }
    this->textureId = textureId;
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
}

void TextOverlay::begin() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    cursorX = 0;
    cursorY = 0;
    glBindTexture(GL_TEXTURE_2D, textureId);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void TextOverlay::setCursor(int column, int row) {
    if (column >= 0 && column < 80) {
        cursorX = column * 8;
    }
    if (row >= 0 && row < 30) {
        cursorY = row * 16;
    }
}

// A glyph's texture coordinates run from the centre of its first pixel to the centre of its
// last, so a quad of the glyph's size in pixels shifts every sample by half a pixel inwards:
// with nearest filtering each screen pixel still lands on its own texel.
namespace {

void emitQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1) {
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
}

} // namespace

void TextOverlay::emitText(float x, float y, const char* text, bool small) const {
    const GlyphCoordinates* set = small ? smallGlyphs : glyphs;
    const float h = small ? static_cast<float>(glyphHeight / 2) : static_cast<float>(glyphHeight);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c, x += 8) {
        if (*c == ' ') {
            continue;
        }
        const GlyphCoordinates& g = set[*c];
        // The quad covers whole pixels; the coordinates reach half a texel past the centres.
        const float ds = 0.5f / 256.0f;
        emitQuad(x, y, x + 8.0f, y + h, g.s0 - ds, g.t0 - ds, g.s1 + ds, g.t1 + ds);
    }
}

void TextOverlay::emitRectangle(float x0, float y0, float x1, float y1) const {
    emitQuad(x0, y0, x1, y1, solidS, solidT, solidS, solidT);
}

float TextOverlay::textWidth(const char* text) {
    return 8.0f * static_cast<float>(std::strlen(text));
}
