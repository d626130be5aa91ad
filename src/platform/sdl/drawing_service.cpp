// Placeholder until the SDL drawing service lands.
#include "platform/drawing_service.h"
#include "sdl_backend.h"

int32_t BeginWindowDrawing() { return 0; }
void EndWindowDrawing() {}
void SetDrawColour(Rgb) {}
void SetDrawMode(int32_t) {}
void DrawRect(int32_t, int32_t, int32_t, int32_t) {}
void DrawDisc(int32_t, int32_t, int32_t, Rgb) {}
void DrawString(int32_t, int32_t, std::u16string_view, Rgb) {}
int32_t StringWidth(std::u16string_view) { return 0; }
int32_t StringHeight(std::u16string_view) { return 0; }
void ShutDownText() {}
