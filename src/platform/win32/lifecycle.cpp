#include "platform/lifecycle.h"

#include <windows.h>

#include "monitor_window.h"
#include "platform/joystick_service.h"
#include "platform/serial_port.h"
#include "proc_lookup.h"

namespace {

using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

} // namespace

void InitPlatform() {
    // Newer Windows may coarsen the timer of a background process and stretch
    // the 25 ms tick; opt out where the call exists (Windows 11), quietly
    // carry on where it does not.
    const auto setProcessInformation =
        LookUpProc<SetProcessInformationFn>(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation");
    if (setProcessInformation == nullptr) return;
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof(state));
}

void TearDownPlatform() {
    CloseSerialPort();
    ReleaseControllers();
    DestroyMonitorWindow();
}
