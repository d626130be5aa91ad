// The monitor window, its event poll, the drawing service's canvas and the
// dialogs of the SDL backend, under SDL's dummy video driver.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_ttf.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "display/monitor_drawing.h"
#include "mapping/tables.h"
#include "platform/dialogs.h"
#include "platform/drawing_service.h"
#include "platform/window.h"
#include "prompt_window.h"
#include "sdl_backend.h"
#include "system_font.h"

void PrintTo(const Rgb& colour, std::ostream* out) {
    *out << "RGB(" << int{colour.red} << ", " << int{colour.green} << ", " << int{colour.blue} << ")";
}

namespace {

constexpr int32_t kWidth = 330;
constexpr int32_t kHeight = 200;
constexpr std::u16string_view kMonitorTitle = u"VOMA PC Joystick V:1.00";
constexpr WindowPlacement kPlacement{100, 100, kWidth, kHeight};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kOutline{0, 255, 90};
constexpr Rgb kLeftDot{0, 255, 0};
constexpr Rgb kRightTrail{20, 0, 0};
constexpr Rgb kLampUp{128, 128, 128};

// SDL comes up once for the whole test program and goes down at its end,
// in the order the program's own tear-down uses.
class SdlEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    void TearDown() override {
        DestroyMonitorWindow();
        ShutDownText();
        SDL_Quit();
    }
};
[[maybe_unused]] ::testing::Environment* const kSdl = ::testing::AddGlobalTestEnvironment(new SdlEnvironment);

Rgb CanvasPixel(int32_t x, int32_t y) {
    uint8_t rgb[3] = {1, 2, 3};
    EXPECT_TRUE(ReadCanvasPixel(x, y, rgb)) << x << "," << y;
    return Rgb{rgb[0], rgb[1], rgb[2]};
}

void DrainEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
    }
}

void FillCanvas(Rgb colour) {
    ASSERT_NE(BeginWindowDrawing(), 0);
    SetDrawColour(colour);
    DrawRect(0, 0, kWidth, kHeight);
    EndWindowDrawing();
}

// Every canvas pixel against a model of which pixels the shape covers.
void ExpectCanvas(const std::function<bool(int64_t, int64_t)>& covered, Rgb ink, Rgb paper,
                  const std::string& what) {
    int32_t wrong = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const Rgb want = covered(x, y) ? ink : paper;
            if (CanvasPixel(x, y) != want && ++wrong <= 5)
                ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                              << ::testing::PrintToString(CanvasPixel(x, y)) << ", want "
                              << ::testing::PrintToString(want);
        }
    EXPECT_EQ(wrong, 0) << what;
}

class MonitorWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        DrainEvents();
        ASSERT_TRUE(OpenMonitorWindow(kMonitorTitle, kPlacement)) << SDL_GetError();
        ResetTables();
        ResetMonitorDrawing();
    }
    void TearDown() override {
        DestroyMonitorWindow();
        DrainEvents();
    }
    // Polls until nothing is pending; the values the poll reported.
    static std::vector<int32_t> PollAll() {
        std::vector<int32_t> seen;
        for (int32_t value = PollEvent(); value != 0 && seen.size() < 1000; value = PollEvent())
            seen.push_back(value);
        return seen;
    }
};

// --- window and event poll ---------------------------------------------------

TEST_F(MonitorWindow, DisplayWindowIsTitledFixedSizeShownAndShowsButtonFaceUntilDrawnOn) {
    SDL_Window* window = MonitorSdlWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "VOMA PC Joystick V:1.00");
    int w = 0, h = 0, x = 0, y = 0;
    SDL_GetWindowSize(window, &w, &h);
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(w, 330);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 100);
    const Uint32 flags = SDL_GetWindowFlags(window);
    EXPECT_NE(flags & SDL_WINDOW_SHOWN, 0u);
    EXPECT_EQ(flags & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_EQ(CanvasPixel(0, 0), (Rgb{240, 240, 240}));
    EXPECT_EQ(CanvasPixel(329, 199), (Rgb{240, 240, 240}));
    uint8_t rgb[3];
    EXPECT_FALSE(ReadCanvasPixel(330, 0, rgb));
    EXPECT_FALSE(ReadCanvasPixel(0, -1, rgb));

    // A title that is not plain ASCII reaches SDL as UTF-8.
    ASSERT_TRUE(OpenMonitorWindow(u"\u00A1Monitor \u20AC \U0001F600", kPlacement));
    EXPECT_STREQ(SDL_GetWindowTitle(MonitorSdlWindow()), "\xC2\xA1Monitor \xE2\x82\xAC \xF0\x9F\x98\x80");
}

