#pragma once

#include <cstdint>

// Readings on the -1000..1000 scale the device expects.

// A gamepad thumb value; pass negate for the Y axes, so that pushing a stick
// up reads negative like a joystick's Y axis.
int32_t ScaleThumb(int16_t value, bool negate);

// A gamepad trigger, 0..255 to 0..1000.
int32_t ScaleTrigger(uint8_t value);

// A hat angle in hundredths of a degree clockwise from up, split into an X
// part (right positive) and a Y part (up positive).
struct HatParts {
    int32_t x = 0;
    int32_t y = 0;
};
HatParts DecomposeHat(uint32_t angle);
