// dialog.cpp - the portable half of modal dialogs: control contents, focus and Tab order, the
// dropped-down list, keyboard and mouse rules, and the pixel layout that drawing and
// hit-testing share.
#include "platform/dialog.h"

#include <cmath>

namespace sys {

Dialog::Dialog(const DialogTemplate& dialogTemplate, DialogProc procedure, intptr_t parameter)
    : tmpl(&dialogTemplate), proc(procedure), param(parameter),
      controls(static_cast<size_t>(dialogTemplate.controlCount)) {}

int Dialog::indexOf(int id) const {
    if (id < 0) {
        return -1; // labels share id -1 and cannot be addressed
    }
    for (int i = 0; i < tmpl->controlCount; ++i) {
        if (tmpl->controls[i].id == id) {
            return i;
        }
    }
    return -1;
}

namespace {

bool isButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefaultButton;
}

ControlState* comboState(Dialog& dialog, int id) {
    const int i = dialog.indexOf(id);
    return i >= 0 && dialog.control(i).kind == ControlKind::ComboBox ? &dialog.controls[i]
                                                                     : nullptr;
}

int clampItem(int item, const ControlState& s) {
    const int last = static_cast<int>(s.items.size()) - 1;
    return item < 0 ? 0 : (item > last ? last : item);
}

void closeList(Dialog& dialog, bool takeHighlight) {
    if (dialog.openList < 0) {
        return;
    }
    ControlState& s = dialog.controls[dialog.openList];
    if (takeHighlight && dialog.highlight >= 0 &&
        dialog.highlight < static_cast<int>(s.items.size())) {
        s.selection = dialog.highlight;
    }
    dialog.openList = -1;
    dialog.highlight = -1;
}

void openList(Dialog& dialog, int index) {
    if (dialog.controls[index].items.empty()) {
        return;
    }
    dialog.openList = index;
    dialog.highlight = dialog.controls[index].selection;
}

void moveFocus(Dialog& dialog, int direction) {
    const int n = dialog.tmpl->controlCount;
    int at = dialog.focus;
    for (int step = 0; step < n; ++step) {
        at = at < 0 ? (direction > 0 ? 0 : n - 1) : (at + direction + n) % n;
        if (dialog.control(at).tabStop) {
            dialog.focus = at;
            return;
        }
    }
}

// A click or Space on control `index`: buttons send their command; an automatic check box
// toggles and an automatic radio button checks itself and clears the others, each then telling
// the procedure.
void activate(Dialog& dialog, int index) {
    const DialogControl& c = dialog.control(index);
    switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
            sendDialogCommand(dialog, c.id);
            break;
        case ControlKind::CheckBox:
            dialog.controls[index].checked = !dialog.controls[index].checked;
            sendDialogCommand(dialog, c.id);
            break;
        case ControlKind::RadioButton:
            for (int i = 0; i < dialog.tmpl->controlCount; ++i) {
                if (dialog.control(i).kind == ControlKind::RadioButton) {
                    dialog.controls[i].checked = i == index;
                }
            }
            sendDialogCommand(dialog, c.id);
            break;
        default:
            break;
    }
}

int defaultButtonId(const Dialog& dialog) {
    for (int i = 0; i < dialog.tmpl->controlCount; ++i) {
        if (dialog.control(i).kind == ControlKind::DefaultButton) {
            return dialog.control(i).id;
        }
    }
    return IDOK;
}

// The list's first shown item: the highlight is kept in view.
int firstShownItem(const Dialog& dialog, int index, int shown) {
    const int count = static_cast<int>(dialog.controls[index].items.size());
    const int h = dialog.openList == index ? dialog.highlight : -1;
    int first = h >= shown ? h - shown + 1 : 0;
    return first + shown > count ? (count > shown ? count - shown : 0) : first;
}

int shownItems(const Dialog& dialog, int index) {
    const DialogControl& c = dialog.control(index);
    const int dropped = static_cast<int>(std::lround(c.height * dialogUnitY)) - comboFieldHeight;
    int fit = (dropped - 2) / comboItemHeight;
    if (fit < 1) {
        fit = 1;
    }
    const int count = static_cast<int>(dialog.controls[index].items.size());
    return count < fit ? count : fit;
}

