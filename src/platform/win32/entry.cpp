#include <windows.h>

#include "control/run_control.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RunProgram();
    // Every path ends with exit code 0, whatever the run did.
    ExitProcess(0);
}
