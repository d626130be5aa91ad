#pragma once

#include <cstdint>

// Stops the thread for `milliseconds`, at 1 ms timer resolution.
void PauseMilliseconds(int32_t milliseconds);
