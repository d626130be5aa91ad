#include "platform/drawing_service.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "sdl_backend.h"
#include "system_font.h"

namespace {

// The pass in progress: the canvas it paints on and the state it started
// from. Every pass starts the same, whatever the last one set.
SDL_Surface* PassCanvas = nullptr;
Rgb DrawColour{255, 255, 255};
Rgb BackColour{0, 0, 0};
int32_t DrawMode = kDrawModeDefault;
TTF_Font* PassFont = nullptr;

// What the pass painted, so only that goes to the screen at its end: a few
// small boxes per tick instead of the whole client area three times over.
SDL_Rect PassArea{0, 0, 0, 0};

void AddToPassArea(const SDL_Rect& rect) {
    if (rect.w <= 0 || rect.h <= 0) return;
    if (PassArea.w <= 0 || PassArea.h <= 0) {
        PassArea = rect;
        return;
    }
    SDL_UnionRect(&PassArea, &rect, &PassArea);
}

// Rendered texts and text widths, kept between passes: the lamp numbers and
// a stick value that has not changed are the same pictures every tick, and
// shaping them anew each time is most of the cost of drawing. A small ring;
// the oldest entry goes first.
struct CachedText {
    std::string utf8;
    Rgb colour;
    SDL_Surface* glyphs = nullptr; // null: only the width is known
    int width = 0;
};
constexpr size_t kCachedTexts = 48;
std::array<CachedText, kCachedTexts> TextCache;
size_t NextCacheSlot = 0;
TTF_Font* CachedFont = nullptr; // the font the cache was made with

void ClearTextCache() {
    for (CachedText& entry : TextCache) {
        if (entry.glyphs != nullptr) SDL_FreeSurface(entry.glyphs);
        entry = CachedText{};
    }
    NextCacheSlot = 0;
}

CachedText* FindCached(const std::string& utf8, const Rgb* colour) {
    if (CachedFont != PassFont) {
        ClearTextCache();
        CachedFont = PassFont;
    }
    for (CachedText& entry : TextCache)
        if (!entry.utf8.empty() && entry.utf8 == utf8 && (colour == nullptr || entry.colour == *colour))
            return &entry;
    return nullptr;
}

CachedText& NewCacheEntry() {
    CachedText& entry = TextCache[NextCacheSlot];
    NextCacheSlot = (NextCacheSlot + 1) % kCachedTexts;
    if (entry.glyphs != nullptr) SDL_FreeSurface(entry.glyphs);
    entry = CachedText{};
    return entry;
}

// Keeps coordinates far from the 32-bit edge before SDL sees them; anything
// this far out is clipped anyway.
int32_t Clamp(int32_t value) {
    constexpr int32_t kLimit = 1 << 27;
    return std::clamp(value, -kLimit, kLimit);
}

uint32_t Pixel(Rgb colour) { return SDL_MapRGB(PassCanvas->format, colour.red, colour.green, colour.blue); }

// Fills columns left..right-1 and rows top..bottom-1, clipped to the canvas.
// 64-bit, so no sum of the callers' numbers can overflow.
void FillClipped(int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, PassCanvas->w);
    bottom = std::min<int64_t>(bottom, PassCanvas->h);
    if (left >= right || top >= bottom) return;
    SDL_Rect rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                  static_cast<int>(bottom - top)};
    SDL_FillRect(PassCanvas, &rect, pixel);
    AddToPassArea(rect);
}

// The largest d with d * d <= value (value >= 0).
int64_t SquareRootFloor(int64_t value) {
    auto root = static_cast<int64_t>(std::sqrt(static_cast<double>(value)));
    while (root * root > value)
        --root;
    while ((root + 1) * (root + 1) <= value)
        ++root;
    return root;
}

struct TextExtent {
    int width = 0, height = 0;
};

TextExtent MeasureText(const std::string& utf8) {
    TextExtent extent;
    if (PassFont == nullptr) return extent;
    if (const CachedText* cached = FindCached(utf8, nullptr)) {
        extent.width = cached->width;
    } else {
        if (TTF_SizeUTF8(PassFont, utf8.c_str(), &extent.width, &extent.height) != 0) return {};
        CachedText& entry = NewCacheEntry();
        entry.utf8 = utf8;
        entry.width = extent.width;
    }
    extent.height = TTF_FontHeight(PassFont); // the cell height, whatever the text
    return extent;
}

// The text's glyphs in `colour` on a transparent ground, owned by the cache.
SDL_Surface* RenderedText(const std::string& utf8, Rgb colour) {
    CachedText* cached = FindCached(utf8, &colour);
    if (cached != nullptr && cached->glyphs != nullptr) return cached->glyphs;
    SDL_Surface* glyphs =
        TTF_RenderUTF8_Blended(PassFont, utf8.c_str(), SDL_Color{colour.red, colour.green, colour.blue, 255});
    if (glyphs == nullptr) return nullptr;
    SDL_SetSurfaceBlendMode(glyphs, SDL_BLENDMODE_BLEND);
    if (cached == nullptr) {
        int width = 0;
        if (const CachedText* measured = FindCached(utf8, nullptr)) width = measured->width;
        cached = &NewCacheEntry();
        cached->utf8 = utf8;
        cached->width = width != 0 ? width : glyphs->w;
    }
    cached->colour = colour;
    cached->glyphs = glyphs;
    return glyphs;
}

} // namespace

