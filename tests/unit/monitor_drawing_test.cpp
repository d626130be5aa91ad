#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "display/monitor_drawing.h"
#include "fakes/fake_platform.h"
#include "mapping/joystick_readings.h"
#include "mapping/sampling.h"
#include "mapping/tables.h"

namespace {

using Ops = std::vector<std::string>;

class MonitorDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        ResetTables();
        ResetMonitorDrawing();
        ASSERT_EQ(CountJoysticks(), 1);
    }

    static void SetSticks(int32_t xl, int32_t yl, int32_t xd, int32_t yd) {
        ChannelSet.XL = xl, ChannelSet.YL = yl, ChannelSet.XD = xd, ChannelSet.YD = yd;
    }

    // The operations of the dots pass only, without its begin and end.
    static Ops DotsOf(const Ops& ops) {
        Ops dots;
        for (const std::string& op : ops)
            if (op.rfind("Rect", 0) == 0) dots.push_back(op);
        return dots;
    }
};

struct DotCase {
    int32_t xl, yl, xd, yd;
    int32_t originX, originY, size;
    DotPoint left, right;
};

TEST_F(MonitorDrawing, DotPositionsFollowTheChannelsAndRoundHalvesToEven) {
    const DotCase cases[] = {
        {0, 0, 0, 0, 25, 25, 128, {89, 89}, {237, 89}},
        {-1000, -1000, -1000, -1000, 25, 25, 128, {31, 31}, {179, 31}},
        {1000, 1000, 1000, 1000, 25, 25, 128, {147, 147}, {295, 147}},
        {1000, -1000, -1000, 1000, 25, 25, 128, {147, 31}, {179, 147}},
        // 17.1875 units per pixel: 8 -> 0.465 (down), 9 -> 0.524 (up), -9 -> -0.524.
        {8, 9, -9, 0, 25, 25, 128, {89, 90}, {236, 89}},
        // An odd side puts the centre on an exact half: 88.5 -> 88, 89.5 -> 90, 235.5 -> 236.
        {0, 0, 0, 0, 25, 25, 127, {88, 88}, {236, 88}},
        {0, 0, 0, 0, 26, 24, 127, {90, 88}, {236, 88}},
        // Far outside the nominal range: no clamping, no overflow.
        {INT32_MIN,
         INT32_MAX,
         INT32_MAX,
         INT32_MIN,
         25,
         25,
         128,
         {-124944414, 124944592},
         {124944740, -124944414}},
    };
    for (const DotCase& c : cases) {
        SetSticks(c.xl, c.yl, c.xd, c.yd);
        const DotPositions dots = ComputeDotPositions(c.originX, c.originY, c.size);
        EXPECT_EQ(dots.left, c.left) << c.xl << "," << c.yl << " size " << c.size;
        EXPECT_EQ(dots.right, c.right) << c.xd << "," << c.yd << " size " << c.size;
    }
}

TEST_F(MonitorDrawing, StaticFrameIsABlackFieldAndTwoGreenOutlines) {
    DrawStaticFrame();
    EXPECT_EQ(Fake.drawing,
              (Ops{"Begin", "Rect 0,0 550x550 filled 0,0,0", "Rect 25,27 128x128 outlined 0,255,90",
                   "Rect 173,27 128x128 outlined 0,255,90", "End"}));
}

TEST_F(MonitorDrawing, StaticFrameWhoseBeginFailsDrawsNothing) {
    Fake.beginAnswers = {0};
    DrawStaticFrame();
    EXPECT_EQ(Fake.drawing, (Ops{"Begin failed"}));
}

TEST_F(MonitorDrawing, FirstTickDrawsTrailsAtTheOriginThenEveryPassInOrder) {
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    Ops expected = {
        "Begin",
        "Rect 0,0 5x5 filled 0,20,0",
        "Rect 89,89 5x5 filled 0,255,0",
        "Rect 0,0 5x5 filled 20,0,0",
        "Rect 237,89 5x5 filled 255,0,0",
        "End",
        "Begin",
        "String 50,156 'XL: 0       ' 0,255,255 opaque",
        "String 50,176 'YL: 0       ' 0,255,255 opaque",
        "String 230,156 'XD: 0       ' 0,255,255 opaque",
        "String 230,176 'YD: 0       ' 0,255,255 opaque",
        "End",
        "Begin",
    };
    // Lamps at x = 10, 30, ..., 310; the fake font is 8 wide per character and 16 high.
    for (int i = 1; i <= 16; ++i) {
        const int x = 20 * i - 10;
        const int width = i < 10 ? 8 : 16;
        expected.push_back("Disc " + std::to_string(x) + ",10 r9 128,128,128");
        expected.push_back("String " + std::to_string(x - width / 2) + ",2 '" + std::to_string(i) +
                           "' 255,255,255 transparent");
    }
    expected.push_back("End");
    EXPECT_EQ(Fake.drawing, expected);
}

TEST_F(MonitorDrawing, EachDotLeavesItsTrailWhereItWasBeforeMoving) {
    DrawSticks(25, 25, 128);
    SetSticks(-1000, -1000, 1000, 1000);
    Fake.drawing.clear();
    DrawSticks(25, 25, 128);
    EXPECT_EQ(DotsOf(Fake.drawing),
              (Ops{"Rect 89,89 5x5 filled 0,20,0", "Rect 31,31 5x5 filled 0,255,0",
                   "Rect 237,89 5x5 filled 20,0,0", "Rect 295,147 5x5 filled 255,0,0"}));
    EXPECT_EQ(PrevLeftDot, (DotPoint{31, 31}));
    EXPECT_EQ(PrevRightDot, (DotPoint{295, 147}));
}

