// The SDL controller service against SDL's virtual joysticks: numbering,
// the raw values it hands over, and what the program's readings make of
// them. Nothing here pumps SDL's events; the service must look for itself.

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>

#include "mapping/joystick_readings.h"
#include "platform/joystick_service.h"

namespace {

constexpr uint32_t kCentred = 0xFFFFFFFFu;

struct VirtualDevice {
    SDL_JoystickID instance = -1;
    SDL_Joystick* handle = nullptr; // the test's own, for setting values
};

class SdlJoystickTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0); }

    void TearDown() override {
        ReleaseControllers();
        for (VirtualDevice& device : devices_)
            Detach(device);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    }

    // A device SDL has no controller mapping for.
    VirtualDevice& AttachPlain(const char* name, int axes = 6, int buttons = 16, int hats = 1) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
        desc.naxes = static_cast<Uint16>(axes);
        desc.nbuttons = static_cast<Uint16>(buttons);
        desc.nhats = static_cast<Uint16>(hats);
        desc.name = name;
        return Attach(desc, false);
    }

    // A device SDL maps as a game controller, its buttons and axes numbered
    // as SDL_GameControllerButton and SDL_GameControllerAxis.
    VirtualDevice& AttachGamepad(const char* name) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
        desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
        desc.name = name;
        VirtualDevice& device = Attach(desc, true);
        // Triggers at rest are the bottom of SDL's raw range.
        SetAxis(device, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
        SetAxis(device, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
        return device;
    }

    // After SDL has freed every open device itself.
    void ForgetHandles() {
        for (VirtualDevice& device : devices_)
            device.handle = nullptr;
    }

    void Detach(VirtualDevice& device) {
        if (device.handle != nullptr) SDL_JoystickClose(device.handle);
        device.handle = nullptr;
        const int index = DeviceIndex(device.instance);
        if (index >= 0) SDL_JoystickDetachVirtual(index);
    }

    static void SetAxis(const VirtualDevice& device, int axis, int16_t value) {
        ASSERT_EQ(SDL_JoystickSetVirtualAxis(device.handle, axis, value), 0) << SDL_GetError();
    }
    static void SetButton(const VirtualDevice& device, int button, bool down) {
        ASSERT_EQ(SDL_JoystickSetVirtualButton(device.handle, button, down ? 1 : 0), 0) << SDL_GetError();
    }
    static void SetHat(const VirtualDevice& device, Uint8 value) {
        ASSERT_EQ(SDL_JoystickSetVirtualHat(device.handle, 0, value), 0) << SDL_GetError();
    }

    static int DeviceIndex(SDL_JoystickID instance) {
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == instance) return index;
        return -1;
    }

    // Joystick 0's snapshot taken through the program's own readings.
    static void Snapshot() { ASSERT_EQ(SnapshotJoystick(0), 1); }

    static ControllerSnapshot Raw(int32_t number) {
        ControllerSnapshot snapshot;
        EXPECT_TRUE(ReadControllerSnapshot(number, snapshot));
        return snapshot;
    }

  private:
    VirtualDevice& Attach(const SDL_VirtualJoystickDesc& desc, bool gamepad) {
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        EXPECT_EQ(SDL_IsGameController(index) == SDL_TRUE, gamepad) << desc.name;
        VirtualDevice device;
        device.instance = SDL_JoystickGetDeviceInstanceID(index);
        device.handle = SDL_JoystickOpen(index);
        EXPECT_NE(device.handle, nullptr) << SDL_GetError();
        devices_.push_back(device);
        return devices_.back();
    }

    // A deque, so the references handed out stay good.
    std::deque<VirtualDevice> devices_;
};

// --- Numbering -------------------------------------------------------------

