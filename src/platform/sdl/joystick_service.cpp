// Placeholder until the SDL controller service lands.
#include "platform/joystick_service.h"

int32_t CountControllers() { return 0; }
bool ReadControllerSnapshot(int32_t, ControllerSnapshot&) { return false; }
void ReleaseControllers() {}
