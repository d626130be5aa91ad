#pragma once

#include <cstdint>
#include <string>

// Run-control state, program-wide for the whole run.
extern int32_t QuitFlag;
extern std::u16string PortText;
extern int32_t JoystickCount;
extern int32_t LastEvent;

// Everything from start-up to the exit tear-down. Always returns 0, the
// process exit code on every path.
int RunProgram();