TEST_F(SdlJoystickTest, PlainJoysticksComeFirstThenAtMostThreeGamepads) {
    const VirtualDevice& pad1 = AttachGamepad("Pad one");
    const VirtualDevice& pad2 = AttachGamepad("Pad two");
    const VirtualDevice& stick1 = AttachPlain("Stick one");
    const VirtualDevice& pad3 = AttachGamepad("Pad three");
    const VirtualDevice& pad4 = AttachGamepad("Pad four");
    const VirtualDevice& stick2 = AttachPlain("Stick two");
    // Tell them apart by their X axes.
    SetAxis(stick1, 0, 32767);
    SetAxis(stick2, 0, -32768);
    SetAxis(pad1, SDL_CONTROLLER_AXIS_LEFTX, 1000);
    SetAxis(pad2, SDL_CONTROLLER_AXIS_LEFTX, 2000);
    SetAxis(pad3, SDL_CONTROLLER_AXIS_LEFTX, 3000);
    SetAxis(pad4, SDL_CONTROLLER_AXIS_LEFTX, 4000);

    ASSERT_EQ(CountControllers(), 5);

    const ControllerSnapshot first = Raw(0);
    EXPECT_EQ(first.kind, ControllerKind::Joystick);
    EXPECT_EQ(first.joystick.x, 1000);
    const ControllerSnapshot second = Raw(1);
    EXPECT_EQ(second.kind, ControllerKind::Joystick);
    EXPECT_EQ(second.joystick.x, -1000);
    const int16_t padX[] = {1000, 2000, 3000};
    for (int32_t number = 2; number < 5; ++number) {
        const ControllerSnapshot pad = Raw(number);
        EXPECT_EQ(pad.kind, ControllerKind::Gamepad) << number;
        EXPECT_EQ(pad.gamepad.leftThumbX, padX[number - 2]) << number;
    }
}

TEST_F(SdlJoystickTest, UnknownNumbersFailAndLeaveTheSnapshotAlone) {
    AttachPlain("Stick");
    ASSERT_EQ(CountControllers(), 1);
    for (const int32_t number : {-1, 1, 16, INT32_MAX}) {
        ControllerSnapshot snapshot;
        snapshot.joystick.x = 123;
        EXPECT_FALSE(ReadControllerSnapshot(number, snapshot)) << number;
        EXPECT_EQ(snapshot.joystick.x, 123) << number;
    }
}

TEST_F(SdlJoystickTest, OnlyDevicesPresentAtTheCountAreNumbered) {
    AttachGamepad("Early pad");
    ASSERT_EQ(CountJoysticks(), 1);
    // A plain joystick would come first, were it counted again.
    const VirtualDevice& late = AttachPlain("Late stick");
    SetAxis(late, 0, 32767);
    Snapshot();
    ControllerSnapshot snapshot;
    EXPECT_FALSE(ReadControllerSnapshot(1, snapshot));
    EXPECT_EQ(Raw(0).kind, ControllerKind::Gamepad);
}

// --- Joystick-kind readings ------------------------------------------------

TEST_F(SdlJoystickTest, JoystickAxesKeepTheirOrderAndEnds) {
    const VirtualDevice& stick = AttachPlain("Stick");
    const int16_t values[6] = {-32768, 32767, 0, 16384, -16384, -1};
    for (int axis = 0; axis < 6; ++axis)
        SetAxis(stick, axis, values[axis]);
    ASSERT_EQ(CountJoysticks(), 1);
    Snapshot();
    EXPECT_EQ(ReadAxisX(0, 0, 1), -1000);
    EXPECT_EQ(ReadAxisY(0, 0, 1), 1000);
    EXPECT_EQ(ReadAxisZ(0, 0, 1), 0);
    EXPECT_EQ(ReadAxisX(0, 1, 1), 500);
    EXPECT_EQ(ReadAxisY(0, 1, 1), -500);
    EXPECT_EQ(ReadAxisZ(0, 1, 1), 0);
}

TEST_F(SdlJoystickTest, JoystickAxisScaleIsLinearRoundedToNearest) {
    const VirtualDevice& stick = AttachPlain("Stick");
    ASSERT_EQ(CountControllers(), 1);
    const struct {
        int16_t sdl;
        int32_t reading;
    } cases[] = {
        {-32768, -1000}, {-32767, -1000}, {-32735, -999}, {-17, -1},      {-16, 0},     {-1, 0},       {0, 0},
        {15, 0},         {16, 1},         {16384, 500},   {-16384, -500}, {32734, 999}, {32767, 1000},
    };
    for (const auto& c : cases) {
        SetAxis(stick, 0, c.sdl);
        EXPECT_EQ(Raw(0).joystick.x, c.reading) << c.sdl;
    }
}

