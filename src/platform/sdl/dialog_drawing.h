#pragma once

// What the backend's own dialog windows (the port prompt, and the message
// box where SDL cannot show its own) draw with: a software renderer and the
// system font, in the colours of a plain Windows dialog.

#include <SDL.h>

#include <string>

typedef struct _TTF_Font TTF_Font;

inline constexpr SDL_Color kDialogFace{240, 240, 240, 255};
inline constexpr SDL_Color kDialogInk{0, 0, 0, 255};
inline constexpr SDL_Color kDialogFocus{0, 120, 215, 255};

void SetDialogColour(SDL_Renderer* renderer, SDL_Color colour);
// 0 without a font.
int DialogTextWidth(TTF_Font* font, const std::string& utf8);
// The cell height of the font, or `fallback` without one.
int DialogCellHeight(TTF_Font* font, int fallback);
// Black text with the top-left of its first cell at (x, y); nothing without a font.
void DrawDialogText(SDL_Renderer* renderer, TTF_Font* font, const std::string& utf8, int x, int y);
// The default push button: Enter presses it, hence its heavier frame.
void DrawDefaultButton(SDL_Renderer* renderer, TTF_Font* font, const SDL_Rect& button,
                       const std::string& label);

// Keyboard and mouse events count for a dialog when they are its window's,
// or belong to no window at all (as events pushed into the queue do).
inline bool EventForDialog(Uint32 eventWindowId, Uint32 dialogId) {
    return eventWindowId == 0 || eventWindowId == dialogId;
}