TEST_F(MonitorWindow, DisplayCloseRequestIsQueuedAndTheWindowStaysOpen) {
    const Uint32 monitorId = SDL_GetWindowID(MonitorSdlWindow());
    struct Case {
        const char* name;
        Uint32 type;
        Uint32 windowId;
        Uint8 windowEvent;
        int closeRequests;
    };
    const Case cases[] = {
        {"close box", SDL_WINDOWEVENT, monitorId, SDL_WINDOWEVENT_CLOSE, 1},
        {"SDL_QUIT (Ctrl+C)", SDL_QUIT, 0, 0, 1},
        {"close of some other window", SDL_WINDOWEVENT, monitorId + 100, SDL_WINDOWEVENT_CLOSE, 0},
        {"exposure", SDL_WINDOWEVENT, monitorId, SDL_WINDOWEVENT_EXPOSED, 0},
    };
    for (const Case& c : cases) {
        PollAll();
        SDL_Event event{};
        event.type = c.type;
        event.window.windowID = c.windowId;
        event.window.event = c.windowEvent;
        ASSERT_EQ(SDL_PushEvent(&event), 1) << c.name;
        const std::vector<int32_t> seen = PollAll();
        int closes = 0;
        for (int32_t value : seen)
            closes += value == kCloseRequestEvent ? 1 : 0;
        EXPECT_EQ(closes, c.closeRequests) << c.name;
        EXPECT_EQ(seen.size(), 1u) << c.name << ": every event is reported, nonzero";
        ASSERT_EQ(MonitorSdlWindow(), SDL_GetWindowFromID(monitorId)) << c.name;
        EXPECT_NE(SDL_GetWindowFlags(MonitorSdlWindow()) & SDL_WINDOW_SHOWN, 0u) << c.name;
        EXPECT_NE(MonitorCanvas(), nullptr) << c.name;
    }
}

