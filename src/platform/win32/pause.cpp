#include "platform/pause.h"

#include <windows.h>

#include <mmsystem.h>

namespace {

bool FinerTimer = false;

} // namespace

void PauseMilliseconds(int32_t milliseconds) {
    // The default 15.6 ms timer would turn the 25 ms pause into 31; 1 ms
    // resolution stays on for the rest of the run.
    if (!FinerTimer) {
        timeBeginPeriod(1);
        FinerTimer = true;
    }
    Sleep(static_cast<DWORD>(milliseconds));
}
