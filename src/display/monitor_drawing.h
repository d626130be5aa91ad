#pragma once

#include <cstdint>

// The monitor window's picture: the static frame once, then per tick the two
// stick dots with their trails, the four stick values and the button lamps.

struct DotPoint {
    int32_t x = 0, y = 0;
    friend bool operator==(const DotPoint&, const DotPoint&) = default;
};

// Top-left corners of the 5 x 5 boxes where each dot was last drawn; (0, 0)
// at start, changed only by a dots pass that began.
extern DotPoint PrevLeftDot;
extern DotPoint PrevRightDot;

void DrawStaticFrame();
// Field at (originX, originY) of side `size`; the right field sits 20 pixels
// to the right of the left one.
void DrawSticks(int32_t originX, int32_t originY, int32_t size);
void DrawButtonRow();

// Where the dots of the current ChannelSet go, for the given field.
struct DotPositions {
    DotPoint left, right;
};
DotPositions ComputeDotPositions(int32_t originX, int32_t originY, int32_t size);

// Back to the start state: both previous dots at (0, 0).
void ResetMonitorDrawing();
