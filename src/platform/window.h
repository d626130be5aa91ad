#pragma once

#include <cstdint>
#include <string_view>

// The close request of the monitor window, as PollEvent reports it. Any other
// nonzero value is some other event that was handled; 0 means none pending.
inline constexpr int32_t kCloseRequestEvent = -1;

struct WindowPlacement {
    int32_t left = 0; // outer frame, screen pixels
    int32_t top = 0;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
};

// Opens the fixed-size monitor window (caption, system menu and close box
// only), shown and activated. False when it cannot be opened.
bool OpenMonitorWindow(std::u16string_view title, const WindowPlacement& placement);

// Never waits: handles at most one pending event and reports it.
int32_t PollEvent();
