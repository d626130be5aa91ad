// Placeholder until the SDL monitor window lands.
#include "platform/window.h"
#include "sdl_backend.h"

SDL_Window* MonitorSdlWindow() { return nullptr; }
bool OpenMonitorWindow(std::u16string_view, const WindowPlacement&) { return false; }
int32_t PollEvent() { return 0; }
void DestroyMonitorWindow() {}