TEST_F(MonitorWindow, DisplayPollTakesOneEventPerCallAndNeverWaits) {
    PollAll();
    for (int i = 0; i < 3; ++i) {
        SDL_Event event{};
        event.type = SDL_USEREVENT;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }
    EXPECT_EQ(PollEvent(), static_cast<int32_t>(SDL_USEREVENT));
    EXPECT_EQ(PollEvent(), static_cast<int32_t>(SDL_USEREVENT));
    EXPECT_EQ(PollEvent(), static_cast<int32_t>(SDL_USEREVENT));
    EXPECT_EQ(PollEvent(), 0);

    // An empty queue answers at once: even a 5 ms wait per call would take
    // over a second here.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 250; ++i)
        ASSERT_EQ(PollEvent(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// --- drawing on the canvas ---------------------------------------------------

// Half-widths of the r = 9 lamp from its middle row outwards, as GDI's
// Ellipse paints the bounding corners (x-9, y-9), (x+10, y+10).
constexpr int64_t kLampRows[] = {9, 9, 9, 8, 8, 7, 7, 6, 4, 2};

bool InLamp(int64_t x, int64_t y, int64_t cx, int64_t cy) {
    const int64_t dy = y > cy ? y - cy : cy - y;
    const int64_t dx = x > cx ? x - cx : cx - x;
    return dy <= 9 && dx <= kLampRows[dy];
}

TEST_F(MonitorWindow, CanvasShowsTheFrameDotsTrailsLabelsAndLampsOfTheFirstTick) {
    ASSERT_NE(SystemFont(), nullptr) << "this machine has no sans-serif font for fontconfig to find";
    DrawStaticFrame();
    DrawSticks(25, 25, 128);
    DrawButtonRow();

    // Outlines exactly on columns 25..152 / 173..300, rows 27..154, black on both sides.
    for (int32_t left : {25, 173}) {
        const int32_t right = left + 127;
        for (int32_t i = 0; i < 128; ++i) {
            EXPECT_EQ(CanvasPixel(left + i, 27), kOutline);
            EXPECT_EQ(CanvasPixel(left + i, 154), kOutline);
            EXPECT_EQ(CanvasPixel(left, 27 + i), kOutline);
            EXPECT_EQ(CanvasPixel(right, 27 + i), kOutline);
        }
        for (int32_t i = 1; i < 127; ++i) {
            EXPECT_EQ(CanvasPixel(left + i, 26), kBlack);
            EXPECT_EQ(CanvasPixel(left + i, 28), kBlack);
            EXPECT_EQ(CanvasPixel(left - 1, 27 + i), kBlack);
            EXPECT_EQ(CanvasPixel(left + 1, 27 + i), kBlack);
            EXPECT_EQ(CanvasPixel(right - 1, 27 + i), kBlack);
            EXPECT_EQ(CanvasPixel(left + i, 153), kBlack);
        }
    }

    // The dots: 5 x 5 at (89, 89) and (237, 89), with black around them.
    for (int32_t y = 87; y <= 95; ++y)
        for (int32_t dx = -2; dx <= 6; ++dx) {
            const bool inside = y >= 89 && y <= 93 && dx >= 0 && dx <= 4;
            EXPECT_EQ(CanvasPixel(89 + dx, y), inside ? kLeftDot : kBlack) << 89 + dx << "," << y;
            EXPECT_EQ(CanvasPixel(237 + dx, y), inside ? kRed : kBlack) << 237 + dx << "," << y;
        }

    // The first tick's trails went to (0, 0); the right one was painted last.
    // Lamp 1 covers the square's lower right corner.
    for (int32_t y = 0; y <= 5; ++y)
        for (int32_t x = 0; x <= 5; ++x) {
            if (InLamp(x, y, 10, 10)) continue;
            EXPECT_EQ(CanvasPixel(x, y), x <= 4 && y <= 4 ? kRightTrail : kBlack) << x << "," << y;
        }

    // Sixteen grey lamps at x = 10, 30, ..., 310, each 19 across, with a
    // white number on it; black between them and beyond the last.
    for (int32_t lamp = 1; lamp <= 16; ++lamp) {
        const int32_t cx = 20 * lamp - 10;
        int32_t grey = 0, brighter = 0;
        for (int32_t y = 0; y <= 20; ++y)
            for (int32_t x = cx - 10; x <= cx + 10; ++x) {
                const Rgb pixel = CanvasPixel(x, y);
                if (!InLamp(x, y, cx, 10)) {
                    if (x <= 4 && y <= 4) continue; // the trail square
                    EXPECT_EQ(pixel, kBlack) << "lamp " << lamp << " at " << x << "," << y;
                    continue;
                }
                // Grey, or the white number blended over it (a faint glyph
                // edge may round a step below the grey).
                EXPECT_TRUE(pixel.red == pixel.green && pixel.green == pixel.blue && pixel.red >= 126)
                    << "lamp " << lamp << " at " << x << "," << y << ": " << ::testing::PrintToString(pixel);
                grey += pixel == kLampUp ? 1 : 0;
                brighter += pixel.red > 200 ? 1 : 0;
            }
        EXPECT_GT(grey, 150) << "lamp " << lamp;
        EXPECT_GT(brighter, 3) << "lamp " << lamp << " has no number";
    }
    for (int32_t x = 320; x < 330; ++x)
        EXPECT_EQ(CanvasPixel(x, 10), kBlack);

    // The four labels: cyan text in each label's cell row, black elsewhere there.
    for (const auto& [lx, ly] : {std::pair{50, 156}, {50, 176}, {230, 156}, {230, 176}}) {
        int32_t cyan = 0;
        for (int32_t y = ly; y < ly + 16; ++y)
            for (int32_t x = lx; x < lx + 40; ++x) {
                const Rgb pixel = CanvasPixel(x, y);
                EXPECT_EQ(pixel.red, 0) << x << "," << y;
                EXPECT_EQ(pixel.green, pixel.blue) << x << "," << y;
                cyan += pixel.green > 200 ? 1 : 0;
            }
        EXPECT_GT(cyan, 20) << "label at " << lx << "," << ly;
    }
}

TEST_F(MonitorWindow, CanvasEveryPassStartsFilledOpaqueWhiteWhateverTheLastOneSet) {
    ASSERT_NE(SystemFont(), nullptr);
    struct Case {
        const char* name;
        int32_t earlierMode; // what the previous pass left set
        int32_t modeNow;     // -1: not set in this pass
        bool filled;
        bool opaqueText;
    };
    const Case cases[] = {
        {"after an outlined, transparent pass", kDrawModeOutlined | kDrawModeTransparentText, -1, true, true},
        {"after a default pass", kDrawModeDefault, -1, true, true},
        {"outlined in this pass", kDrawModeDefault, kDrawModeOutlined, false, true},
        {"transparent text in this pass", kDrawModeDefault, kDrawModeTransparentText, true, false},
    };
    for (const Case& c : cases) {
        FillCanvas(kRed);
        ASSERT_NE(BeginWindowDrawing(), 0);
        SetDrawMode(c.earlierMode);
        SetDrawColour(kLeftDot);
        EndWindowDrawing();

        ASSERT_NE(BeginWindowDrawing(), 0);
        if (c.modeNow >= 0) SetDrawMode(c.modeNow);
        DrawRect(10, 40, 6, 6); // in the colour the pass starts with
        DrawString(100, 100, u"HH", kLeftDot);
        const int32_t width = StringWidth(u"HH");
        const int32_t height = StringHeight(u"HH");
        EndWindowDrawing();

        EXPECT_EQ(CanvasPixel(10, 40), kWhite) << c.name;
        EXPECT_EQ(CanvasPixel(15, 45), kWhite) << c.name;
        EXPECT_EQ(CanvasPixel(12, 42), c.filled ? kWhite : kRed) << c.name;
        // The corner of the cell is above the capitals: back colour or untouched.
        EXPECT_EQ(CanvasPixel(100, 100), c.opaqueText ? kBlack : kRed) << c.name;
        EXPECT_EQ(CanvasPixel(100 + width - 1, 100), c.opaqueText ? kBlack : kRed) << c.name;
        EXPECT_EQ(CanvasPixel(100 + width, 100), kRed)
            << c.name << ": the back fill stops at the text's width";
        EXPECT_EQ(CanvasPixel(99, 100), kRed) << c.name;
        EXPECT_EQ(CanvasPixel(100, 100 + height), kRed) << c.name;
        int32_t glyphs = 0;
        for (int32_t y = 100; y < 100 + height; ++y)
            for (int32_t x = 100; x < 100 + width; ++x)
                glyphs += CanvasPixel(x, y) == kLeftDot ? 1 : 0;
        EXPECT_GT(glyphs, 10) << c.name << ": glyphs in the call's colour";
    }
}

TEST_F(MonitorWindow, CanvasTextExtentsAreTheCellOfAboutSixteenPixels) {
    EXPECT_EQ(StringWidth(u"XL: 0"), 0) << "no extents outside a pass";
    ASSERT_NE(BeginWindowDrawing(), 0);
    const int32_t height = StringHeight(u"16");
    EXPECT_GE(height, 13);
    EXPECT_LE(height, 16);
    EXPECT_EQ(StringHeight(u"."), height) << "the height is the cell's, whatever the text";
    EXPECT_EQ(StringHeight(u""), height);
    EXPECT_EQ(StringWidth(u""), 0);
    EXPECT_GT(StringWidth(u"16"), StringWidth(u"1"));
    EXPECT_GT(StringWidth(u"XL: 0       "), StringWidth(u"XL: 0")) << "trailing spaces take room";
    EXPECT_GT(StringWidth(u"\u00A1\u20AC"), 0);
    EndWindowDrawing();
}

TEST_F(MonitorWindow, CanvasRectCoversExactlyItsAreaAndClipsAnyNumbers) {
    struct Case {
        int32_t x, y, width, height;
        bool outlined;
    };
    const Case cases[] = {
        {10, 20, 5, 5, false},
        {10, 20, 5, 5, true},
        {10, 20, 1, 1, false},
        {10, 20, 2, 3, true},
        {10, 20, 1, 7, true},
        {10, 20, 0, 7, false},
        {10, 20, -4, 7, false},
        {10, 20, 7, -1, true},
        {-3, -3, 5, 5, false},
        {-3, -3, 5, 5, true},
        {325, 195, 100, 100, false},
        {-1, -1, 331, 201, true},
        {-1, -1, 332, 202, true},
        {-10, 5, INT32_MAX, 10, false},
        {-10, 5, INT32_MAX, 10, true},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, false},
        {INT32_MIN, 0, INT32_MAX, INT32_MAX, true},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, false},
        {INT32_MIN + 1, INT32_MIN + 1, INT32_MAX, INT32_MAX, false},
        {0, 0, 550, 550, false},
    };
    for (const Case& c : cases) {
        FillCanvas(kBlack);
        ASSERT_NE(BeginWindowDrawing(), 0);
        SetDrawColour(kWhite);
        if (c.outlined) SetDrawMode(kDrawModeOutlined);
        DrawRect(c.x, c.y, c.width, c.height);
        EndWindowDrawing();
        const int64_t left = c.x, top = c.y;
        const int64_t right = left + c.width - 1, bottom = top + c.height - 1;
        ExpectCanvas(
            [&](int64_t px, int64_t py) {
                const bool inside = px >= left && px <= right && py >= top && py <= bottom;
                const bool border = px == left || px == right || py == top || py == bottom;
                return inside && (!c.outlined || border);
            },
            kWhite, kBlack,
            "rect " + std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.width) + "x" +
                std::to_string(c.height) + (c.outlined ? " outlined" : ""));
    }
}

