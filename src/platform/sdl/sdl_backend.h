#pragma once

// What the files of the SDL backend share with each other, and nothing more.

#include <string>
#include <string_view>

struct SDL_Window;

// window.cpp: the monitor window, or null when it is not open.
SDL_Window* MonitorSdlWindow();
// window.cpp: closes the monitor window and its canvas; nothing when none.
void DestroyMonitorWindow();

// drawing_service.cpp / dialogs.cpp: the font and text machinery, given back
// at exit.
void ShutDownText();

// UTF-16 to UTF-8 for the C APIs; lone surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