int32_t BeginWindowDrawing() {
    if (PassCanvas != nullptr) EndWindowDrawing(); // a pass left open is closed first
    SDL_Surface* canvas = MonitorCanvas();
    if (canvas == nullptr) return 0;
    PassCanvas = canvas;
    DrawColour = Rgb{255, 255, 255};
    BackColour = Rgb{0, 0, 0};
    DrawMode = kDrawModeDefault;
    PassFont = SystemFont();
    PassArea = SDL_Rect{0, 0, 0, 0};
    return 1;
}

void EndWindowDrawing() {
    if (PassCanvas == nullptr) return;
    PassCanvas = nullptr;
    PassFont = nullptr;
    if (PassArea.w > 0 && PassArea.h > 0) ShowMonitorCanvasArea(PassArea);
}

void SetDrawColour(Rgb colour) { DrawColour = colour; }

void SetDrawMode(int32_t flags) { DrawMode = flags; }

void DrawRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (PassCanvas == nullptr || width <= 0 || height <= 0) return;
    const int64_t left = x, top = y;
    const int64_t right = left + width, bottom = top + height; // one past the last column and row
    const uint32_t pixel = Pixel(DrawColour);
    if ((DrawMode & kDrawModeOutlined) == 0) {
        FillClipped(left, top, right, bottom, pixel);
        return;
    }
    FillClipped(left, top, right, top + 1, pixel);
    FillClipped(left, bottom - 1, right, bottom, pixel);
    FillClipped(left, top, left + 1, bottom, pixel);
    FillClipped(right - 1, top, right, bottom, pixel);
}

void DrawDisc(int32_t x, int32_t y, int32_t radius, Rgb colour) {
    if (PassCanvas == nullptr || radius < 0) return;
    // A pixel belongs to the disc when its centre lies within r + 1/4 of the
    // centre pixel's: 2(dx² + dy²) <= 2r² + r. That gives the rows GDI's
    // Ellipse paints for the bounding corners (x-r, y-r), (x+r+1, y+r+1) at
    // the lamp radius 9 (and 1 to 4): 2r + 1 across, half-widths 9, 9, 9, 8,
    // 8, 7, 7, 6, 4, 2 from the middle row out.
    // 64 bits, and the radius held to 2^30 (far beyond any window), so
    // 2r² + r cannot overflow.
    const int64_t cx = x, cy = y, r = std::min<int64_t>(radius, int64_t{1} << 30);
    const int64_t limit = 2 * r * r + r;
    const uint32_t pixel = Pixel(colour);
    // Only the rows on the canvas are visited, however large the disc.
    const int64_t firstRow = std::max<int64_t>(cy - r, 0);
    const int64_t lastRow = std::min<int64_t>(cy + r, PassCanvas->h - 1);
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        const int64_t dy = row - cy;
        const int64_t half = SquareRootFloor((limit - 2 * dy * dy) / 2);
        FillClipped(cx - half, row, cx + half + 1, row + 1, pixel);
    }
}

void DrawString(int32_t x, int32_t y, std::u16string_view text, Rgb colour) {
    if (PassCanvas == nullptr || PassFont == nullptr || text.empty()) return;
    const std::string utf8 = ToUtf8(text);
    const int64_t left = Clamp(x), top = Clamp(y);
    if ((DrawMode & kDrawModeTransparentText) == 0) {
        const TextExtent cells = MeasureText(utf8);
        FillClipped(left, top, left + cells.width, top + cells.height, Pixel(BackColour));
    }
    SDL_Surface* glyphs = RenderedText(utf8, colour);
    if (glyphs == nullptr) return;
    // The rendered surface is one cell high with the ascent at its top, so
    // its corner is the corner of the first character cell.
    SDL_Rect at{static_cast<int>(left), static_cast<int>(top), 0, 0};
    SDL_BlitSurface(glyphs, nullptr, PassCanvas, &at); // leaves `at` as the clipped area painted
    AddToPassArea(at);
}

int32_t StringWidth(std::u16string_view text) {
    return PassCanvas == nullptr ? 0 : MeasureText(ToUtf8(text)).width;
}

int32_t StringHeight(std::u16string_view text) {
    return PassCanvas == nullptr ? 0 : MeasureText(ToUtf8(text)).height;
}

void ShutDownText() {
    ClearTextCache();
    CachedFont = nullptr;
    CloseSystemFont();
}