TEST_F(MonitorWindow, CanvasDiscHasTheEllipseRowsAndClipsAnyNumbers) {
    struct Case {
        int32_t x, y, radius;
        std::vector<int64_t> rows; // half-widths from the middle row out; empty: nothing
        bool everything = false;
    };
    const Case cases[] = {
        {100, 100, 9, {9, 9, 9, 8, 8, 7, 7, 6, 4, 2}},
        {100, 100, 4, {4, 4, 3, 3, 1}},
        {100, 100, 3, {3, 3, 2, 1}},
        {100, 100, 2, {2, 2, 1}},
        {100, 100, 1, {1, 0}},
        {100, 100, 0, {0}},
        {100, 100, -1, {}},
        {0, 0, 9, {9, 9, 9, 8, 8, 7, 7, 6, 4, 2}},
        {329, 199, 9, {9, 9, 9, 8, 8, 7, 7, 6, 4, 2}},
        {-9, 5, 9, {9, 9, 9, 8, 8, 7, 7, 6, 4, 2}},
        {165, 100, INT32_MAX, {}, true},
        {INT32_MIN, INT32_MIN, INT32_MAX, {}},
        {INT32_MAX, 100, 9, {}},
        {100, 100, INT32_MIN, {}},
    };
    for (const Case& c : cases) {
        FillCanvas(kBlack);
        ASSERT_NE(BeginWindowDrawing(), 0);
        SetDrawColour(kRed); // the disc's own colour applies, not the draw colour
        DrawDisc(c.x, c.y, c.radius, kLeftDot);
        EndWindowDrawing();
        const auto rows = static_cast<int64_t>(c.rows.size());
        ExpectCanvas(
            [&](int64_t px, int64_t py) {
                if (c.everything) return true;
                const int64_t dy = py > c.y ? py - c.y : c.y - py;
                const int64_t dx = px > c.x ? px - c.x : c.x - px;
                return dy < rows && dx <= c.rows[static_cast<size_t>(dy)];
            },
            kLeftDot, kBlack,
            "disc " + std::to_string(c.x) + "," + std::to_string(c.y) + " r" + std::to_string(c.radius));
    }
}

