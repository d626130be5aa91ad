#include "control/run_control.h"

int main() {
    // Every path ends with exit code 0, whatever the run did.
    return RunProgram();
}
