#pragma once

#include <cstdint>
#include <string_view>

// Immediate 2D drawing on the monitor window's client area. Coordinates are
// client pixels, origin top left; anything outside the area is clipped. Only
// the begin of a pass can fail.

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Draw mode flags.
inline constexpr int32_t kDrawModeDefault = 0;         // rectangles filled, text on opaque back colour
inline constexpr int32_t kDrawModeTransparentText = 1; // text as glyphs only
inline constexpr int32_t kDrawModeOutlined = 4;        // rectangles as their 1-pixel border only

// Starts a pass on the monitor window: nonzero on success, 0 on failure. Every
// pass starts alike, whatever the previous one did: mode Default, draw colour
// white, back colour black, the system font.
int32_t BeginWindowDrawing();
// Ends the pass and gives back everything it took.
void EndWindowDrawing();

void SetDrawColour(Rgb colour);
void SetDrawMode(int32_t flags);
// Covers columns x..x+width-1 and rows y..y+height-1 in the draw colour, or
// only that area's 1-pixel border in mode Outlined.
void DrawRect(int32_t x, int32_t y, int32_t width, int32_t height);
// A disc filled and bordered in `colour`, inscribed in the square of columns
// x-radius..x+radius and rows y-radius..y+radius.
void DrawDisc(int32_t x, int32_t y, int32_t radius, Rgb colour);
// Text with the top-left of its first character cell at (x, y), glyphs in
// `colour`; in mode Default the cells are first filled with the back colour.
void DrawString(int32_t x, int32_t y, std::u16string_view text, Rgb colour);
// Extents of `text` in the current font; the height is the font's cell height.
int32_t StringWidth(std::u16string_view text);
int32_t StringHeight(std::u16string_view text);