// The canvas as rows of pixels, for comparing two drawings.
std::vector<Rgb> CanvasPicture() {
    std::vector<Rgb> picture;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            picture.push_back(CanvasPixel(x, y));
    return picture;
}

// `text` drawn at (100, 100) on a black canvas in one pass, transparent or on
// its back cells, and the picture that leaves.
std::vector<Rgb> TextPicture(std::u16string_view text, Rgb colour, int32_t mode) {
    FillCanvas(kBlack);
    EXPECT_NE(BeginWindowDrawing(), 0);
    SetDrawMode(mode);
    DrawString(100, 100, text, colour);
    EndWindowDrawing();
    return CanvasPicture();
}

TEST_F(MonitorWindow, CanvasTextIsItsCharactersSideBySideAtTheirWidths) {
    ASSERT_NE(SystemFont(), nullptr);
    const std::u16string_view texts[] = {u"10",        u"16",        u"XL: -1000       ",
                                         u"YL: 32767", u"AVATAR To", u"jJ/,"};
    for (const std::u16string_view text : texts) {
        const std::string name = ToUtf8(text);
        const std::vector<Rgb> whole = TextPicture(text, kWhite, kDrawModeTransparentText);

        // The same characters one call each, every one at the width of those before it.
        FillCanvas(kBlack);
        ASSERT_NE(BeginWindowDrawing(), 0);
        SetDrawMode(kDrawModeTransparentText);
        int32_t width = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            EXPECT_EQ(StringWidth(text.substr(0, i)), width) << name << " up to " << i;
            DrawString(100 + width, 100, text.substr(i, 1), kWhite);
            width += StringWidth(text.substr(i, 1));
        }
        EXPECT_EQ(StringWidth(text), width) << name << ": no pair of characters is drawn closer or wider";
        const int32_t height = StringHeight(text);
        EndWindowDrawing();
        EXPECT_TRUE(CanvasPicture() == whole) << name;

        // The ink keeps to the cells, give or take a glyph's overhang.
        int32_t leftInk = INT32_MAX, rightInk = INT32_MIN;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                if (whole[static_cast<size_t>(y * kWidth + x)] != kBlack) {
                    EXPECT_TRUE(y >= 100 && y < 100 + height) << name << " inked row " << y;
                    leftInk = std::min(leftInk, x);
                    rightInk = std::max(rightInk, x);
                }
        EXPECT_GE(leftInk, 99) << name;
        EXPECT_LE(rightInk, 100 + width) << name;
    }

    // A lamp number's ink lies inside its measured width, so centring it centres the ink.
    ASSERT_NE(BeginWindowDrawing(), 0);
    const int32_t tenWidth = StringWidth(u"10");
    EndWindowDrawing();
    const std::vector<Rgb> ten = TextPicture(u"10", kWhite, kDrawModeTransparentText);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x : {99, 100 + tenWidth})
            EXPECT_EQ(ten[static_cast<size_t>(y * kWidth + x)], kBlack) << x << "," << y;
}

