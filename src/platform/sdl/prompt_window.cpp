// The port prompt: a small window of its own with a software renderer,
// running its own event loop until it is confirmed or cancelled.
#include "prompt_window.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "dialog_drawing.h"
#include "edit_line.h"
#include "platform/dialogs.h"
#include "sdl_backend.h"
#include "system_font.h"

namespace {

std::atomic<uint32_t> OpenPromptId{0};

constexpr SDL_Color kEditBack{255, 255, 255, 255};

enum class Outcome { Open, Confirmed, Cancelled };

void DrawPrompt(SDL_Renderer* renderer, TTF_Font* font, const std::string& message, const EditLine& edit) {
    SetDialogColour(renderer, kDialogFace);
    SDL_RenderClear(renderer);
    DrawDialogText(renderer, font, message, kPromptMessageAt.x, kPromptMessageAt.y);

    const SDL_Rect& box = kPromptEditBox;
    SetDialogColour(renderer, kEditBack);
    SDL_RenderFillRect(renderer, &box);
    SetDialogColour(renderer, kDialogFocus); // the edit line has the focus
    SDL_RenderDrawRect(renderer, &box);
    const SDL_Rect inside{box.x + 4, box.y + 2, box.w - 8, box.h - 4};
    const int cellHeight = DialogCellHeight(font, inside.h - 4);
    const int textY = box.y + (box.h - cellHeight) / 2;
    // A long text scrolls left so the caret stays in view.
    const int caretX = DialogTextWidth(font, edit.Utf8BeforeCaret());
    const int scroll = std::max(0, caretX - (inside.w - 1));
    SDL_RenderSetClipRect(renderer, &inside);
    DrawDialogText(renderer, font, edit.Utf8(), inside.x - scroll, textY);
    SetDialogColour(renderer, kDialogInk);
    SDL_RenderDrawLine(renderer, inside.x + caretX - scroll, textY, inside.x + caretX - scroll,
                       textY + cellHeight - 1);
    SDL_RenderSetClipRect(renderer, nullptr);

    DrawDefaultButton(renderer, font, kPromptOkButton, "OK");
    SDL_RenderPresent(renderer);
}

bool InOkButton(int x, int y) {
    const SDL_Point point{x, y};
    return SDL_PointInRect(&point, &kPromptOkButton) == SDL_TRUE;
}

Outcome HandleEvent(const SDL_Event& event, uint32_t promptId, EditLine& edit, bool& okPressed) {
    switch (event.type) {
    case SDL_QUIT: return Outcome::Cancelled;
    case SDL_WINDOWEVENT:
        // The close box cancels, like Escape.
        if (event.window.windowID == promptId && event.window.event == SDL_WINDOWEVENT_CLOSE)
            return Outcome::Cancelled;
        break;
    case SDL_KEYDOWN:
        if (!EventForDialog(event.key.windowID, promptId)) break;
        switch (event.key.keysym.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return Outcome::Confirmed;
        case SDLK_ESCAPE: return Outcome::Cancelled;
        case SDLK_BACKSPACE: edit.Backspace(); break;
        case SDLK_DELETE: edit.Delete(); break;
        case SDLK_LEFT: edit.Left(); break;
        case SDLK_RIGHT: edit.Right(); break;
        case SDLK_HOME: edit.Home(); break;
        case SDLK_END: edit.End(); break;
        default: break;
        }
        break;
    case SDL_TEXTINPUT:
        if (EventForDialog(event.text.windowID, promptId))
            edit.Insert(std::string_view(event.text.text, strnlen(event.text.text, sizeof(event.text.text))));
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (EventForDialog(event.button.windowID, promptId) && event.button.button == SDL_BUTTON_LEFT)
            okPressed = InOkButton(event.button.x, event.button.y);
        break;
    case SDL_MOUSEBUTTONUP:
        // A click is a press and a release both on the button.
        if (EventForDialog(event.button.windowID, promptId) && event.button.button == SDL_BUTTON_LEFT) {
            const bool clicked = okPressed && InOkButton(event.button.x, event.button.y);
            okPressed = false;
            if (clicked) return Outcome::Confirmed;
        }
        break;
    default: break;
    }
    return Outcome::Open;
}

} // namespace

uint32_t PromptWindowId() { return OpenPromptId.load(); }

std::u16string PromptForText(std::u16string_view title, std::u16string_view message,
                             std::u16string_view defaultText) {
    // Closing the prompt, the only window then, must not queue SDL_QUIT for
    // the main loop to read as a close request later.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0"); // software drawing, shown without OpenGL
    const std::string utf8Title = ToUtf8(title);
    SDL_Window* window = SDL_CreateWindow(utf8Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          kPromptWidth, kPromptHeight, SDL_WINDOW_SHOWN);
    if (window == nullptr) return {}; // a prompt that never came up answers like a cancelled one
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        SDL_DestroyWindow(window);
        return {};
    }
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
    SDL_StartTextInput();
    const uint32_t promptId = SDL_GetWindowID(window);
    OpenPromptId.store(promptId);

    EditLine edit(defaultText);
    const std::string utf8Message = ToUtf8(message);
    TTF_Font* font = SystemFont();
    bool okPressed = false;
    Outcome outcome = Outcome::Open;
    // Whatever is queued already is the user's (or a test's) answer, so the
    // queue is not flushed first.
    DrawPrompt(renderer, font, utf8Message, edit);
    while (outcome == Outcome::Open) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 100) == 0) continue;
        outcome = HandleEvent(event, promptId, edit, okPressed);
        if (outcome == Outcome::Open) DrawPrompt(renderer, font, utf8Message, edit);
    }

    OpenPromptId.store(0);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    return outcome == Outcome::Confirmed ? edit.Utf16() : std::u16string{};
}
