// contact_sheet.h - a grid of small frames, each labelled underneath in the player's built-in
// 8 x 16 font, written as one PNG: the capture's overview of a run.
#pragma once

#include <string>
#include <vector>

class ContactSheet {
public:
    // Cells `thumbWidth` pixels wide (pictures are 4:3), `columns` to a row.
    explicit ContactSheet(int columns = 6, int thumbWidth = 240);

    // Adds a picture of w x h RGB pixels (rows top to bottom), scaled to the cell by averaging,
    // with its label: the first line as a heading, the others wrapped at ", " to fit the cell.
    void add(const std::vector<unsigned char>& rgb, int w, int h,
             const std::vector<std::string>& label);
    // Lays out the grid and writes it: as JPEG where the name ends in .jpg or .jpeg, else as
    // PNG. False (with a message on stderr) when it cannot.
    bool write(const std::string& path) const;
    // The composed sheet, RGB rows top to bottom, and its size.
    std::vector<unsigned char> compose(int& width, int& height) const;
    size_t size() const { return cells.size(); }

private:
    struct Cell {
        std::vector<unsigned char> rgb; // thumbWidth x thumbHeight
        std::vector<std::string> lines; // already wrapped
    };
    int columns;
    int thumbWidth;
    int thumbHeight;
    std::vector<Cell> cells;
};

// `text` broken into lines of at most `columns` characters, at ", " where it can be.
std::vector<std::string> wrapList(const std::string& text, int columns);
// Box-filtered scaling of RGB rows from sw x sh to dw x dh.
std::vector<unsigned char> scaleRgb(const std::vector<unsigned char>& rgb, int sw, int sh, int dw,
                                    int dh);