TEST_F(SdlJoystickTest, HatDirectionsBecomeAnglesClockwiseFromUp) {
    const VirtualDevice& stick = AttachPlain("Hat stick");
    ASSERT_EQ(CountJoysticks(), 1);
    const struct {
        Uint8 hat;
        uint32_t angle;
        int32_t x, y; // the program's pad 2
    } cases[] = {
        {SDL_HAT_UP, 0, 0, 1000},           {SDL_HAT_RIGHTUP, 4500, 500, 500},
        {SDL_HAT_RIGHT, 9000, 1000, 0},     {SDL_HAT_RIGHTDOWN, 13500, 500, -500},
        {SDL_HAT_DOWN, 18000, 0, -1000},    {SDL_HAT_LEFTDOWN, 22500, -500, -500},
        {SDL_HAT_LEFT, 27000, -1000, 0},    {SDL_HAT_LEFTUP, 31500, -500, 500},
        {SDL_HAT_CENTERED, kCentred, 0, 0},
    };
    for (const auto& c : cases) {
        SetHat(stick, c.hat);
        Snapshot();
        ControllerSnapshot raw;
        ASSERT_TRUE(ReadControllerSnapshot(0, raw));
        EXPECT_EQ(raw.joystick.hatAngle, c.angle) << int{c.hat};
        EXPECT_EQ(ReadAxisX(0, 2, 1), c.x) << int{c.hat};
        EXPECT_EQ(ReadAxisY(0, 2, 1), c.y) << int{c.hat};
        EXPECT_EQ(ReadAxisZ(0, 2, 1), 0) << int{c.hat};
    }
}

TEST_F(SdlJoystickTest, JoystickButtonsOneToSixteenAreSdlButtonsZeroToFifteen) {
    const VirtualDevice& stick = AttachPlain("Stick", 6, 20);
    ASSERT_EQ(CountJoysticks(), 1);
    for (int pressed = 0; pressed < 16; ++pressed) {
        SetButton(stick, pressed, true);
        Snapshot();
        for (int32_t button = 1; button <= 16; ++button)
            EXPECT_EQ(ReadButton(0, button), button == pressed + 1 ? 1 : 0)
                << "SDL button " << pressed << ", button " << button;
        EXPECT_EQ(Raw(0).joystick.buttons[static_cast<size_t>(pressed)], 0x80);
        SetButton(stick, pressed, false);
    }
}

TEST_F(SdlJoystickTest, ControlsADeviceLacksReadAtRest) {
    // Two axes, four buttons, no hat; a fresh snapshot carries nothing over
    // from an earlier, richer one.
    const VirtualDevice& small = AttachPlain("Small stick", 2, 4, 0);
    SetAxis(small, 0, 32767);
    SetAxis(small, 1, -32768);
    for (int button = 0; button < 4; ++button)
        SetButton(small, button, true);
    ASSERT_EQ(CountControllers(), 1);
    ControllerSnapshot snapshot;
    snapshot.joystick.z = snapshot.joystick.rx = snapshot.joystick.ry = snapshot.joystick.rz = 777;
    snapshot.joystick.hatAngle = 9000;
    snapshot.joystick.buttons.fill(0x80);
    ASSERT_TRUE(ReadControllerSnapshot(0, snapshot));
    const JoystickState& state = snapshot.joystick;
    EXPECT_EQ(state.x, 1000);
    EXPECT_EQ(state.y, -1000);
    EXPECT_EQ(state.z, 0);
    EXPECT_EQ(state.rx, 0);
    EXPECT_EQ(state.ry, 0);
    EXPECT_EQ(state.rz, 0);
    EXPECT_EQ(state.hatAngle, kCentred);
    for (size_t button = 0; button < state.buttons.size(); ++button)
        EXPECT_EQ(state.buttons[button], button < 4 ? 0x80 : 0) << button;
}