TEST_F(MonitorWindow, CanvasTextTakesSurrogatePairsAndCharactersTheFontLacks) {
    ASSERT_NE(SystemFont(), nullptr);
    int pairAdvance = 0;
    ASSERT_EQ(TTF_GlyphMetrics32(SystemFont(), 0x1F600, nullptr, nullptr, nullptr, nullptr, &pairAdvance), 0);
    struct Case {
        const char* name;
        std::u16string_view text;
        std::u16string_view measuredAs; // empty: by `advances` instead
        int32_t advances = 0;           // of U+1F600
    };
    const Case cases[] = {
        {"a pair is one character", u"\U0001F600", u"", 1},
        {"pairs side by side", u"A\U0001F600\U0001F600B", u"AB", 2},
        {"a lone high surrogate",
         u"A\xD83D"
         u"B",
         u"A\uFFFDB"},
        {"a high surrogate last", u"A\xD83D", u"A\uFFFD"},
        {"a lone low surrogate", u"\xDE00", u"\uFFFD"},
        {"a pair the wrong way round", u"\xDE00\xD83D", u"\uFFFD\uFFFD"},
        {"a private-use character", u"\uE000\uE001", u"", 0},
        {"a null character", std::u16string_view(u"A\0B", 3), u"", 0},
    };
    for (const Case& c : cases) {
        FillCanvas(kRed);
        ASSERT_NE(BeginWindowDrawing(), 0);
        const int32_t width = StringWidth(c.text);
        if (!c.measuredAs.empty() || c.advances > 0) {
            EXPECT_EQ(width, StringWidth(c.measuredAs) + c.advances * pairAdvance) << c.name;
        }
        DrawString(100, 100, c.text, kWhite);
        const int32_t height = StringHeight(c.text);
        EndWindowDrawing();
        // The back cells cover exactly the measured width.
        if (width > 0) {
            EXPECT_NE(CanvasPixel(100, 100 + height - 1), kRed) << c.name;
            EXPECT_NE(CanvasPixel(100 + width - 1, 100 + height - 1), kRed) << c.name;
        }
        EXPECT_EQ(CanvasPixel(100 + width, 100 + height - 1), kRed) << c.name;
        EXPECT_EQ(CanvasPixel(100, 100 + height), kRed) << c.name;
    }
}

