#include "platform/dialogs.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "dialog_drawing.h"
#include "sdl_backend.h"
#include "system_font.h"

namespace {

constexpr int kMargin = 24;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 28;

// Video drivers without a screen, where nobody could answer a box.
bool NobodyToAsk() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

// Our own box, drawn like the port prompt, for when SDL cannot show its own
// (its X11 box needs the X server's core fonts, which a bare X server lacks).
// Return, Escape, the close box and a click on OK all dismiss it.
void ShowOwnMessageBox(const std::string& title, const std::string& text) {
    if (NobodyToAsk()) return;
    TTF_Font* font = SystemFont();
    const int cell = DialogCellHeight(font, 16);
    const int width = std::max(220, DialogTextWidth(font, text) + 2 * kMargin);
    const int height = kMargin + cell + kMargin + kButtonHeight + kMargin / 2;
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0"); // software drawing, shown without OpenGL
    SDL_Window* window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          width, height, SDL_WINDOW_SHOWN);
    if (window == nullptr) return;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        SDL_DestroyWindow(window);
        return;
    }
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
    const Uint32 id = SDL_GetWindowID(window);
    const SDL_Rect button{(width - kButtonWidth) / 2, kMargin + cell + kMargin, kButtonWidth, kButtonHeight};
    bool pressed = false;
    bool open = true;
    while (open) {
        SetDialogColour(renderer, kDialogFace);
        SDL_RenderClear(renderer);
        DrawDialogText(renderer, font, text, kMargin, kMargin);
        DrawDefaultButton(renderer, font, button, "OK");
        SDL_RenderPresent(renderer);
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 100) == 0) continue;
        switch (event.type) {
        case SDL_QUIT: open = false; break;
        case SDL_WINDOWEVENT:
            if (event.window.windowID == id && event.window.event == SDL_WINDOWEVENT_CLOSE) open = false;
            break;
        case SDL_KEYDOWN:
            if (EventForDialog(event.key.windowID, id) &&
                (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER ||
                 event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_SPACE))
                open = false;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (EventForDialog(event.button.windowID, id) && event.button.button == SDL_BUTTON_LEFT) {
                const SDL_Point at{event.button.x, event.button.y};
                const bool onButton = SDL_PointInRect(&at, &button) == SDL_TRUE;
                if (event.type == SDL_MOUSEBUTTONDOWN)
                    pressed = onButton;
                else if (pressed && onButton)
                    open = false;
                else
                    pressed = false;
            }
            break;
        default: break;
        }
    }
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
}

} // namespace

void ShowMessageBox(std::u16string_view title, std::u16string_view text) {
    // SDL's box needs no window of ours: it talks to the display itself. Its
    // one button answers both Return and Escape.
    const std::string utf8Title = ToUtf8(title);
    const std::string utf8Text = ToUtf8(text);
    if (SDL_ShowSimpleMessageBox(0, utf8Title.c_str(), utf8Text.c_str(), nullptr) == 0) return;
    ShowOwnMessageBox(utf8Title, utf8Text);
}
