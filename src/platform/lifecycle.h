#pragma once

// Bringing the platform layer up before anything else runs, and tearing it
// down on the way out: a port still open is closed, the joystick devices are
// released and the monitor window is destroyed.
void InitPlatform();
void TearDownPlatform();
