#pragma once

// The port prompt's window: a label, the edit line under it and a default
// "OK" button under that, in client pixels.

#include <SDL_rect.h>

inline constexpr int kPromptWidth = 280;
inline constexpr int kPromptHeight = 118;
inline constexpr SDL_Point kPromptMessageAt{12, 10};
inline constexpr SDL_Rect kPromptEditBox{12, 34, 256, 24};
inline constexpr SDL_Rect kPromptOkButton{105, 74, 70, 28};