// --- Gamepad-kind readings -------------------------------------------------

TEST_F(SdlJoystickTest, GamepadButtonsLandOnTheProgramsNumbers) {
    const VirtualDevice& pad = AttachGamepad("Pad");
    ASSERT_EQ(CountJoysticks(), 1);
    const struct {
        SDL_GameControllerButton sdl;
        int32_t button; // 0: none of the program's
    } cases[] = {
        {SDL_CONTROLLER_BUTTON_A, 1},
        {SDL_CONTROLLER_BUTTON_B, 2},
        {SDL_CONTROLLER_BUTTON_X, 3},
        {SDL_CONTROLLER_BUTTON_Y, 4},
        {SDL_CONTROLLER_BUTTON_DPAD_UP, 5},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 6},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 7},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 8},
        {SDL_CONTROLLER_BUTTON_START, 9},
        {SDL_CONTROLLER_BUTTON_BACK, 10},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, 11},
        {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 12},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 13},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 14},
        {SDL_CONTROLLER_BUTTON_GUIDE, 0},
        {SDL_CONTROLLER_BUTTON_MISC1, 0},
        {SDL_CONTROLLER_BUTTON_PADDLE1, 0},
        {SDL_CONTROLLER_BUTTON_TOUCHPAD, 0},
    };
    for (const auto& c : cases) {
        SetButton(pad, c.sdl, true);
        Snapshot();
        for (int32_t button = 1; button <= 16; ++button)
            EXPECT_EQ(ReadButton(0, button), button == c.button ? 1 : 0)
                << SDL_GameControllerGetStringForButton(c.sdl) << ", button " << button;
        SetButton(pad, c.sdl, false);
    }
}

TEST_F(SdlJoystickTest, GamepadRawStateIsInXInputTerms) {
    const VirtualDevice& pad = AttachGamepad("Pad");
    ASSERT_EQ(CountControllers(), 1);
    const struct {
        int16_t sdlX, sdlY, sdlTrigger;
        int16_t thumbX, thumbY;
        uint8_t trigger;
    } cases[] = {
        {0, 0, SDL_JOYSTICK_AXIS_MIN, 0, 0, 0},
        {-32768, -32768, SDL_JOYSTICK_AXIS_MAX, -32768, 32767, 255}, // up and left, pulled
        {32767, 32767, SDL_JOYSTICK_AXIS_MIN, 32767, -32767, 0},     // down and right
        {100, -100, SDL_JOYSTICK_AXIS_MIN, 100, 100, 0},
    };
    for (const auto& c : cases) {
        SetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, c.sdlX);
        SetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, c.sdlY);
        SetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, c.sdlTrigger);
        // The right side mirrors the left, to catch crossed wires.
        SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX, static_cast<int16_t>(-1 - c.sdlX));
        SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, static_cast<int16_t>(-1 - c.sdlY));
        SetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
                c.sdlTrigger == SDL_JOYSTICK_AXIS_MIN ? SDL_JOYSTICK_AXIS_MAX : SDL_JOYSTICK_AXIS_MIN);
        const GamepadState state = Raw(0).gamepad;
        EXPECT_EQ(state.leftThumbX, c.thumbX) << c.sdlX;
        EXPECT_EQ(state.leftThumbY, c.thumbY) << c.sdlY;
        EXPECT_EQ(state.leftTrigger, c.trigger) << c.sdlTrigger;
        EXPECT_EQ(state.rightTrigger, 255 - c.trigger) << c.sdlTrigger;
        EXPECT_EQ(state.rightThumbX, -1 - c.thumbX) << c.sdlX;
        // -1 - y flipped is y + 1, but -32768 flipped saturates.
        EXPECT_EQ(state.rightThumbY, c.sdlY == 32767 ? 32767 : c.sdlY + 1) << c.sdlY;
    }
}

