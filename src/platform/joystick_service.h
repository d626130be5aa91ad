#pragma once

#include <array>
#include <cstdint>

// What one look at a controller gave. Joystick-type devices report six axes
// already ranged to -1000..1000 by the driver, one hat angle and 32 button
// bytes; gamepad-type controllers report raw thumb, trigger and button-word
// values. Turning either into the program's pad/axis/button numbering is
// portable work (see mapping/joystick_readings.h), so backends only copy.
enum class ControllerKind : uint8_t { Joystick, Gamepad };

struct JoystickState {
    int32_t x = 0, y = 0, z = 0, rx = 0, ry = 0, rz = 0;
    uint32_t hatAngle = 0xFFFFFFFFu;   // hundredths of a degree, centred = -1
    std::array<uint8_t, 32> buttons{}; // down when bit 7 is set
};

struct GamepadState {
    int16_t leftThumbX = 0, leftThumbY = 0, rightThumbX = 0, rightThumbY = 0;
    uint8_t leftTrigger = 0, rightTrigger = 0;
    uint16_t buttonWord = 0;
};

struct ControllerSnapshot {
    ControllerKind kind = ControllerKind::Joystick;
    JoystickState joystick;
    GamepadState gamepad;
};

// Numbers the attached controllers once for the whole run (joystick-type
// devices first, then gamepads) and returns how many there are.
int32_t CountControllers();

// Takes a fresh look at controller `number`. Returns false, leaving
// `snapshot` untouched, when the controller could not be read.
bool ReadControllerSnapshot(int32_t number, ControllerSnapshot& snapshot);

// Gives every device back; part of the exit tear-down.
void ReleaseControllers();
