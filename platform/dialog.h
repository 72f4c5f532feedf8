// dialog.h - modal dialogs described by a template in dialog units, with the controls and the
// keyboard and mouse rules of a classic dialog box: push buttons (one of them the default),
// drop-down lists, check boxes, radio buttons and labels.
//
// Everything here is portable and runs without a display: the controls' contents, the dialog
// procedure's messages, focus, Tab order, the dropped-down list and the pixel layout used for
// drawing and hit-testing. A platform backend (platform.h: dialogBoxParam, drawDialog) only
// shows the window, turns its events into dialogKey / dialogMouseDown / dialogMouseUp and draws
// the controls where dialogLayout puts them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sys {

enum DialogMessage : unsigned {
    WM_INITDIALOG = 0x0110, // lParam: the parameter given to dialogBoxParam
    WM_COMMAND = 0x0111,    // wParam: the control id (a click, Enter or Escape)
};
enum DialogCommand : int { IDOK = 1, IDCANCEL = 2 };

enum class ControlKind : uint8_t {
    PushButton,
    DefaultButton,
    ComboBox,
    Label,
    CheckBox,
    RadioButton
};

// One control of a template. Rectangles are in dialog units; a combo box's height includes its
// dropped-down list, as in a classic template. A check box with `textLeft` has its text left of
// the box. Labels have id -1.
struct DialogControl {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
    bool tabStop;
    bool textLeft;
};

struct DialogTemplate {
    const char* caption;
    int width, height; // dialog units
    const DialogControl* controls;
    int controlCount;
    // The font of every text: 256 glyphs of 8 x 16 pixels, 16 bytes each, top row first, the
    // most significant bit leftmost. Null draws no text.
    const unsigned char* font;
};

// Pixels per dialog unit. A template laid out for an 8-point sans-serif font gets 1.5 pixels per
// horizontal and 1.625 per vertical unit from it; the 8 x 16 cell of the templates' font is half
// as large again as that font's, so every unit is scaled by 1.5 to keep the texts inside their
// controls.
constexpr double dialogUnitX = 2.25;
constexpr double dialogUnitY = 2.4375;
// The frame around the client area and the caption bar above it, in pixels.
constexpr int dialogFrame = 3;
constexpr int dialogCaptionHeight = 26;
// A closed drop-down list's height, and the height of one item of a dropped-down list.
constexpr int comboFieldHeight = 29;
constexpr int comboItemHeight = 20;

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

struct Dialog;
// The dialog procedure: non-zero when it handled the message.
using DialogProc = intptr_t (*)(Dialog& dialog, unsigned message, uintptr_t wParam,
                                intptr_t lParam);

// What a control holds now.
struct ControlState {
    std::vector<std::string> items; // a combo box's list
    int selection = -1;             // a combo box's selected item; -1 for none
    bool checked = false;           // a check box or radio button
};

// A dialog made from a template: one state per template control, in template order, and what
// the user is doing with it.
struct Dialog {
    Dialog(const DialogTemplate& dialogTemplate, DialogProc procedure, intptr_t parameter);

    const DialogTemplate* tmpl;
    DialogProc proc;
    intptr_t param;
    std::vector<ControlState> controls;
    bool ended = false;  // endDialog was called
    intptr_t result = 0; // the value given to endDialog

    int focus = -1;     // control index with the keyboard focus, -1 for none
    int openList = -1;  // combo box whose list is dropped down, -1 for none
    int highlight = -1; // highlighted item of the open list
    int pressed = -1;   // push button held down by the mouse, -1 for none

    // The control index of `id`, or -1.
    int indexOf(int id) const;
    const DialogControl& control(int index) const { return tmpl->controls[index]; }
};

// The item calls of a dialog procedure. Each ignores an unknown id.
// Appends `text` to combo box `id`; the new item's index, or -1.
int comboAddString(Dialog& dialog, int id, const char* text);
// Selects `item` (-1 clears the selection). False, with nothing changed, when out of range.
bool comboSetSelection(Dialog& dialog, int id, int item);
// The selected item, or -1 when none is selected (or the id is unknown).
int comboSelection(const Dialog& dialog, int id);
void checkDialogButton(Dialog& dialog, int id, bool checked);
bool isDialogButtonChecked(const Dialog& dialog, int id);
// Ends the dialog; its window closes once the procedure returns.
void endDialog(Dialog& dialog, intptr_t result);

// Sends WM_INITDIALOG; when the procedure returns non-zero, the first Tab stop takes the focus.
void startDialog(Dialog& dialog);
// Sends WM_COMMAND for control `id`; returns the procedure's answer.
intptr_t sendDialogCommand(Dialog& dialog, int id);

// Keys with a meaning in a dialog. Tab and BackTab move the focus between Tab stops; Enter
// presses the focused push button, or else the default one; Escape is Cancel; Space presses the
// focused button or toggles the focused check box; Up, Down, Home and End move the selection of
// the focused drop-down list (or the highlight of an open one); ToggleList (F4, Alt+Down)
// drops the focused list down or closes it.
enum class DialogKey { Tab, BackTab, Enter, Escape, Space, Up, Down, Home, End, ToggleList };
void dialogKey(Dialog& dialog, DialogKey key);

// Layout in pixels of the window's area (frame and caption bar included).
int dialogPixelWidth(const DialogTemplate& dialogTemplate);
int dialogPixelHeight(const DialogTemplate& dialogTemplate);
// The caption bar, where the window can be dragged.
PixelRect captionRect(const DialogTemplate& dialogTemplate);
// Control `index` as drawn: a combo box's closed field only.
PixelRect controlRect(const Dialog& dialog, int index);
// The dropped-down list of combo box `index`, and one item of it.
PixelRect listRect(const Dialog& dialog, int index);
PixelRect listItemRect(const Dialog& dialog, int index, int item);

// The left button at pixel (x, y): pressing a push button arms it (its command is sent when the
// button is released over it); a combo field drops its list down or closes it; an item of the
// open list is selected; a check box toggles and a radio button is checked, each with its
// command; a click anywhere else closes an open list.
void dialogMouseDown(Dialog& dialog, int x, int y);
void dialogMouseUp(Dialog& dialog, int x, int y);
// Mouse movement over an open list moves its highlight.
void dialogMouseMove(Dialog& dialog, int x, int y);

} // namespace sys
