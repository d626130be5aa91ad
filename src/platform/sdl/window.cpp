#include "platform/window.h"

#include <SDL.h>

#include "sdl_backend.h"

namespace {

// Where nothing has been drawn yet the client area shows the button-face
// colour, as the Windows window class background does.
constexpr uint8_t kButtonFace = 240;

SDL_Window* Monitor = nullptr;
uint32_t MonitorId = 0;
// The client area's picture. SDL keeps no window contents of its own, so the
// drawing service paints here and every pass (and every exposure) copies it
// to the window: trails persist, and an uncovered window shows its picture
// again without the program repainting anything.
SDL_Surface* Canvas = nullptr;

} // namespace

bool OpenMonitorWindow(std::u16string_view title, const WindowPlacement& placement) {
    DestroyMonitorWindow();
    // The close box only asks; the main loop decides when to go. Without this
    // SDL would also queue SDL_QUIT whenever its last window closes.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // The canvas goes to the screen as a plain image (XShm on X11), not
    // through an OpenGL texture: no GL stack for a 330 x 200 picture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // On X11 the position is a request to the window manager: SDL asks for
    // (left, top) with the user-position hint and the default north-west
    // gravity, so a window manager puts the frame's top-left corner there, as
    // Windows does; with no window manager (Xvfb) there is no frame and the
    // client area's top-left is at (left, top). Fixed size: SDL gives a
    // non-resizable window equal minimum and maximum size hints, which drops
    // the sizing border and the maximise box.
    const std::string utf8Title = ToUtf8(title);
    SDL_Window* window = SDL_CreateWindow(utf8Title.c_str(), placement.left, placement.top,
                                          placement.clientWidth, placement.clientHeight, SDL_WINDOW_SHOWN);
    if (window == nullptr) return false;
    SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormat(0, placement.clientWidth, placement.clientHeight, 32,
                                                         SDL_PIXELFORMAT_RGB888);
    if (canvas == nullptr) {
        SDL_DestroyWindow(window);
        return false;
    }
    SDL_FillRect(canvas, nullptr, SDL_MapRGB(canvas->format, kButtonFace, kButtonFace, kButtonFace));
    SDL_SetSurfaceBlendMode(canvas, SDL_BLENDMODE_NONE);
    Monitor = window;
    MonitorId = SDL_GetWindowID(window);
    Canvas = canvas;
    SDL_RaiseWindow(Monitor);
    SDL_SetWindowInputFocus(Monitor); // where no window manager activates it
    ShowMonitorCanvas();
    return true;
}

int32_t PollEvent() {
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) return 0;
    switch (event.type) {
    case SDL_QUIT:
        // SDL's own stop request (Ctrl+C in the terminal, a session ending):
        // the same orderly end as the close box, stop commands included.
        return kCloseRequestEvent;
    case SDL_WINDOWEVENT:
        if (Monitor != nullptr && event.window.windowID == MonitorId) {
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) return kCloseRequestEvent;
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED) ShowMonitorCanvas();
        }
        break;
    default: break;
    }
    // SDL event types start at 0x100: never 0, never the close request.
    return static_cast<int32_t>(event.type);
}

void ShowMonitorCanvas() {
    if (Canvas == nullptr) return;
    ShowMonitorCanvasArea(SDL_Rect{0, 0, Canvas->w, Canvas->h});
}

void ShowMonitorCanvasArea(const SDL_Rect& area) {
    if (Monitor == nullptr || Canvas == nullptr) return;
    SDL_Surface* screen = SDL_GetWindowSurface(Monitor);
    if (screen == nullptr) return;
    SDL_Rect from = area;
    SDL_Rect to = area;
    SDL_BlitSurface(Canvas, &from, screen, &to);
    SDL_UpdateWindowSurfaceRects(Monitor, &to, 1);
}

SDL_Window* MonitorSdlWindow() { return Monitor; }

SDL_Surface* MonitorCanvas() { return Canvas; }

bool ReadCanvasPixel(int32_t x, int32_t y, uint8_t rgb[3]) {
    if (Canvas == nullptr || x < 0 || y < 0 || x >= Canvas->w || y >= Canvas->h) return false;
    const auto* row = static_cast<const uint8_t*>(Canvas->pixels) + static_cast<ptrdiff_t>(y) * Canvas->pitch;
    uint32_t pixel = 0;
    SDL_memcpy(&pixel, row + static_cast<ptrdiff_t>(x) * 4, sizeof(pixel));
    SDL_GetRGB(pixel, Canvas->format, &rgb[0], &rgb[1], &rgb[2]);
    return true;
}

void DestroyMonitorWindow() {
    if (Canvas != nullptr) SDL_FreeSurface(Canvas);
    Canvas = nullptr;
    if (Monitor != nullptr) SDL_DestroyWindow(Monitor);
    Monitor = nullptr;
    MonitorId = 0;
}