TEST_F(SdlJoystickTest, EightBitTriggersComeBackUnchanged) {
    // An 8-bit trigger reaches SDL's raw range as t * 257 - 32768; every t
    // must come out of the 0..32767 controller value as it went in.
    const VirtualDevice& pad = AttachGamepad("Pad");
    ASSERT_EQ(CountControllers(), 1);
    for (int32_t t = 0; t <= 255; ++t) {
        SetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, static_cast<int16_t>(t * 257 - 32768));
        SetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, static_cast<int16_t>((255 - t) * 257 - 32768));
        const GamepadState state = Raw(0).gamepad;
        ASSERT_EQ(state.leftTrigger, t);
        ASSERT_EQ(state.rightTrigger, 255 - t);
    }
}

TEST_F(SdlJoystickTest, GamepadStickUpReadsNegativeLikeOnWindows) {
    const VirtualDevice& pad = AttachGamepad("Pad");
    ASSERT_EQ(CountJoysticks(), 1);
    const struct {
        int16_t sdlX, sdlY, sdlTrigger;
        int32_t x, y, z;
    } cases[] = {
        {0, -32768, SDL_JOYSTICK_AXIS_MIN, 0, -1000, 0},  // up
        {0, 32767, SDL_JOYSTICK_AXIS_MAX, 0, 1000, 1000}, // down, trigger pulled
        {-32768, 0, SDL_JOYSTICK_AXIS_MIN, -1000, 0, 0},  // left
        {32767, 0, SDL_JOYSTICK_AXIS_MIN, 1000, 0, 0},    // right
        {32, -32, SDL_JOYSTICK_AXIS_MIN, 0, 0, 0},        // resting near the centre
    };
    for (const auto& c : cases) {
        for (const int side : {0, 1}) {
            const int base = side == 0 ? SDL_CONTROLLER_AXIS_LEFTX : SDL_CONTROLLER_AXIS_RIGHTX;
            const int trigger =
                side == 0 ? SDL_CONTROLLER_AXIS_TRIGGERLEFT : SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
            SetAxis(pad, base, c.sdlX);
            SetAxis(pad, base + 1, c.sdlY);
            SetAxis(pad, trigger, c.sdlTrigger);
            Snapshot();
            EXPECT_EQ(ReadAxisX(0, side, 1), c.x) << "pad " << side << " " << c.sdlX << "," << c.sdlY;
            EXPECT_EQ(ReadAxisY(0, side, 1), c.y) << "pad " << side << " " << c.sdlX << "," << c.sdlY;
            EXPECT_EQ(ReadAxisZ(0, side, 1), c.z) << "pad " << side << " " << c.sdlTrigger;
            for (const auto read : {ReadAxisX, ReadAxisY, ReadAxisZ})
                EXPECT_EQ(read(0, 2, 1), 0);
            SetAxis(pad, base, 0);
            SetAxis(pad, base + 1, 0);
            SetAxis(pad, trigger, SDL_JOYSTICK_AXIS_MIN);
        }
    }
}

// --- Coming and going ------------------------------------------------------