TEST_F(MonitorWindow, CanvasTextStaysRightAfterThousandsOfCharactersAndAFontReopened) {
    ASSERT_NE(SystemFont(), nullptr);
    constexpr Rgb kCyan{0, 255, 255};
    const std::vector<Rgb> number = TextPicture(u"10", kWhite, kDrawModeTransparentText);
    const std::vector<Rgb> label = TextPicture(u"XL: -1000       ", kCyan, kDrawModeDefault);

    // Far more characters and colours than any table of glyphs holds.
    for (char16_t first = 0x100; first < 0x2100; first += 64) {
        std::u16string text;
        for (char16_t c = first; c < first + 64; ++c)
            text += c;
        ASSERT_NE(BeginWindowDrawing(), 0);
        for (uint8_t shade : {uint8_t{10}, uint8_t{200}})
            DrawString(-500, 50, text, Rgb{shade, 0, static_cast<uint8_t>(first)});
        EndWindowDrawing();
    }
    EXPECT_TRUE(TextPicture(u"10", kWhite, kDrawModeTransparentText) == number);
    EXPECT_TRUE(TextPicture(u"XL: -1000       ", kCyan, kDrawModeDefault) == label);

    // The font given back and opened again: nothing drawn from the old one.
    ShutDownText();
    ASSERT_NE(SystemFont(), nullptr);
    EXPECT_TRUE(TextPicture(u"10", kWhite, kDrawModeTransparentText) == number);
    EXPECT_TRUE(TextPicture(u"XL: -1000       ", kCyan, kDrawModeDefault) == label);
}

TEST(DisplayDrawing, BeginFailsWithoutTheMonitorWindow) {
    DestroyMonitorWindow();
    EXPECT_EQ(BeginWindowDrawing(), 0);
    // Nothing to draw on: the calls of a pass that never began do nothing.
    DrawRect(0, 0, 10, 10);
    DrawDisc(5, 5, 3, kRed);
    DrawString(0, 0, u"x", kRed);
    EXPECT_EQ(StringWidth(u"x"), 0);
    EndWindowDrawing();
    uint8_t rgb[3];
    EXPECT_FALSE(ReadCanvasPixel(0, 0, rgb));
    DrawStaticFrame(); // skipped, not a crash
}

// --- the port prompt -----------------------------------------------------------

SDL_Event Key(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    return event;
}

SDL_Event Text(const char* utf8) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::strncpy(event.text.text, utf8, sizeof(event.text.text) - 1);
    return event;
}

SDL_Event Click(Uint32 type, int x, int y) {
    SDL_Event event{};
    event.type = type;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = x;
    event.button.y = y;
    return event;
}

SDL_Event CloseBox() { // the prompt's id is filled in once it is up
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    return event;
}

SDL_Event Quit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    return event;
}

