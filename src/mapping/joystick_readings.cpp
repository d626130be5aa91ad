#include "mapping/joystick_readings.h"

#include <cstddef>

#include "mapping/axis_scaling.h"
#include "platform/joystick_service.h"

namespace {

int32_t ControllerTotal = 0;
// Only joystick 0 is ever sampled, so one snapshot is kept: the last good one.
ControllerSnapshot LastSnapshot{};
int32_t LastSnapshotOf = -1;

enum class Axis { X, Y, Z };

bool HasSnapshot(int32_t joystick) { return joystick >= 0 && joystick == LastSnapshotOf; }

int32_t JoystickAxis(const JoystickState& s, int32_t pad, Axis axis) {
    switch (pad) {
    case 0: return axis == Axis::X ? s.x : axis == Axis::Y ? s.y : s.z;
    case 1: return axis == Axis::X ? s.rx : axis == Axis::Y ? s.ry : s.rz;
    case 2: {
        if (axis == Axis::Z) return 0;
        const HatParts hat = DecomposeHat(s.hatAngle);
        return axis == Axis::X ? hat.x : hat.y;
    }
    default: return 0;
    }
}

int32_t GamepadAxis(const GamepadState& s, int32_t pad, Axis axis) {
    switch (pad) {
    case 0:
        return axis == Axis::X   ? ScaleThumb(s.leftThumbX, false)
               : axis == Axis::Y ? ScaleThumb(s.leftThumbY, true)
                                 : ScaleTrigger(s.leftTrigger);
    case 1:
        return axis == Axis::X   ? ScaleThumb(s.rightThumbX, false)
               : axis == Axis::Y ? ScaleThumb(s.rightThumbY, true)
                                 : ScaleTrigger(s.rightTrigger);
    default: return 0;
    }
}

int32_t ReadAxis(int32_t joystick, int32_t pad, int32_t mode, Axis axis) {
    if (!HasSnapshot(joystick)) return 0;
    const int32_t reading = LastSnapshot.kind == ControllerKind::Joystick
                                ? JoystickAxis(LastSnapshot.joystick, pad, axis)
                                : GamepadAxis(LastSnapshot.gamepad, pad, axis);
    if (mode != 0) return reading;
    return reading <= -500 ? -1 : reading >= 500 ? 1 : 0;
}

// Gamepad buttons 1..14 in the order the device numbers them; 15 and 16 do
// not exist on a gamepad.
constexpr uint16_t kGamepadButtonBits[14] = {
    0x1000, 0x2000, 0x4000, 0x8000, // A, B, X, Y
    0x0001, 0x0002, 0x0004, 0x0008, // d-pad up, down, left, right
    0x0010, 0x0020,                 // start, back
    0x0040, 0x0080,                 // left thumb, right thumb
    0x0100, 0x0200,                 // left shoulder, right shoulder
};

} // namespace

int32_t CountJoysticks() {
    // A new numbering: nothing read so far belongs to it.
    LastSnapshot = ControllerSnapshot{};
    LastSnapshotOf = -1;
    ControllerTotal = CountControllers();
    return ControllerTotal;
}

int32_t SnapshotJoystick(int32_t joystick) {
    if (joystick < 0 || joystick >= ControllerTotal) return 0;
    ControllerSnapshot fresh = LastSnapshotOf == joystick ? LastSnapshot : ControllerSnapshot{};
    if (!ReadControllerSnapshot(joystick, fresh)) return 0;
    LastSnapshot = fresh;
    LastSnapshotOf = joystick;
    return 1;
}

int32_t ReadAxisX(int32_t joystick, int32_t pad, int32_t mode) {
    return ReadAxis(joystick, pad, mode, Axis::X);
}
int32_t ReadAxisY(int32_t joystick, int32_t pad, int32_t mode) {
    return ReadAxis(joystick, pad, mode, Axis::Y);
}
int32_t ReadAxisZ(int32_t joystick, int32_t pad, int32_t mode) {
    return ReadAxis(joystick, pad, mode, Axis::Z);
}

int32_t ReadButton(int32_t joystick, int32_t button) {
    if (!HasSnapshot(joystick) || button < 1 || button > 16) return 0;
    if (LastSnapshot.kind == ControllerKind::Joystick)
        return (LastSnapshot.joystick.buttons[static_cast<size_t>(button - 1)] & 0x80) != 0 ? 1 : 0;
    if (button > 14) return 0;
    return (LastSnapshot.gamepad.buttonWord & kGamepadButtonBits[button - 1]) != 0 ? 1 : 0;
}
