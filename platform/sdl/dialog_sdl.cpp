// dialog_sdl.cpp - modal dialogs over SDL2: a borderless window with a caption bar of its own
// (the classic dialog has no close box, which a window manager's frame would add), drawn with
// SDL's software renderer in the grey bevelled style of classic dialog boxes, with the
// template's 8 x 16 font. The same painting serves the window and drawDialog's images.
#include "platform/diagnostics.h"
#include "platform/platform.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/sdl/interrupts.h"

namespace sys {

namespace {

constexpr int glyphWidth = 8;
constexpr int glyphHeight = 16;

struct Colour {
    Uint8 r, g, b;
};
constexpr Colour face{192, 192, 192};
constexpr Colour light{223, 223, 223};
constexpr Colour white{255, 255, 255};
constexpr Colour shadow{128, 128, 128};
constexpr Colour black{0, 0, 0};
constexpr Colour selectedBack{0, 0, 128};
constexpr Colour captionLeft{0, 0, 128};
constexpr Colour captionRight{16, 132, 208};

class Painter {
public:
    Painter(SDL_Renderer* renderer, const unsigned char* glyphs) : r(renderer) {
        // The font as one 128 x 256 atlas of white glyphs on transparent pixels, tinted per text.
        if (!glyphs) {
            return;
        }
        font = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 16 * 8,
                                 16 * glyphHeight);
        if (font) {
            static Uint32 pixels[128 * 256];
            for (int g = 0; g < 256; ++g) {
                for (int row = 0; row < glyphHeight; ++row) {
                    const unsigned char bits = glyphs[g * glyphHeight + row];
                    for (int col = 0; col < glyphWidth; ++col) {
                        const int x = (g % 16) * glyphWidth + col;
                        const int y = (g / 16) * glyphHeight + row;
                        pixels[y * 128 + x] = (bits & (0x80 >> col)) ? 0xFFFFFFFFu : 0x00FFFFFFu;
                    }
                }
            }
            SDL_UpdateTexture(font, nullptr, pixels, 128 * 4);
            SDL_SetTextureBlendMode(font, SDL_BLENDMODE_BLEND);
        }
    }
    ~Painter() {
        if (font) {
            SDL_DestroyTexture(font);
        }
    }
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    void colour(Colour c) { SDL_SetRenderDrawColor(r, c.r, c.g, c.b, 255); }
    void fill(const PixelRect& p, Colour c) {
        colour(c);
        const SDL_Rect rect{p.x, p.y, p.width, p.height};
        SDL_RenderFillRect(r, &rect);
    }
    void line(int x0, int y0, int x1, int y1, Colour c) {
        colour(c);
        SDL_RenderDrawLine(r, x0, y0, x1, y1);
    }
    // Two-pixel bevel: outer top-left / bottom-right, then inner.
    void bevel(const PixelRect& p, Colour outerTl, Colour outerBr, Colour innerTl, Colour innerBr) {
        const int x1 = p.x + p.width - 1, y1 = p.y + p.height - 1;
        line(p.x, p.y, x1 - 1, p.y, outerTl);
        line(p.x, p.y, p.x, y1 - 1, outerTl);
        line(p.x, y1, x1, y1, outerBr);
        line(x1, p.y, x1, y1, outerBr);
        line(p.x + 1, p.y + 1, x1 - 2, p.y + 1, innerTl);
        line(p.x + 1, p.y + 1, p.x + 1, y1 - 2, innerTl);
        line(p.x + 1, y1 - 1, x1 - 1, y1 - 1, innerBr);
        line(x1 - 1, p.y + 1, x1 - 1, y1 - 1, innerBr);
    }
    void raised(const PixelRect& p) { bevel(p, light, black, white, shadow); }
    void sunken(const PixelRect& p) { bevel(p, shadow, white, black, light); }
    // The dotted rectangle of the keyboard focus.
    void focus(const PixelRect& p) {
        colour(black);
        for (int x = p.x; x < p.x + p.width; x += 2) {
            SDL_RenderDrawPoint(r, x, p.y);
            SDL_RenderDrawPoint(r, x, p.y + p.height - 1);
        }
        for (int y = p.y; y < p.y + p.height; y += 2) {
            SDL_RenderDrawPoint(r, p.x, y);
            SDL_RenderDrawPoint(r, p.x + p.width - 1, y);
        }
    }
    void text(int x, int y, const char* s, Colour c, bool bold = false) {
        if (!font) {
            return;
        }
        SDL_SetTextureColorMod(font, c.r, c.g, c.b);
        for (; *s; ++s, x += glyphWidth) {
            const auto g = static_cast<unsigned char>(*s);
            const SDL_Rect from{(g % 16) * glyphWidth, (g / 16) * glyphHeight, glyphWidth,
                                glyphHeight};
            SDL_Rect to{x, y, glyphWidth, glyphHeight};
            SDL_RenderCopy(r, font, &from, &to);
            if (bold) {
                to.x += 1;
                SDL_RenderCopy(r, font, &from, &to);
            }
        }
    }
    void point(int x, int y, Colour c) {
        colour(c);
        SDL_RenderDrawPoint(r, x, y);
    }
    static int textWidth(const char* s) { return static_cast<int>(std::strlen(s)) * glyphWidth; }
    // A filled disc: the pixels whose offsets from (cx, cy) lie within `radius`.
    void disc(int cx, int cy, double radius, Colour c) {
        colour(c);
        const int n = static_cast<int>(radius) + 1;
        for (int dy = -n; dy <= n; ++dy) {
            for (int dx = -n; dx <= n; ++dx) {
                if (dx * dx + dy * dy <= radius * radius) {
                    SDL_RenderDrawPoint(r, cx + dx, cy + dy);
                }
            }
        }
    }

private:
    SDL_Renderer* r;
    SDL_Texture* font = nullptr;
};

void paintButton(Painter& p, const Dialog& d, int i, const PixelRect& rc) {
    const DialogControl& c = d.control(i);
    const bool isDefault = c.kind == ControlKind::DefaultButton;
    const bool down = d.pressed == i;
    p.fill(rc, face);
    PixelRect inner = rc;
    if (isDefault) {
        // The default button wears a black outline.
        p.line(rc.x, rc.y, rc.x + rc.width - 1, rc.y, black);
        p.line(rc.x, rc.y + rc.height - 1, rc.x + rc.width - 1, rc.y + rc.height - 1, black);
        p.line(rc.x, rc.y, rc.x, rc.y + rc.height - 1, black);
        p.line(rc.x + rc.width - 1, rc.y, rc.x + rc.width - 1, rc.y + rc.height - 1, black);
        inner = PixelRect{rc.x + 1, rc.y + 1, rc.width - 2, rc.height - 2};
    }
    if (down) {
        p.bevel(inner, shadow, shadow, face, face);
    } else {
        p.raised(inner);
    }
    const int shift = down ? 1 : 0;
    const int tx = rc.x + (rc.width - Painter::textWidth(c.text)) / 2 + shift;
    const int ty = rc.y + (rc.height - glyphHeight) / 2 + shift;
    p.text(tx, ty, c.text, black);
    if (d.focus == i) {
        p.focus(PixelRect{inner.x + 3, inner.y + 3, inner.width - 6, inner.height - 6});
    }
}

void paintArrow(Painter& p, int cx, int cy) {
    // A small black triangle pointing down, 7 pixels wide.
    for (int row = 0; row < 4; ++row) {
        p.line(cx - 3 + row, cy - 1 + row, cx + 3 - row, cy - 1 + row, black);
    }
}

void paintCombo(Painter& p, const Dialog& d, int i, const PixelRect& rc) {
    const ControlState& s = d.controls[i];
    p.fill(rc, white);
    p.sunken(rc);
    const int buttonSize = rc.height - 4;
    const PixelRect button{rc.x + rc.width - 2 - buttonSize, rc.y + 2, buttonSize, buttonSize};
    p.fill(button, face);
    if (d.openList == i) {
        p.bevel(button, shadow, shadow, face, face);
    } else {
        p.raised(button);
    }
    paintArrow(p, button.x + button.width / 2, button.y + button.height / 2);
    const PixelRect field{rc.x + 3, rc.y + 3, button.x - rc.x - 4, rc.height - 6};
    const bool focused = d.focus == i && d.openList != i;
    if (focused) {
        p.fill(field, selectedBack);
        p.focus(field);
    }
    if (s.selection >= 0 && s.selection < static_cast<int>(s.items.size())) {
        p.text(field.x + 2, rc.y + (rc.height - glyphHeight) / 2, s.items[s.selection].c_str(),
               focused ? white : black);
    }
}

void paintList(Painter& p, const Dialog& d, int i) {
    const ControlState& s = d.controls[i];
    const PixelRect list = listRect(d, i);
    p.fill(list, white);
    p.line(list.x, list.y, list.x + list.width - 1, list.y, black);
    p.line(list.x, list.y + list.height - 1, list.x + list.width - 1, list.y + list.height - 1,
           black);
    p.line(list.x, list.y, list.x, list.y + list.height - 1, black);
    p.line(list.x + list.width - 1, list.y, list.x + list.width - 1, list.y + list.height - 1,
           black);
    for (int item = 0; item < static_cast<int>(s.items.size()); ++item) {
        const PixelRect r = listItemRect(d, i, item);
        if (r.width == 0) {
            continue;
        }
        const bool lit = item == d.highlight;
        if (lit) {
            p.fill(r, selectedBack);
        }
        p.text(r.x + 3, r.y + (r.height - glyphHeight) / 2, s.items[item].c_str(),
               lit ? white : black);
    }
}

void paintCheckBox(Painter& p, const Dialog& d, int i, const PixelRect& rc) {
    const DialogControl& c = d.control(i);
    constexpr int box = 16;
    const int by = rc.y + (rc.height - box) / 2;
    const int tw = Painter::textWidth(c.text);
    const int bx = c.textLeft ? rc.x + rc.width - box : rc.x;
    const int tx = c.textLeft ? rc.x : rc.x + box + 5;
    const PixelRect boxRect{bx, by, box, box};
    p.fill(boxRect, d.pressed == i ? face : white);
    p.sunken(boxRect);
    if (d.controls[i].checked) {
        // The tick: down from the left, then up to the right, three pixels thick.
        const int x0 = bx + 4, y0 = by + 7;
        for (int t = 0; t < 3; ++t) {
            p.line(x0, y0 + t, x0 + 2, y0 + 2 + t, black);
            p.line(x0 + 2, y0 + 2 + t, x0 + 8, y0 - 4 + t, black);
        }
    }
    const int ty = rc.y + (rc.height - glyphHeight) / 2;
    p.text(tx, ty, c.text, black);
    if (d.focus == i) {
        p.focus(PixelRect{tx - 2, ty - 1, tw + 4, glyphHeight + 2});
    }
}

void paintRadio(Painter& p, const Dialog& d, int i, const PixelRect& rc) {
    // Only the round button shows: the text beside it is clipped by the control's narrow width.
    // Two sunken rings, lit from the top left, around a white well.
    const int cx = rc.x + 8, cy = rc.y + rc.height / 2;
    const bool down = d.pressed == i;
    for (int dy = -8; dy <= 8; ++dy) {
        for (int dx = -8; dx <= 8; ++dx) {
            const double r = std::sqrt(static_cast<double>(dx * dx + dy * dy));
            if (r > 7.5) {
                continue;
            }
            const bool lit = dx + dy > 0; // the bottom-right half catches the light
            Colour c = down ? face : white;
            if (r > 6.5) {
                c = lit ? white : shadow;
            } else if (r > 5.5) {
                c = lit ? light : black;
            }
            p.point(cx + dx, cy + dy, c);
        }
    }
    if (d.controls[i].checked) {
        p.disc(cx, cy, 2.5, black);
    }
}

void paint(SDL_Renderer* renderer, const Dialog& d) {
    Painter p(renderer, d.tmpl->font);
    const DialogTemplate& t = *d.tmpl;
    const PixelRect whole{0, 0, dialogPixelWidth(t), dialogPixelHeight(t)};
    p.fill(whole, face);
    p.raised(whole);

    // The caption bar: a horizontal blend between two blues, the caption in bold white.
    const PixelRect bar = captionRect(t);
    for (int x = 0; x < bar.width; ++x) {
        const double f = bar.width > 1 ? static_cast<double>(x) / (bar.width - 1) : 0.0;
        const Colour c{static_cast<Uint8>(captionLeft.r + f * (captionRight.r - captionLeft.r)),
                       static_cast<Uint8>(captionLeft.g + f * (captionRight.g - captionLeft.g)),
                       static_cast<Uint8>(captionLeft.b + f * (captionRight.b - captionLeft.b))};
        p.line(bar.x + x, bar.y, bar.x + x, bar.y + bar.height - 2, c);
    }
    p.text(bar.x + 6, bar.y + (bar.height - 1 - glyphHeight) / 2, t.caption, white, true);

    for (int i = 0; i < t.controlCount; ++i) {
        const DialogControl& c = d.control(i);
        const PixelRect rc = controlRect(d, i);
        switch (c.kind) {
            case ControlKind::PushButton:
            case ControlKind::DefaultButton:
                paintButton(p, d, i, rc);
                break;
            case ControlKind::ComboBox:
                paintCombo(p, d, i, rc);
                break;
            case ControlKind::Label:
                p.text(rc.x, rc.y, c.text, black);
                break;
            case ControlKind::CheckBox:
                paintCheckBox(p, d, i, rc);
                break;
            case ControlKind::RadioButton:
                paintRadio(p, d, i, rc);
                break;
        }
    }
    if (d.openList >= 0) {
        paintList(p, d, d.openList); // over everything below it
    }
    SDL_RenderPresent(renderer);
}

bool headlessDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

SDL_HitTestResult dragByCaption(SDL_Window*, const SDL_Point* at, void* data) {
    const auto* t = static_cast<const DialogTemplate*>(data);
    return captionRect(*t).contains(at->x, at->y) ? SDL_HITTEST_DRAGGABLE : SDL_HITTEST_NORMAL;
}

bool translateKey(const SDL_Keysym& key, DialogKey& out) {
    const bool alt = (key.mod & KMOD_ALT) != 0;
    switch (key.sym) {
        case SDLK_TAB:
            out = (key.mod & KMOD_SHIFT) ? DialogKey::BackTab : DialogKey::Tab;
            return true;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            out = DialogKey::Enter;
            return true;
        case SDLK_ESCAPE:
            out = DialogKey::Escape;
            return true;
        case SDLK_SPACE:
            out = DialogKey::Space;
            return true;
        case SDLK_UP:
            out = alt ? DialogKey::ToggleList : DialogKey::Up;
            return true;
        case SDLK_DOWN:
            out = alt ? DialogKey::ToggleList : DialogKey::Down;
            return true;
        case SDLK_LEFT:
            out = DialogKey::Up;
            return true;
        case SDLK_RIGHT:
            out = DialogKey::Down;
            return true;
        case SDLK_HOME:
            out = DialogKey::Home;
            return true;
        case SDLK_END:
            out = DialogKey::End;
            return true;
        case SDLK_F4:
            out = DialogKey::ToggleList;
            return true;
        default:
            return false;
    }
}

} // namespace