int pixelX(double units) {
    return static_cast<int>(std::lround(units * dialogUnitX));
}
int pixelY(double units) {
    return static_cast<int>(std::lround(units * dialogUnitY));
}

} // namespace

int comboAddString(Dialog& dialog, int id, const char* text) {
    ControlState* s = comboState(dialog, id);
    if (!s || !text) {
        return -1;
    }
    s->items.emplace_back(text);
    return static_cast<int>(s->items.size()) - 1;
}

bool comboSetSelection(Dialog& dialog, int id, int item) {
    ControlState* s = comboState(dialog, id);
    if (!s || item < -1 || item >= static_cast<int>(s->items.size())) {
        return false;
    }
    s->selection = item;
    return true;
}

int comboSelection(const Dialog& dialog, int id) {
    const int i = dialog.indexOf(id);
    return i >= 0 && dialog.control(i).kind == ControlKind::ComboBox ? dialog.controls[i].selection
                                                                     : -1;
}

void checkDialogButton(Dialog& dialog, int id, bool checked) {
    const int i = dialog.indexOf(id);
    if (i >= 0) {
        dialog.controls[i].checked = checked;
    }
}

bool isDialogButtonChecked(const Dialog& dialog, int id) {
    const int i = dialog.indexOf(id);
    return i >= 0 && dialog.controls[i].checked;
}

void endDialog(Dialog& dialog, intptr_t result) {
    dialog.ended = true;
    dialog.result = result;
}

void startDialog(Dialog& dialog) {
    dialog.focus = dialog.openList = dialog.highlight = dialog.pressed = -1;
    if (dialog.proc(dialog, WM_INITDIALOG, 0, dialog.param)) {
        moveFocus(dialog, 1);
    }
}

intptr_t sendDialogCommand(Dialog& dialog, int id) {
    return dialog.proc(dialog, WM_COMMAND, static_cast<uintptr_t>(id), 0);
}

void dialogKey(Dialog& dialog, DialogKey key) {
    if (dialog.openList >= 0) {
        const ControlState& s = dialog.controls[dialog.openList];
        const int last = static_cast<int>(s.items.size()) - 1;
        switch (key) {
            case DialogKey::Up:
                dialog.highlight = dialog.highlight < 0 ? 0 : clampItem(dialog.highlight - 1, s);
                return;
            case DialogKey::Down:
                dialog.highlight = clampItem(dialog.highlight + 1, s);
                return;
            case DialogKey::Home:
                dialog.highlight = 0;
                return;
            case DialogKey::End:
                dialog.highlight = last;
                return;
            case DialogKey::Enter:
            case DialogKey::ToggleList:
                closeList(dialog, true);
                return;
            case DialogKey::Escape:
                closeList(dialog, false);
                return;
            case DialogKey::Tab:
            case DialogKey::BackTab:
                closeList(dialog, true);
                break; // and move the focus below
            case DialogKey::Space:
                return;
        }
    }
    const int f = dialog.focus;
    const ControlKind kind = f >= 0 ? dialog.control(f).kind : ControlKind::Label;
    switch (key) {
        case DialogKey::Tab:
            moveFocus(dialog, 1);
            break;
        case DialogKey::BackTab:
            moveFocus(dialog, -1);
            break;
        case DialogKey::Enter:
            sendDialogCommand(dialog,
                              isButton(kind) ? dialog.control(f).id : defaultButtonId(dialog));
            break;
        case DialogKey::Escape:
            sendDialogCommand(dialog, IDCANCEL);
            break;
        case DialogKey::Space:
            if (f >= 0) {
                activate(dialog, f);
            }
            break;
        case DialogKey::Up:
        case DialogKey::Down:
        case DialogKey::Home:
        case DialogKey::End:
            if (kind == ControlKind::ComboBox && !dialog.controls[f].items.empty()) {
                ControlState& s = dialog.controls[f];
                const int last = static_cast<int>(s.items.size()) - 1;
                if (key == DialogKey::Home) {
                    s.selection = 0;
                } else if (key == DialogKey::End) {
                    s.selection = last;
                } else if (s.selection < 0) {
                    s.selection = 0; // either arrow picks the first item of an empty choice
                } else {
                    s.selection = clampItem(s.selection + (key == DialogKey::Down ? 1 : -1), s);
                }
            }
            break;
        case DialogKey::ToggleList:
            if (kind == ControlKind::ComboBox) {
                openList(dialog, f);
            }
            break;
    }
}

