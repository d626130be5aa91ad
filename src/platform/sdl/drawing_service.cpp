#include "platform/drawing_service.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>

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

// Text is drawn glyph by glyph from pictures kept between passes: the label
// values change every tick, so a cache of whole texts misses, but their
// characters are the same few digits and letters each time. Shaping whole
// texts anew was most of a tick's cost.
//
// No kerning: every character steps on by its own advance, so the width a
// text measures and the cells its glyphs are drawn in agree exactly.
constexpr uint64_t kNoKey = UINT64_MAX;
constexpr uint32_t kReplacementCharacter = 0xFFFD;

struct CachedGlyph {
    uint64_t key = kNoKey;          // the code point, with the colour for pictures
    SDL_Surface* picture = nullptr; // null: nothing to ink (a space) or none to be had
    int32_t advance = 0;
    int32_t originX = 0; // the pen's column on the picture (glyphs reaching left of it)
};

// A fixed table of glyphs: each key has a short run of slots starting where
// it hashes to; when the run is full, one of them is given up in turn. Never
// more than kSlots pictures, however many characters come by.
class GlyphTable {
  public:
    // The entry of `key`, or an empty slot for it (its key still kNoKey).
    CachedGlyph& Slot(uint64_t key) {
        const auto home = static_cast<size_t>((key * 0x9E3779B97F4A7C15u) >> (64 - kSlotBits));
        for (size_t i = 0; i < kRun; ++i) {
            CachedGlyph& entry = slots_[(home + i) % kSlots];
            if (entry.key == key || entry.key == kNoKey) return entry;
        }
        CachedGlyph& victim = slots_[(home + nextVictim_) % kSlots];
        nextVictim_ = (nextVictim_ + 1) % kRun;
        Release(victim);
        return victim;
    }
    void Clear() {
        for (CachedGlyph& entry : slots_)
            Release(entry);
        nextVictim_ = 0;
    }

  private:
    static constexpr int kSlotBits = 8;
    static constexpr size_t kSlots = size_t{1} << kSlotBits;
    static constexpr size_t kRun = 8;
    static void Release(CachedGlyph& entry) {
        if (entry.picture != nullptr) SDL_FreeSurface(entry.picture);
        entry = CachedGlyph{};
    }
    std::array<CachedGlyph, kSlots> slots_{};
    size_t nextVictim_ = 0;
};

GlyphTable Advances;            // keyed by code point; no pictures
GlyphTable Glyphs;              // keyed by code point and colour
TTF_Font* CachedFont = nullptr; // the font the tables were made with

void ClearTextCache() {
    Advances.Clear();
    Glyphs.Clear();
}

void UsePassFont() {
    if (CachedFont == PassFont) return;
    ClearTextCache();
    CachedFont = PassFont;
}

// Calls `use` with each code point of UTF-16 `text`; a lone surrogate is
// U+FFFD.
template <typename Use> void ForEachCodePoint(std::u16string_view text, Use use) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t unit = text[i];
        if (unit < 0xD800 || unit > 0xDFFF) {
            use(unit);
        } else if (unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            use(0x10000 + ((unit - 0xD800) << 10) + (uint32_t{text[i + 1]} - 0xDC00));
            ++i;
        } else {
            use(kReplacementCharacter);
        }
    }
}

int32_t Advance(uint32_t codePoint) {
    CachedGlyph& entry = Advances.Slot(codePoint);
    if (entry.key == codePoint) return entry.advance;
    entry.key = codePoint;
    int advance = 0;
    if (TTF_GlyphMetrics32(PassFont, codePoint, nullptr, nullptr, nullptr, nullptr, &advance) == 0)
        entry.advance = advance;
    return entry.advance;
}

bool HasInk(const SDL_Surface* picture) {
    if (SDL_MUSTLOCK(picture) || picture->format->BytesPerPixel != 4 || picture->format->Amask == 0)
        return true;
    for (int row = 0; row < picture->h; ++row) {
        const auto* pixels = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(picture->pixels) +
                                                               static_cast<ptrdiff_t>(row) * picture->pitch);
        for (int column = 0; column < picture->w; ++column)
            if ((pixels[column] & picture->format->Amask) != 0) return true;
    }
    return false;
}

const CachedGlyph& Glyph(uint32_t codePoint, Rgb colour) {
    const uint64_t key =
        uint64_t{codePoint} << 24 | uint64_t{colour.red} << 16 | uint64_t{colour.green} << 8 | colour.blue;
    CachedGlyph& entry = Glyphs.Slot(key);
    if (entry.key == key) return entry;
    entry.key = key;
    int minX = 0, advance = 0;
    if (TTF_GlyphMetrics32(PassFont, codePoint, &minX, nullptr, nullptr, nullptr, &advance) != 0)
        return entry;
    entry.advance = advance;
    SDL_Surface* picture =
        TTF_RenderGlyph32_Blended(PassFont, codePoint, SDL_Color{colour.red, colour.green, colour.blue, 255});
    if (picture == nullptr) return entry;
    if (!HasInk(picture)) { // a space: nothing to blit every tick
        SDL_FreeSurface(picture);
        return entry;
    }
    SDL_SetSurfaceBlendMode(picture, SDL_BLENDMODE_BLEND);
    entry.picture = picture;
    // A glyph inked left of its origin (Y, j) widens its picture on the left
    // by as much; the origin is then that many columns in.
    entry.originX = std::clamp(-minX, 0, picture->w);
    return entry;
}

int64_t TextWidth(std::u16string_view text) {
    int64_t width = 0;
    ForEachCodePoint(text, [&](uint32_t codePoint) { width += Advance(codePoint); });
    return width;
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
    UsePassFont();
    const int64_t left = Clamp(x), top = Clamp(y);
    if ((DrawMode & kDrawModeTransparentText) == 0)
        FillClipped(left, top, left + TextWidth(text), top + TTF_FontHeight(PassFont), Pixel(BackColour));
    // Each picture is one cell high with the ascent at its top, so its top
    // is the cell's.
    int64_t pen = left;
    ForEachCodePoint(text, [&](uint32_t codePoint) {
        const CachedGlyph& glyph = Glyph(codePoint, colour);
        SDL_Surface* picture = glyph.picture;
        const int64_t at = pen - glyph.originX;
        pen += glyph.advance;
        if (picture == nullptr || at >= PassCanvas->w || at + picture->w <= 0 || top >= PassCanvas->h ||
            top + picture->h <= 0)
            return;
        SDL_Rect area{static_cast<int>(at), static_cast<int>(top), 0, 0};
        SDL_BlitSurface(picture, nullptr, PassCanvas, &area); // leaves `area` as the clipped area painted
        AddToPassArea(area);
    });
}

int32_t StringWidth(std::u16string_view text) {
    if (PassCanvas == nullptr || PassFont == nullptr) return 0;
    UsePassFont();
    return static_cast<int32_t>(std::min<int64_t>(TextWidth(text), INT32_MAX));
}

int32_t StringHeight(std::u16string_view) {
    return PassCanvas == nullptr || PassFont == nullptr ? 0 : TTF_FontHeight(PassFont);
}

void ShutDownText() {
    ClearTextCache();
    CachedFont = nullptr;
    CloseSystemFont();
}
