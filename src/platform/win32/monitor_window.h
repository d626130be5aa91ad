#pragma once

#include <windows.h>

// The monitor window, or null before it opened and after it was destroyed.
HWND MonitorWindowHandle();

// Lets the exit tear-down get rid of the monitor window; nothing happens when
// it was never opened.
void DestroyMonitorWindow();
