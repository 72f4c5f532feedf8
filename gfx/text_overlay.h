// text_overlay.h - a screen-space text layer of 80 x 30 cells of 8 x 16 pixels, drawn from one
// 256 x 256 RGBA font texture. The players open the layer every frame and write nothing into
// it; opening it leaves the font texture bound with texturing and alpha blending enabled, which
// is the state the next frame's parts begin with.
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

    GlyphCoordinates glyphs[256];
    int glyphHeight;
    unsigned textureId = 0;
    int cursorX = 0;
    int cursorY = 0;
    int width;
    int height;
};

// The built-in font: 256 glyphs of 16 rows.
extern const unsigned char builtinFont[256 * 16];