intptr_t dialogBoxParam(const DialogTemplate& dialogTemplate, DialogProc proc, intptr_t param) {
    std::string reason;
    if (!openDisplay(reason)) {
        return -1;
    }
    Dialog dialog(dialogTemplate, proc, param);
    if (headlessDriver()) {
        // Nobody could see or answer it: start it and press Enter, as a person who accepts the
        // defaults would.
        diagnostic("%s: no screen to show the dialog on; its defaults are taken\n",
                   dialogTemplate.caption);
        startDialog(dialog);
        dialogKey(dialog, DialogKey::Enter);
        return dialog.ended ? dialog.result : -1;
    }
    const int width = dialogPixelWidth(dialogTemplate);
    const int height = dialogPixelHeight(dialogTemplate);
    ModalScope modal; // an interrupt while the dialog waits ends the program at once
    SDL_Window* window =
        SDL_CreateWindow(dialogTemplate.caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    if (!window) {
        diagnostic("video: cannot create the dialog window: %s\n", SDL_GetError());
        return -1;
    }
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) {
        diagnostic("video: cannot draw the dialog: %s\n", SDL_GetError());
        SDL_DestroyWindow(window);
        return -1;
    }
    SDL_SetWindowHitTest(window, &dragByCaption, const_cast<DialogTemplate*>(&dialogTemplate));
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
    const Uint32 id = SDL_GetWindowID(window);

    startDialog(dialog);
    paint(renderer, dialog);
    while (!dialog.ended) {
        SDL_Event e;
        if (!SDL_WaitEventTimeout(&e, 250)) {
            continue;
        }
        switch (e.type) {
            case SDL_QUIT:
                // Asked to close from outside (the desktop): as Cancel. An interrupt never gets
                // here; it ends the program (interrupts.h).
                sendDialogCommand(dialog, IDCANCEL);
                break;
            case SDL_WINDOWEVENT:
                if (e.window.windowID == id && e.window.event == SDL_WINDOWEVENT_CLOSE) {
                    sendDialogCommand(dialog, IDCANCEL);
                }
                break;
            case SDL_KEYDOWN: {
                DialogKey key;
                if (e.key.windowID == id && translateKey(e.key.keysym, key)) {
                    dialogKey(dialog, key);
                }
                break;
            }
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                    dialogMouseDown(dialog, e.button.x, e.button.y);
                }
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
                    dialogMouseUp(dialog, e.button.x, e.button.y);
                }
                break;
            case SDL_MOUSEMOTION:
                if (e.motion.windowID == id) {
                    dialogMouseMove(dialog, e.motion.x, e.motion.y);
                }
                break;
            default:
                break;
        }
        if (!dialog.ended) {
            paint(renderer, dialog);
        }
    }
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_PumpEvents(); // let the window go before the next one appears
    return dialog.result;
}

bool drawDialog(const Dialog& dialog, std::vector<uint8_t>& rgba, int& width, int& height) {
    width = dialogPixelWidth(*dialog.tmpl);
    height = dialogPixelHeight(*dialog.tmpl);
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface) {
        return false;
    }
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    if (!renderer) {
        SDL_FreeSurface(surface);
        return false;
    }
    paint(renderer, dialog);
    // RGBA32 is R, G, B, A in memory order on any machine.
    rgba.resize(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&rgba[static_cast<size_t>(y) * width * 4],
                    static_cast<const Uint8*>(surface->pixels) +
                        static_cast<size_t>(y) * surface->pitch,
                    static_cast<size_t>(width) * 4);
    }
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
    return true;
}

} // namespace sys
