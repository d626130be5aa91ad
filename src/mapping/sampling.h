#pragma once

// One tick's look at joystick 0: fills AxisTable and ButtonTable and derives
// ChannelSet through AssignmentTable. When the controller cannot be read,
// everything keeps the values of the last good tick.
void SampleJoystick();