int dialogPixelWidth(const DialogTemplate& t) {
    return pixelX(t.width) + 2 * dialogFrame;
}

int dialogPixelHeight(const DialogTemplate& t) {
    return pixelY(t.height) + 2 * dialogFrame + dialogCaptionHeight;
}

PixelRect captionRect(const DialogTemplate& t) {
    return PixelRect{dialogFrame, dialogFrame, pixelX(t.width), dialogCaptionHeight};
}

PixelRect controlRect(const Dialog& dialog, int index) {
    const DialogControl& c = dialog.control(index);
    const int ox = dialogFrame;
    const int oy = dialogFrame + dialogCaptionHeight;
    PixelRect r;
    r.x = ox + pixelX(c.x);
    r.y = oy + pixelY(c.y);
    r.width = pixelX(c.x + c.width) - pixelX(c.x);
    r.height =
        c.kind == ControlKind::ComboBox ? comboFieldHeight : pixelY(c.y + c.height) - pixelY(c.y);
    return r;
}

PixelRect listRect(const Dialog& dialog, int index) {
    const PixelRect field = controlRect(dialog, index);
    return PixelRect{field.x, field.y + field.height, field.width,
                     shownItems(dialog, index) * comboItemHeight + 2};
}

PixelRect listItemRect(const Dialog& dialog, int index, int item) {
    const PixelRect list = listRect(dialog, index);
    const int shown = shownItems(dialog, index);
    const int row = item - firstShownItem(dialog, index, shown);
    if (row < 0 || row >= shown) {
        return PixelRect{}; // scrolled out of view
    }
    return PixelRect{list.x + 1, list.y + 1 + row * comboItemHeight, list.width - 2,
                     comboItemHeight};
}

namespace {

int controlAt(const Dialog& dialog, int x, int y) {
    for (int i = 0; i < dialog.tmpl->controlCount; ++i) {
        if (dialog.control(i).kind != ControlKind::Label && controlRect(dialog, i).contains(x, y)) {
            return i;
        }
    }
    return -1;
}

int listItemAt(const Dialog& dialog, int x, int y) {
    const int index = dialog.openList;
    const int count = static_cast<int>(dialog.controls[index].items.size());
    for (int item = 0; item < count; ++item) {
        if (listItemRect(dialog, index, item).contains(x, y)) {
            return item;
        }
    }
    return -1;
}

} // namespace

void dialogMouseDown(Dialog& dialog, int x, int y) {
    if (dialog.openList >= 0) {
        // The open list takes the whole click: an item is chosen, anything else just closes it.
        const int item = listItemAt(dialog, x, y);
        if (item >= 0) {
            dialog.highlight = item;
        }
        closeList(dialog, item >= 0);
        return;
    }
    const int i = controlAt(dialog, x, y);
    if (i < 0) {
        return;
    }
    dialog.focus = i;
    if (dialog.control(i).kind == ControlKind::ComboBox) {
        openList(dialog, i);
    } else {
        dialog.pressed = i;
    }
}

void dialogMouseUp(Dialog& dialog, int x, int y) {
    const int i = dialog.pressed;
    dialog.pressed = -1;
    if (i >= 0 && controlRect(dialog, i).contains(x, y)) {
        activate(dialog, i);
    }
}

void dialogMouseMove(Dialog& dialog, int x, int y) {
    if (dialog.openList >= 0) {
        const int item = listItemAt(dialog, x, y);
        if (item >= 0) {
            dialog.highlight = item;
        }
    }
}

} // namespace sys
