#pragma once

#include <cstdint>

// The joystick service as the rest of the program sees it: numbering once at
// start, one snapshot per tick, then readings by pad and button numbers that
// only look at that snapshot.

int32_t CountJoysticks();

// Nonzero when a new snapshot of `joystick` was taken. After a failure the
// readings keep answering from the last good snapshot.
int32_t SnapshotJoystick(int32_t joystick);

// Pad 0..2; mode 1 gives the analogue reading (-1000..1000), mode 0 folds it
// to -1, 0 or 1. Anything outside the known pads, or an unknown joystick,
// reads 0.
int32_t ReadAxisX(int32_t joystick, int32_t pad, int32_t mode);
int32_t ReadAxisY(int32_t joystick, int32_t pad, int32_t mode);
int32_t ReadAxisZ(int32_t joystick, int32_t pad, int32_t mode);

// 1 while button 1..16 is down, else 0.
int32_t ReadButton(int32_t joystick, int32_t button);
