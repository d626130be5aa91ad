#include <gtest/gtest.h>

#include <climits>

#include "fakes/fake_platform.h"
#include "mapping/joystick_readings.h"
#include "mapping/sampling.h"
#include "mapping/tables.h"

namespace {

// XL YL XD YD Aux5 Aux6 Aux7 ButtonByte1..4, space-separated.
std::string FormatChannelsForTest() {
    const Channels& c = ChannelSet;
    std::string out;
    for (int32_t v : {c.XL, c.YL, c.XD, c.YD, c.Aux5, c.Aux6, c.Aux7, c.ButtonByte1, c.ButtonByte2,
                      c.ButtonByte3, c.ButtonByte4})
        out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}

ControllerSnapshot Joystick(int32_t x, int32_t y, int32_t z, int32_t rx, int32_t ry, int32_t rz,
                            uint32_t hat = 0xFFFFFFFFu) {
    ControllerSnapshot s;
    s.kind = ControllerKind::Joystick;
    s.joystick.x = x, s.joystick.y = y, s.joystick.z = z;
    s.joystick.rx = rx, s.joystick.ry = ry, s.joystick.rz = rz;
    s.joystick.hatAngle = hat;
    return s;
}

ControllerSnapshot WithButtonsDown(ControllerSnapshot s, std::initializer_list<int> buttons) {
    for (int b : buttons)
        s.joystick.buttons[static_cast<size_t>(b - 1)] = 0x80;
    return s;
}

ControllerSnapshot Gamepad(int16_t lx, int16_t ly, int16_t rx, int16_t ry, uint8_t lt, uint8_t rt,
                           uint16_t buttons = 0) {
    ControllerSnapshot s;
    s.kind = ControllerKind::Gamepad;
    s.gamepad = {lx, ly, rx, ry, lt, rt, buttons};
    return s;
}

class Sampling : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        ResetTables();
        Fake.controllerCount = 1;
        ASSERT_EQ(CountJoysticks(), 1);
    }

    void SampleWith(const std::optional<ControllerSnapshot>& snapshot) {
        Fake.snapshots.push_back(snapshot);
        SampleJoystick();
    }

    static void AssignButtons(int32_t firstEntry, std::initializer_list<int32_t> selectors) {
        int32_t entry = firstEntry;
        for (int32_t s : selectors)
            AssignmentTable[static_cast<size_t>(entry++)] = s;
    }
};

TEST_F(Sampling, AxisTableHoldsThreePadsInOrder) {
    SampleWith(Joystick(11, 12, 13, 21, 22, 23, 9000));
    EXPECT_EQ(AxisTable, (std::array<int32_t, 10>{0, 11, 12, 13, 21, 22, 23, 1000, 0, 0}));
}

TEST_F(Sampling, WithoutAssignmentsEveryChannelStaysZeroWhileTheTablesFollow) {
    SampleWith(WithButtonsDown(Joystick(500, -500, 1, 2, 3, 4), {1, 16}));
    EXPECT_EQ(AxisTable[1], 500);
    EXPECT_EQ(ButtonTable[1], 1);
    EXPECT_EQ(ButtonTable[16], 1);
    EXPECT_EQ(FormatChannelsForTest(), "0 0 0 0 0 0 0 0 0 0 0");
}

TEST_F(Sampling, AxisChannelsFollowTheirSelectors) {
    // XL, YL, XD, YD, Aux5, Aux6, Aux7 = pad0 X, pad0 Y, pad2 Z (always 0),
    // pad1 Rz, pad2 hat X, pad0 X again, pad1 Rx.
    const int32_t selectors[] = {1, 2, 9, 6, 7, 1, 4};
    for (size_t e = 0; e < 7; ++e)
        AssignmentTable[e + 1] = selectors[e];
    SampleWith(Joystick(-1000, 700, 5, 6, 7, 8, 27000));
    EXPECT_EQ(FormatChannelsForTest(), "-1000 700 0 8 -1000 -1000 6 0 0 0 0");
}

