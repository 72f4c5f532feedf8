// timeline.h - the ordered list of parts the frame loop runs.
//
// Parts render in insertion order, so a part appended later draws over earlier ones. The
// timeline does not own its parts; they live until the process ends.
#pragma once

#include <string>
#include <vector>

#include "platform/growable_array.h"

class Part;

// Which rows of a timeline are drawn. Rows are numbered from 1 in insertion order, as the
// schedule numbers them. An empty selection draws every row.
struct RowSelection {
    std::vector<bool> rows; // rows[r] for row r; index 0 is unused

    bool everything() const { return rows.empty(); }
    bool includes(int row) const {
        return rows.empty() || (row > 0 && row < static_cast<int>(rows.size()) && rows[row]);
    }
};

// items / count / capacity are the parts in insertion order; append() adds one at the end.
struct Timeline : GrowableArray<Part*> {
    // Renders every selected part whose closed interval [start, end] holds demoTime, with
    // localTime = demoTime - start in single precision. A row left out of the selection is not
    // called at all, so it leaves nothing behind: no pixels and no GL state.
    void run(float demoTime);
    // Releases the array of pointers; the parts themselves are left alone.
    void releaseArray() { release(); }
    // Exchanges the parts of two timelines; each keeps its own selection.
    void swapParts(Timeline& other) noexcept { swap(other); }
    // The name of the part at `row` (from 1), as the part gives it ("Boxical" for a
    // BoxicalPart); "" for a row that does not exist.
    std::string rowName(int row) const;

    RowSelection selection; // the development player's --rows; every row by default
};
