#include "platform/drawing_service.h"

#include <windows.h>

#include "drawing_objects.h"
#include "monitor_window.h"

namespace {

// The pass in progress: the window's DC and what it held before we selected
// our own objects into it.
HWND PassWindow = nullptr;
HDC PassDc = nullptr;
HGDIOBJ PassOriginalFont = nullptr;
COLORREF DrawColour = RGB(255, 255, 255);
int32_t DrawMode = kDrawModeDefault;

int32_t LivePensAndBrushes = 0;

COLORREF ToColorRef(Rgb colour) { return RGB(colour.red, colour.green, colour.blue); }

// Keeps coordinates far from the 32-bit edge so x + width cannot overflow;
// anything this far out is clipped anyway.
int Clamp(int32_t value) {
    constexpr int32_t kLimit = 1 << 27;
    return value < -kLimit ? -kLimit : value > kLimit ? kLimit : value;
}

// A solid 1-pixel pen and a brush (solid, or the stock hollow one) selected
// for one shape and taken out and deleted again right after it, so no pass
// leaves a GDI object behind.
class ShapeTools {
  public:
    ShapeTools(HDC dc, COLORREF colour, bool filled) : dc_(dc) {
        pen_ = CreatePen(PS_SOLID, 1, colour);
        if (pen_ != nullptr) ++LivePensAndBrushes;
        if (filled) {
            brush_ = CreateSolidBrush(colour);
            if (brush_ != nullptr) ++LivePensAndBrushes;
        }
        oldPen_ = SelectObject(dc_, pen_ != nullptr ? static_cast<HGDIOBJ>(pen_) : GetStockObject(NULL_PEN));
        oldBrush_ =
            SelectObject(dc_, brush_ != nullptr ? static_cast<HGDIOBJ>(brush_) : GetStockObject(NULL_BRUSH));
    }
    ~ShapeTools() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        if (pen_ != nullptr && DeleteObject(pen_)) --LivePensAndBrushes;
        if (brush_ != nullptr && DeleteObject(brush_)) --LivePensAndBrushes;
    }
    ShapeTools(const ShapeTools&) = delete;
    ShapeTools& operator=(const ShapeTools&) = delete;

  private:
    HDC dc_;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
};

} // namespace

int32_t BeginWindowDrawing() {
    if (PassDc != nullptr) EndWindowDrawing(); // a pass left open is closed first
    const HWND window = MonitorWindowHandle();
    if (window == nullptr) return 0;
    const HDC dc = GetDC(window);
    if (dc == nullptr) return 0;
    PassWindow = window;
    PassDc = dc;
    // The same start for every pass, whatever the last one set.
    PassOriginalFont = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_UPDATECP);
    SetBkColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, OPAQUE);
    DrawColour = RGB(255, 255, 255);
    DrawMode = kDrawModeDefault;
    return 1;
}

void EndWindowDrawing() {
    if (PassDc == nullptr) return;
    SelectObject(PassDc, PassOriginalFont);
    ReleaseDC(PassWindow, PassDc);
    PassDc = nullptr;
    PassWindow = nullptr;
    PassOriginalFont = nullptr;
}

void SetDrawColour(Rgb colour) { DrawColour = ToColorRef(colour); }

void SetDrawMode(int32_t flags) { DrawMode = flags; }

void DrawRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    // An empty area covers no pixel; Rectangle would swap the edges of a
    // negative one and paint it anyway.
    if (PassDc == nullptr || width <= 0 || height <= 0) return;
    const ShapeTools tools(PassDc, DrawColour, (DrawMode & kDrawModeOutlined) == 0);
    // With a 1-pixel pen, Rectangle covers left..right-1 and top..bottom-1.
    Rectangle(PassDc, Clamp(x), Clamp(y), Clamp(x) + Clamp(width), Clamp(y) + Clamp(height));
}

void DrawDisc(int32_t x, int32_t y, int32_t radius, Rgb colour) {
    if (PassDc == nullptr || radius < 0) return;
    const ShapeTools tools(PassDc, ToColorRef(colour), true);
    const int r = Clamp(radius);
    Ellipse(PassDc, Clamp(x) - r, Clamp(y) - r, Clamp(x) + r + 1, Clamp(y) + r + 1);
}

void DrawString(int32_t x, int32_t y, std::u16string_view text, Rgb colour) {
    if (PassDc == nullptr) return;
    SetTextColor(PassDc, ToColorRef(colour));
    SetBkMode(PassDc, (DrawMode & kDrawModeTransparentText) != 0 ? TRANSPARENT : OPAQUE);
    // Text goes out from the current position (TA_UPDATECP).
    MoveToEx(PassDc, Clamp(x), Clamp(y), nullptr);
    TextOutW(PassDc, 0, 0, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()));
}

namespace {
SIZE TextExtent(std::u16string_view text) {
    SIZE size{0, 0};
    if (PassDc != nullptr)
        GetTextExtentPoint32W(PassDc, reinterpret_cast<const wchar_t*>(text.data()),
                              static_cast<int>(text.size()), &size);
    return size;
}
} // namespace

int32_t StringWidth(std::u16string_view text) { return TextExtent(text).cx; }

int32_t StringHeight(std::u16string_view text) { return TextExtent(text).cy; }

int32_t LiveDrawingObjects() { return LivePensAndBrushes; }