TEST_F(Sampling, ButtonBytesPackEightSelectedButtonsMostSignificantFirst) {
    AssignButtons(10, {1, 2, 3, 4, 5, 6, 7, 8});
    AssignButtons(18, {16, 0, 0, 0, 0, 0, 0, 9}); // a selector of 0 is a bit that stays clear
    AssignButtons(26, {0, 0, 0, 0, 0, 0, 0, 1});  // one button feeding several bits and bytes
    AssignButtons(34, {1, 1, 0, 0, 0, 0, 0, 0});
    SampleWith(WithButtonsDown(Joystick(0, 0, 0, 0, 0, 0), {1, 8, 9, 16}));
    EXPECT_EQ(ChannelSet.ButtonByte1, 129);
    EXPECT_EQ(ChannelSet.ButtonByte2, 129);
    EXPECT_EQ(ChannelSet.ButtonByte3, 1);
    EXPECT_EQ(ChannelSet.ButtonByte4, 192);
}

TEST_F(Sampling, OneButtonInEveryBitFillsAllFourBytes) {
    for (size_t e = 10; e <= 41; ++e)
        AssignmentTable[e] = 5;
    SampleWith(WithButtonsDown(Joystick(0, 0, 0, 0, 0, 0), {5}));
    EXPECT_EQ(FormatChannelsForTest(), "0 0 0 0 0 0 0 255 255 255 255");
    SampleWith(WithButtonsDown(Joystick(0, 0, 0, 0, 0, 0), {4, 6}));
    EXPECT_EQ(FormatChannelsForTest(), "0 0 0 0 0 0 0 0 0 0 0");
}

