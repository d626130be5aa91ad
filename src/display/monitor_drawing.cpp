#include "display/monitor_drawing.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "common/decimal_text.h"
#include "mapping/joystick_readings.h"
#include "mapping/tables.h"
#include "platform/drawing_service.h"

DotPoint PrevLeftDot;
DotPoint PrevRightDot;

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kOutline{0, 255, 90};
constexpr Rgb kLeftDot{0, 255, 0};
constexpr Rgb kLeftTrail{0, 20, 0};
constexpr Rgb kRightDot{255, 0, 0};
constexpr Rgb kRightTrail{20, 0, 0};
constexpr Rgb kLabelText{0, 255, 255};
constexpr Rgb kLampDown{255, 0, 0};
constexpr Rgb kLampUp{128, 128, 128};
constexpr Rgb kLampNumber{255, 255, 255};

constexpr int32_t kDotSide = 5;
constexpr int32_t kFieldGap = 20;
constexpr int32_t kLampRadius = 9;
constexpr int32_t kLampRowY = 10;
constexpr int32_t kLampSpacing = 20;
constexpr int32_t kClientWidth = 330;
constexpr int32_t kBackgroundSide = 550;

// Trailing spaces behind each value: on their opaque black cells they wipe
// what a longer previous value left to the right.
constexpr std::u16string_view kLabelTail = u"       ";

// Nearest integer with halves to the even neighbour, held inside the 32-bit
// range (a conversion from outside it would be undefined).
int32_t RoundToInt32(double value) {
    const double rounded = std::nearbyint(value); // default rounding: to nearest, ties to even
    if (!(rounded > static_cast<double>(std::numeric_limits<int32_t>::min())))
        return std::numeric_limits<int32_t>::min();
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
}

// "XL: " + decimal + seven spaces, in a fixed buffer: no allocation per tick.
class LabelText {
  public:
    LabelText(std::u16string_view name, int64_t value) {
        Append(name);
        Append(u": ");
        char digits[kMaxDecimalLength];
        const size_t count = WriteDecimal(value, digits);
        for (size_t i = 0; i < count; ++i)
            text_[length_++] = static_cast<char16_t>(digits[i]);
        Append(kLabelTail);
    }
    std::u16string_view View() const { return {text_, length_}; }

  private:
    void Append(std::u16string_view part) {
        for (char16_t c : part)
            text_[length_++] = c;
    }
    char16_t text_[2 + 2 + kMaxDecimalLength + 7] = {};
    size_t length_ = 0;
};

void DrawLabel(int32_t x, int32_t y, std::u16string_view name, int64_t value) {
    const LabelText label(name, value);
    DrawString(x, y, label.View(), kLabelText);
}

void DrawDotsPass(const DotPositions& dots) {
    if (BeginWindowDrawing() == 0) return;
    SetDrawColour(kLeftTrail);
    DrawRect(PrevLeftDot.x, PrevLeftDot.y, kDotSide, kDotSide);
    PrevLeftDot = dots.left;
    SetDrawColour(kLeftDot);
    DrawRect(dots.left.x, dots.left.y, kDotSide, kDotSide);
    SetDrawColour(kRightTrail);
    DrawRect(PrevRightDot.x, PrevRightDot.y, kDotSide, kDotSide);
    PrevRightDot = dots.right;
    SetDrawColour(kRightDot);
    DrawRect(dots.right.x, dots.right.y, kDotSide, kDotSide);
    EndWindowDrawing();
}

void DrawLabelsPass() {
    if (BeginWindowDrawing() == 0) return;
    SetDrawMode(kDrawModeDefault);
    // The Y values are negated in 64 bits: up reads positive, and the lowest
    // 32-bit value has a negation.
    DrawLabel(50, 156, u"XL", ChannelSet.XL);
    DrawLabel(50, 176, u"YL", -static_cast<int64_t>(ChannelSet.YL));
    DrawLabel(230, 156, u"XD", ChannelSet.XD);
    DrawLabel(230, 176, u"YD", -static_cast<int64_t>(ChannelSet.YD));
    EndWindowDrawing();
}

} // namespace

DotPositions ComputeDotPositions(int32_t originX, int32_t originY, int32_t size) {
    const double unitsPerPixel = 1000.0 / (size / 2.2);
    const double half = size / 2.0;
    DotPositions dots;
    dots.left.x = RoundToInt32(originX + ChannelSet.XL / unitsPerPixel + half);
    dots.left.y = RoundToInt32(originY + ChannelSet.YL / unitsPerPixel + half);
    dots.right.x =
        RoundToInt32(static_cast<double>(originX) + size + half + kFieldGap + ChannelSet.XD / unitsPerPixel);
    dots.right.y = RoundToInt32(originY + ChannelSet.YD / unitsPerPixel + half);
    return dots;
}

void DrawStaticFrame() {
    if (BeginWindowDrawing() == 0) return;
    SetDrawColour(kBlack);
    DrawRect(0, 0, kBackgroundSide, kBackgroundSide);
    SetDrawMode(kDrawModeOutlined);
    SetDrawColour(kOutline);
    DrawRect(25, 27, 128, 128);
    DrawRect(173, 27, 128, 128);
    EndWindowDrawing();
}

void DrawSticks(int32_t originX, int32_t originY, int32_t size) {
    DrawDotsPass(ComputeDotPositions(originX, originY, size));
    DrawLabelsPass();
}

void DrawButtonRow() {
    if (BeginWindowDrawing() == 0) return;
    SetDrawMode(kDrawModeTransparentText);
    for (int32_t i = 1; i <= kButtonCount; ++i) {
        const int32_t centreX = (kLampSpacing * i - 10) % kClientWidth;
        // Asked every tick, whether or not this tick's snapshot succeeded.
        const Rgb lamp = ReadButton(0, i) == 1 ? kLampDown : kLampUp;
        DrawDisc(centreX, kLampRowY, kLampRadius, lamp);
        char digits[kMaxDecimalLength];
        const size_t count = WriteDecimal(i, digits);
        char16_t number[kMaxDecimalLength];
        for (size_t k = 0; k < count; ++k)
            number[k] = static_cast<char16_t>(digits[k]);
        const std::u16string_view text(number, count);
        DrawString(centreX - StringWidth(text) / 2, kLampRowY - StringHeight(text) / 2, text, kLampNumber);
    }
    EndWindowDrawing();
}

void ResetMonitorDrawing() {
    PrevLeftDot = DotPoint{};
    PrevRightDot = DotPoint{};
}