TEST_F(MonitorDrawing, FailedDotsPassKeepsThePreviousDotsWhileLabelsAndLampsStillDraw) {
    DrawSticks(25, 25, 128);
    DrawButtonRow();

    SetSticks(-1000, -1000, -1000, -1000);
    Fake.beginAnswers = {0}; // only the dots pass of this tick fails
    Fake.drawing.clear();
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    EXPECT_EQ(PrevLeftDot, (DotPoint{89, 89}));
    EXPECT_EQ(PrevRightDot, (DotPoint{237, 89}));
    ASSERT_GE(Fake.drawing.size(), 4u);
    EXPECT_EQ(Fake.drawing[0], "Begin failed");
    EXPECT_EQ(Fake.drawing[1], "Begin");
    EXPECT_EQ(Fake.drawing[2], "String 50,156 'XL: -1000       ' 0,255,255 opaque");
    EXPECT_EQ(std::count(Fake.drawing.begin(), Fake.drawing.end(), std::string("Begin")), 2);
    EXPECT_EQ(std::count_if(Fake.drawing.begin(), Fake.drawing.end(),
                            [](const std::string& op) { return op.rfind("Disc", 0) == 0; }),
              16);

    // The next dots pass trails from where the dots were really drawn.
    Fake.drawing.clear();
    DrawSticks(25, 25, 128);
    EXPECT_EQ(DotsOf(Fake.drawing), (Ops{"Rect 89,89 5x5 filled 0,20,0", "Rect 31,31 5x5 filled 0,255,0",
                                         "Rect 237,89 5x5 filled 20,0,0", "Rect 179,31 5x5 filled 255,0,0"}));
}

TEST_F(MonitorDrawing, FailedLabelsPassAndButtonRowDrawNothingAndTheTickGoesOn) {
    Fake.beginAnswers = {1, 0, 0};
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    EXPECT_EQ(Fake.drawing.back(), "Begin failed");
    EXPECT_EQ(PrevLeftDot, (DotPoint{89, 89}));
    EXPECT_EQ(std::count(Fake.drawing.begin(), Fake.drawing.end(), std::string("Begin failed")), 2);
    EXPECT_EQ(Fake.drawing.size(), 8u); // the dots pass whole, then two failed begins
}

struct LabelCase {
    int32_t xl, yl, xd, yd;
    const char* texts[4];
};

TEST_F(MonitorDrawing, LabelsShowXAsItIsAndYNegatedWithSevenTrailingSpaces) {
    const LabelCase cases[] = {
        {5, -1000, 1000, 1, {"XL: 5       ", "YL: 1000       ", "XD: 1000       ", "YD: -1       "}},
        {-1000, 1000, -7, -250, {"XL: -1000       ", "YL: -1000       ", "XD: -7       ", "YD: 250       "}},
        {INT32_MIN,
         INT32_MIN,
         INT32_MAX,
         INT32_MAX,
         {"XL: -2147483648       ", "YL: 2147483648       ", "XD: 2147483647       ",
          "YD: -2147483647       "}},
    };
    for (const LabelCase& c : cases) {
        SetSticks(c.xl, c.yl, c.xd, c.yd);
        Fake.drawing.clear();
        DrawSticks(25, 25, 128);
        const int x[] = {50, 50, 230, 230}, y[] = {156, 176, 156, 176};
        Ops expected;
        for (int k = 0; k < 4; ++k)
            expected.push_back("String " + std::to_string(x[k]) + "," + std::to_string(y[k]) + " '" +
                               c.texts[k] + "' 0,255,255 opaque");
        const Ops labels(Fake.drawing.end() - 5, Fake.drawing.end() - 1);
        EXPECT_EQ(labels, expected);
    }
}

ControllerSnapshot ButtonsDown(std::initializer_list<int> buttons) {
    ControllerSnapshot s;
    for (int b : buttons)
        s.joystick.buttons[static_cast<size_t>(b - 1)] = 0x80;
    return s;
}

std::vector<int> RedLamps() {
    std::vector<int> red;
    for (const std::string& op : Fake.drawing)
        if (op.rfind("Disc", 0) == 0 && op.find("255,0,0") != std::string::npos)
            red.push_back((std::stoi(op.substr(5)) + 10) / 20);
    return red;
}

TEST_F(MonitorDrawing, LampsFollowTheJoystickServiceEvenWhenTheSnapshotFails) {
    // Button 16 is wired to nothing in the assignment table: the lamps read the
    // service, not the channels.
    Fake.snapshots = {ButtonsDown({1, 9, 16}), std::nullopt, ButtonsDown({2})};
    for (const std::vector<int>& expected : {std::vector<int>{1, 9, 16}, {1, 9, 16}, {2}}) {
        SampleJoystick();
        Fake.drawing.clear();
        DrawButtonRow();
        EXPECT_EQ(RedLamps(), expected);
    }
}

TEST_F(MonitorDrawing, EveryPassStartsFromTheServiceDefaultsWhateverTheLastOneLeft) {
    // The frame leaves Outlined and the lamps TransparentText behind; the next
    // dots must still be filled and the labels opaque. The fake resets its
    // state on each begin as the service promises, so this checks the code
    // never sets a state it then forgets to undo within a pass.
    DrawStaticFrame();
    for (int tick = 0; tick < 2; ++tick) {
        DrawSticks(25, 25, 128);
        DrawButtonRow();
    }
    for (const std::string& op : Fake.drawing) {
        EXPECT_EQ(op.find("outside a pass"), std::string::npos) << op;
        EXPECT_EQ(op.find("inside a pass"), std::string::npos) << op;
        if (op.rfind("Rect", 0) == 0 && op.find("5x5") != std::string::npos) {
            EXPECT_NE(op.find("filled"), std::string::npos) << op;
        }
    }
}

} // namespace