TEST_F(Sampling, SelectorsOutsideTheTablesReadAsUnassigned) {
    const int32_t badAxes[] = {-1, 10, 11, INT32_MIN, INT32_MAX, 16};
    const int32_t badButtons[] = {-1, 17, 18, INT32_MIN, INT32_MAX, 255, -16, 1 << 20};
    for (int32_t bad : badAxes) {
        for (size_t e = 1; e <= 7; ++e)
            AssignmentTable[e] = bad;
        for (size_t e = 10; e <= 41; ++e)
            AssignmentTable[e] = badButtons[e % 8];
        SampleWith(WithButtonsDown(Joystick(1000, 1000, 1000, 1000, 1000, 1000, 0),
                                   {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
        EXPECT_EQ(FormatChannelsForTest(), "0 0 0 0 0 0 0 0 0 0 0") << bad;
    }
}

TEST_F(Sampling, AFailedSnapshotKeepsEverythingAndSamplingResumesAfterwards) {
    AssignmentTable[1] = 1;
    AssignButtons(10, {1});
    SampleWith(WithButtonsDown(Joystick(321, 0, 0, 0, 0, 0), {1}));
    const auto axes = AxisTable;
    const auto buttons = ButtonTable;

    SampleWith(std::nullopt); // unplugged
    EXPECT_EQ(AxisTable, axes);
    EXPECT_EQ(ButtonTable, buttons);
    EXPECT_EQ(FormatChannelsForTest(), "321 0 0 0 0 0 0 128 0 0 0");
    // The button lamps keep asking the service; they see the last good look.
    EXPECT_EQ(ReadButton(0, 1), 1);

    SampleWith(Joystick(-5, 0, 0, 0, 0, 0)); // plugged back in
    EXPECT_EQ(FormatChannelsForTest(), "-5 0 0 0 0 0 0 0 0 0 0");
}

TEST_F(Sampling, ASnapshotThatNeverSucceedsLeavesEveryChannelZero) {
    for (size_t e = 1; e <= 7; ++e)
        AssignmentTable[e] = static_cast<int32_t>(e);
    for (int tick = 0; tick < 3; ++tick)
        SampleWith(std::nullopt);
    EXPECT_EQ(FormatChannelsForTest(), "0 0 0 0 0 0 0 0 0 0 0");
    EXPECT_EQ(ReadButton(0, 1), 0);
}

TEST_F(Sampling, GamepadPadsAreSticksAndTriggers) {
    const int32_t selectors[] = {1, 2, 3, 4, 5, 6, 7};
    for (size_t e = 0; e < 7; ++e)
        AssignmentTable[e + 1] = selectors[e];
    // Left stick full left and full up, left trigger in, right stick centred
    // within the 32-unit centre, right trigger out.
    SampleWith(Gamepad(-32768, 32767, 32, -32, 255, 0));
    EXPECT_EQ(FormatChannelsForTest(), "-1000 -1000 1000 0 0 0 0 0 0 0 0");
    EXPECT_EQ(AxisTable[7], 0);
    EXPECT_EQ(AxisTable[8], 0);
    EXPECT_EQ(AxisTable[9], 0);
    SampleWith(Gamepad(32767, -32768, 33, 33, 0, 128));
    EXPECT_EQ(FormatChannelsForTest(), "1000 1000 0 1 -1 501 0 0 0 0 0");
}

TEST_F(Sampling, GamepadButtonsFollowTheDeviceNumbering) {
    const std::pair<uint16_t, int> cases[] = {
        {0x1000, 1},  {0x2000, 2},  {0x4000, 3}, {0x8000, 4},  {0x0001, 5},  {0x0002, 6},
        {0x0004, 7},  {0x0008, 8},  {0x0010, 9}, {0x0020, 10}, {0x0040, 11}, {0x0080, 12},
        {0x0100, 13}, {0x0200, 14}, {0x0400, 0}, {0x0800, 0}, // guide and the unused bit are no button at all
    };
    for (const auto& [bit, button] : cases) {
        SampleWith(Gamepad(0, 0, 0, 0, 0, 0, bit));
        for (int b = 1; b <= 16; ++b)
            EXPECT_EQ(ButtonTable[static_cast<size_t>(b)], b == button ? 1 : 0)
                << "bit " << bit << " button " << b;
    }
    SampleWith(Gamepad(0, 0, 0, 0, 0, 0, 0xFFFF));
    EXPECT_EQ(ButtonTable[15], 0);
    EXPECT_EQ(ButtonTable[16], 0);
}

TEST_F(Sampling, JoystickButtonsAreDownOnlyWithTheTopBit) {
    ControllerSnapshot s = Joystick(0, 0, 0, 0, 0, 0);
    s.joystick.buttons[0] = 0x7F;  // low bits alone: up
    s.joystick.buttons[1] = 0xFF;  // down, and still exactly 1
    s.joystick.buttons[16] = 0x80; // button 17 is never read
    SampleWith(s);
    EXPECT_EQ(ButtonTable[1], 0);
    EXPECT_EQ(ButtonTable[2], 1);
    EXPECT_EQ(ReadButton(0, 17), 0);
    EXPECT_EQ(ReadButton(0, 0), 0);
}

TEST_F(Sampling, HatReachesPadTwo) {
    const std::pair<uint32_t, std::pair<int32_t, int32_t>> cases[] = {
        {0, {0, 1000}}, {22500, {-500, -500}}, {0xFFFFFFFFu, {0, 0}}, {0x0000FFFFu, {0, 0}}};
    for (const auto& [angle, parts] : cases) {
        SampleWith(Joystick(0, 0, 0, 0, 0, 0, angle));
        EXPECT_EQ(AxisTable[7], parts.first) << angle;
        EXPECT_EQ(AxisTable[8], parts.second) << angle;
        EXPECT_EQ(AxisTable[9], 0);
    }
}

TEST(JoystickReadings, ModeZeroFoldsToThreeSteps) {
    ResetFake();
    Fake.controllerCount = 1;
    ASSERT_EQ(CountJoysticks(), 1);
    Fake.snapshots.push_back(Joystick(-500, -499, 499, 500, 1000, -1000));
    ASSERT_EQ(SnapshotJoystick(0), 1);
    EXPECT_EQ(ReadAxisX(0, 0, 0), -1);
    EXPECT_EQ(ReadAxisY(0, 0, 0), 0);
    EXPECT_EQ(ReadAxisZ(0, 0, 0), 0);
    EXPECT_EQ(ReadAxisX(0, 1, 0), 1);
    EXPECT_EQ(ReadAxisY(0, 1, 0), 1);
    EXPECT_EQ(ReadAxisZ(0, 1, 0), -1);
    // Unknown pads and joysticks read 0 rather than anything else.
    EXPECT_EQ(ReadAxisX(0, 3, 1), 0);
    EXPECT_EQ(ReadAxisX(0, -1, 1), 0);
    EXPECT_EQ(ReadAxisX(1, 0, 1), 0);
    EXPECT_EQ(SnapshotJoystick(1), 0);
    EXPECT_EQ(SnapshotJoystick(-1), 0);
}

} // namespace
