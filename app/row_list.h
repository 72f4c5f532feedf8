// row_list.h - the schedule rows a person names on a command line ("15", "4-8,12"), for
// drawing some rows alone: the development player's --rows, and the capture tool's.
#pragma once

#include <string>

#include "timeline/timeline.h"

// Reads a comma-separated list of row numbers and ranges ("4-8" is rows 4 to 8) from 1 to
// `rowCount` into `selection`. Returns false, with the reason in `error` and `selection`
// unchanged, for an empty list or item, a row outside 1..rowCount, a range that runs backwards,
// or anything that is not a number. Rows may repeat and come in any order.
bool parseRowList(const char* text, int rowCount, RowSelection& selection, std::string& error);

// The selection in the list's own form, ranges joined ("4-8,12"); "all" for every row.
std::string formatRowList(const RowSelection& selection);

// "rows 4-8,12: Boxical, PictureTunnel, ..." with the names of the selected rows that exist in
// `timeline`; "all rows" for every row. For labels that say what a picture holds.
std::string describeRowSelection(const Timeline& timeline, const RowSelection& selection);
