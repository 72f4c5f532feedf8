// row_list.cpp - reading and writing lists of schedule rows.
#include "app/row_list.h"

#include <cctype>

namespace {

// Reads a row number at `p`; false when there is no digit there or it is out of range.
bool readRow(const char*& p, int rowCount, int& row, std::string& error) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) {
        error = *p ? std::string("\"") + *p + "\" where a row number belongs"
                   : std::string("a row number is missing at the end");
        return false;
    }
    long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        value = value * 10 + (*p - '0');
        if (value > rowCount) {
            value = rowCount + 1L; // keeps reading the digits without overflowing
        }
        ++p;
    }
    if (value < 1 || value > rowCount) {
        error = "rows are numbered 1 to " + std::to_string(rowCount);
        return false;
    }
    row = static_cast<int>(value);
    return true;
}

} // namespace

bool parseRowList(const char* text, int rowCount, RowSelection& selection, std::string& error) {
    if (!text || !*text) {
        error = "the list of rows is empty";
        return false;
    }
    std::vector<bool> rows(static_cast<size_t>(rowCount) + 1, false);
    const char* p = text;
    for (;;) {
        int first = 0;
        if (!readRow(p, rowCount, first, error)) {
            return false;
        }
        int last = first;
        if (*p == '-') {
            ++p;
            if (!readRow(p, rowCount, last, error)) {
                return false;
            }
            if (last < first) {
                error = "the range " + std::to_string(first) + "-" + std::to_string(last) +
                        " runs backwards";
                return false;
            }
        }
        for (int r = first; r <= last; ++r) {
            rows[static_cast<size_t>(r)] = true;
        }
        if (*p == '\0') {
            break;
        }
        if (*p != ',') {
            error = std::string("\"") + *p + "\" where a comma or the end belongs";
            return false;
        }
        ++p;
    }
    selection.rows = std::move(rows);
    return true;
}

std::string formatRowList(const RowSelection& selection) {
    if (selection.everything()) {
        return "all";
    }
    std::string text;
    const int size = static_cast<int>(selection.rows.size());
    for (int r = 1; r < size;) {
        if (!selection.rows[static_cast<size_t>(r)]) {
            ++r;
            continue;
        }
        int last = r;
        while (last + 1 < size && selection.rows[static_cast<size_t>(last + 1)]) {
            ++last;
        }
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(r);
        if (last > r) {
            text += '-' + std::to_string(last);
        }
        r = last + 1;
    }
    return text.empty() ? "none" : text;
}

std::string describeRowSelection(const Timeline& timeline, const RowSelection& selection) {
    if (selection.everything()) {
        return "all rows";
    }
    std::string names;
    for (int r = 1; r <= timeline.count; ++r) {
        if (selection.includes(r)) {
            names += (names.empty() ? "" : ", ") + timeline.rowName(r);
        }
    }
    return "rows " + formatRowList(selection) + (names.empty() ? "" : ": " + names);
}
