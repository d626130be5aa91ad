#pragma once

// Lets the exit tear-down get rid of the monitor window; nothing happens when
// it was never opened.
void DestroyMonitorWindow();
