// text_overlay.cpp - the font texture and the overlay's GL set-up.
#include "gfx/text_overlay.h"

#include <cstdint>
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