TEST_F(SdlJoystickTest, DetachedDeviceFailsThenTheSameModelIsFollowedAgain) {
    for (const bool gamepad : {false, true}) {
        SCOPED_TRACE(gamepad ? "gamepad" : "plain joystick");
        const auto attach = [&]() -> VirtualDevice& {
            return gamepad ? AttachGamepad("Roaming pad") : AttachPlain("Roaming stick");
        };
        const int xAxis = gamepad ? SDL_CONTROLLER_AXIS_LEFTX : 0;
        const int aButton = gamepad ? SDL_CONTROLLER_BUTTON_A : 0;

        VirtualDevice& before = attach();
        SetAxis(before, xAxis, 32767);
        SetButton(before, aButton, true);
        ASSERT_EQ(CountJoysticks(), 1);
        Snapshot();
        ASSERT_EQ(ReadAxisX(0, 0, 1), 1000);

        Detach(before);
        EXPECT_EQ(SnapshotJoystick(0), 0);
        ControllerSnapshot untouched;
        untouched.joystick.x = untouched.gamepad.leftThumbX = 55;
        EXPECT_FALSE(ReadControllerSnapshot(0, untouched));
        EXPECT_EQ(untouched.joystick.x, 55);
        EXPECT_EQ(untouched.gamepad.leftThumbX, 55);
        // The program goes on with the last values.
        EXPECT_EQ(ReadAxisX(0, 0, 1), 1000);
        EXPECT_EQ(ReadButton(0, 1), 1);

        // Something else plugged in is not taken for it.
        VirtualDevice& other = gamepad ? AttachGamepad("Other pad") : AttachPlain("Other stick");
        SetAxis(other, xAxis, -32768);
        EXPECT_EQ(SnapshotJoystick(0), 0);

        VirtualDevice& after = attach();
        SetAxis(after, xAxis, -32768);
        Snapshot();
        EXPECT_EQ(ReadAxisX(0, 0, 1), -1000);
        EXPECT_EQ(ReadButton(0, 1), 0);
        SetButton(after, aButton, true);
        Snapshot();
        EXPECT_EQ(ReadButton(0, 1), 1);

        ReleaseControllers();
        Detach(other);
        Detach(after);
    }
}

TEST_F(SdlJoystickTest, TwinsDoNotTakeOverEachOthersDevice) {
    // Two of the same model share a GUID; the one left behind must not be
    // read as the one that went away.
    VirtualDevice& first = AttachPlain("Twin stick");
    const VirtualDevice& second = AttachPlain("Twin stick");
    SetAxis(first, 0, -32768);
    SetAxis(second, 0, 32767);
    ASSERT_EQ(CountControllers(), 2);
    EXPECT_EQ(Raw(0).joystick.x, -1000);
    Detach(first);
    ControllerSnapshot snapshot;
    EXPECT_FALSE(ReadControllerSnapshot(0, snapshot));
    EXPECT_EQ(Raw(1).joystick.x, 1000);
    const VirtualDevice& third = AttachPlain("Twin stick");
    SetAxis(third, 0, 0);
    EXPECT_EQ(Raw(0).joystick.x, 0);
    EXPECT_EQ(Raw(1).joystick.x, 1000);
}

TEST_F(SdlJoystickTest, ReleaseGivesEveryDeviceBackAndCanBeRepeated) {
    VirtualDevice& stick = AttachPlain("Stick");
    VirtualDevice& pad = AttachGamepad("Pad");
    ASSERT_EQ(CountControllers(), 2);
    ReleaseControllers();
    ReleaseControllers();
    ControllerSnapshot snapshot;
    EXPECT_FALSE(ReadControllerSnapshot(0, snapshot));
    // With the test's own handles closed too, SDL holds nothing open.
    const SDL_JoystickID ids[] = {stick.instance, pad.instance};
    Detach(stick);
    Detach(pad);
    for (const SDL_JoystickID id : ids) {
        EXPECT_EQ(SDL_JoystickFromInstanceID(id), nullptr) << id;
        EXPECT_EQ(SDL_GameControllerFromInstanceID(id), nullptr) << id;
    }
}

TEST_F(SdlJoystickTest, SurvivesSdlClosingItsDevicesFirst) {
    AttachPlain("Stick");
    AttachGamepad("Pad");
    ASSERT_EQ(CountControllers(), 2);
    // Quitting the subsystems frees every open device, ours too.
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    ForgetHandles();
    ControllerSnapshot snapshot;
    EXPECT_FALSE(ReadControllerSnapshot(0, snapshot));
    EXPECT_FALSE(ReadControllerSnapshot(1, snapshot));
    ReleaseControllers();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0);
}

TEST(SdlJoystickWithoutSdl, CountsNothingAndReleasesQuietly) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_JOYSTICK), 0u);
    EXPECT_EQ(CountControllers(), 0);
    ControllerSnapshot snapshot;
    EXPECT_FALSE(ReadControllerSnapshot(0, snapshot));
    ReleaseControllers();
    ReleaseControllers();
}

} // namespace