bool WaitForPrompt() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (PromptWindowId() == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Answers the prompt from another thread, as a user would type into it.
std::u16string AnswerPrompt(const std::vector<SDL_Event>& events) {
    DrainEvents();
    std::atomic<bool> sawPrompt{false};
    std::thread user([&] {
        if (!WaitForPrompt()) return;
        sawPrompt = true;
        for (SDL_Event event : events) {
            if (event.type == SDL_WINDOWEVENT) event.window.windowID = PromptWindowId();
            SDL_PushEvent(&event);
        }
    });
    const std::u16string answer = PromptForText(u"VOMA PC Joysticks", u"Please input Com:", u"3");
    user.join();
    EXPECT_TRUE(sawPrompt);
    EXPECT_EQ(PromptWindowId(), 0u) << "the prompt's window is gone";
    return answer;
}

std::string Utf8Of(const std::u16string& text) { return ToUtf8(text); }

TEST(PromptForText, ConfirmsTheEditTextAndCancelsToEmpty) {
    const int okX = kPromptOkButton.x + kPromptOkButton.w / 2;
    const int okY = kPromptOkButton.y + kPromptOkButton.h / 2;
    struct Case {
        const char* name;
        std::vector<SDL_Event> events;
        std::u16string answer;
    };
    const Case cases[] = {
        {"Return at once keeps the default", {Key(SDLK_RETURN)}, u"3"},
        {"typing goes after the default", {Text("12"), Key(SDLK_BACKSPACE), Key(SDLK_RETURN)}, u"31"},
        {"backspace over the default",
         {Key(SDLK_BACKSPACE), Text("12"), Key(SDLK_BACKSPACE), Key(SDLK_RETURN)},
         u"1"},
        {"confirmed empty", {Key(SDLK_BACKSPACE), Key(SDLK_BACKSPACE), Key(SDLK_KP_ENTER)}, u""},
        {"Escape cancels", {Text("7"), Key(SDLK_ESCAPE)}, u""},
        {"the close box cancels", {Text("7"), CloseBox()}, u""},
        {"SDL_QUIT cancels", {Quit()}, u""},
        {"caret keys",
         {Key(SDLK_HOME), Text("1"), Key(SDLK_END), Text("2"), Key(SDLK_LEFT), Key(SDLK_LEFT),
          Key(SDLK_DELETE), Key(SDLK_RIGHT), Key(SDLK_RIGHT), Text("4"), Key(SDLK_RETURN)},
         u"124"},
        {"non-ASCII text by code point",
         {Key(SDLK_BACKSPACE), Text("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), Key(SDLK_LEFT), Text("x"),
          Key(SDLK_END), Text("9"), Key(SDLK_RETURN)},
         u"\u00E9\u20ACx\U0001F6009"},
        {"a click on OK", {Click(SDL_MOUSEBUTTONDOWN, okX, okY), Click(SDL_MOUSEBUTTONUP, okX, okY)}, u"3"},
        {"a press dragged off OK is no click",
         {Click(SDL_MOUSEBUTTONDOWN, okX, okY), Click(SDL_MOUSEBUTTONUP, 2, 2), Text("5"), Key(SDLK_RETURN)},
         u"35"},
        {"a click beside OK does nothing",
         {Click(SDL_MOUSEBUTTONDOWN, 2, okY), Click(SDL_MOUSEBUTTONUP, 2, okY), Key(SDLK_ESCAPE)},
         u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8Of(AnswerPrompt(c.events)), Utf8Of(c.answer)) << c.name;
}

TEST(PromptForText, AnswersQueuedBeforeItOpensAreNotLost) {
    DrainEvents();
    for (SDL_Event event : {Text("8"), Key(SDLK_RETURN)})
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    EXPECT_EQ(Utf8Of(PromptForText(u"VOMA PC Joysticks", u"Please input Com:", u"3")), "38");
}

TEST(PromptForText, PromptWindowIsTitledAndCentred) {
    DrainEvents();
    std::string title;
    int x = -1, y = -1, w = 0, h = 0;
    std::thread user([&] {
        if (!WaitForPrompt()) return;
        // Looked at while the prompt waits for its answer.
        SDL_Window* window = SDL_GetWindowFromID(PromptWindowId());
        if (window != nullptr) {
            title = SDL_GetWindowTitle(window);
            SDL_GetWindowPosition(window, &x, &y);
            SDL_GetWindowSize(window, &w, &h);
        }
        SDL_Event escape = Key(SDLK_ESCAPE);
        SDL_PushEvent(&escape);
    });
    EXPECT_EQ(PromptForText(u"\u00A1VOMA PC Joysticks", u"Please input Com:", u"3"), u"");
    user.join();
    EXPECT_EQ(title, "\xC2\xA1VOMA PC Joysticks");
    SDL_Rect screen{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &screen), 0);
    EXPECT_EQ(w, kPromptWidth);
    EXPECT_EQ(h, kPromptHeight);
    EXPECT_EQ(x, screen.x + (screen.w - w) / 2);
    EXPECT_EQ(y, screen.y + (screen.h - h) / 2);
}

// --- the message box -----------------------------------------------------------

TEST(DisplayDialogs, MessageBoxWithoutADisplayReturnsInsteadOfHanging) {
    DestroyMonitorWindow(); // shown before any window of the program exists
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    alarm(10); // a box that waits for a user nobody plays ends the test program
    ShowMessageBox(u"\u00A1Error!", u"Need to connect a joystick");
    alarm(0);
    SUCCEED();
}

} // namespace
