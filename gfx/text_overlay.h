// text_overlay.h - a screen-space text layer of 80 x 30 cells of 8 x 16 pixels, drawn from one
// 256 x 256 RGBA font texture. The players open the layer every frame and write nothing into
// it; opening it leaves the font texture bound with texturing and alpha blending enabled, which
// is the state the next frame's parts begin with.
//
// The font fills the texture's upper half. Its lower half, which the layer's own glyphs never
// sample, holds a half-height copy of the font and one opaque white cell, so that a caller
// drawing in the layer's state (the development player's timeline) writes small labels and
// solid rectangles with the same texture bound, without changing any other state.
#pragma once

struct GlyphCoordinates {
    float s0, s1, t0, t1; // centres of the cell's first and last pixel columns and rows
};

class TextOverlay {
public:
    // Builds the font texture from `font` (256 glyphs, glyphHeight bytes each, MSB leftmost) and
    // uploads it under the texture name `textureId`, which is used directly, not generated.
    TextOverlay(const unsigned char* font, int glyphHeight, unsigned textureId, int width,
                int height);
    // Orthographic layer with (0, 0) top left; binds the font, enables texturing and blending.
    // The modelview matrix is left selected.
    void begin();
    // Moves the cursor; a column outside 0..79 or a row outside 0..29 leaves that coordinate.
    void setCursor(int column, int row);

    // Vertices of textured quads for the caller's glBegin(GL_QUADS) .. glEnd, in the units of
    // the projection current then, in the current colour (the texture environment modulates):
    // `text` in cells of 8 x 16 units with its top left at (x, y), or 8 x 8 in the half-height
    // font when `small` (blanks emit nothing); and a solid rectangle from (x0, y0) to (x1, y1).
    // Quads run anticlockwise on a screen whose y grows downwards, so culling keeps them.
    void emitText(float x, float y, const char* text, bool small = false) const;
    void emitRectangle(float x0, float y0, float x1, float y1) const;
    // Units of width `text` takes: 8 per character.
    static float textWidth(const char* text);

    GlyphCoordinates glyphs[256];
    GlyphCoordinates smallGlyphs[256];  // the half-height font; all zero when it does not fit
    float solidS = 0.0f, solidT = 0.0f; // the centre of the white cell
    int glyphHeight;
    unsigned textureId = 0;
    int cursorX = 0;
    int cursorY = 0;
    int width;
    int height;
};

// The built-in font: 256 glyphs of 16 rows.
extern const unsigned char builtinFont[256 * 16];
