#pragma once

// What the files of the SDL backend share with each other, and nothing more.

#include <cstdint>
#include <string>
#include <string_view>

struct SDL_Window;
struct SDL_Surface;
struct SDL_Rect;

// window.cpp: the monitor window, or null when it is not open.
SDL_Window* MonitorSdlWindow();
// window.cpp: closes the monitor window and its canvas; nothing when none.
void DestroyMonitorWindow();
// window.cpp: the picture of the monitor window's client area that the
// drawing service paints on, kept for the window's life; null when not open.
SDL_Surface* MonitorCanvas();
// window.cpp: puts the canvas on the screen (after a drawing pass, and
// whenever the window system shows the window again).
void ShowMonitorCanvas();
// window.cpp: the same for one area of it (what a drawing pass painted).
void ShowMonitorCanvasArea(const SDL_Rect& area);
// window.cpp: one canvas pixel; false outside the canvas or when none.
bool ReadCanvasPixel(int32_t x, int32_t y, uint8_t rgb[3]);

// prompt_window.cpp: the SDL id of the port prompt's window while it is up,
// else 0. Safe to ask from any thread.
uint32_t PromptWindowId();

// drawing_service.cpp / dialogs.cpp: the font and text machinery, given back
// at exit.
void ShutDownText();

// UTF-16 to UTF-8 for the C APIs; lone surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
