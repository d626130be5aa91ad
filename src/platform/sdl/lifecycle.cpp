#include "platform/lifecycle.h"

#include <SDL.h>

#include "platform/joystick_service.h"
#include "platform/serial_port.h"
#include "sdl_backend.h"

void InitPlatform() {
    // Controller events keep coming while another window has the focus: the
    // device is steered from the controller, not from this window.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // The controller service looks at the controller once per tick itself;
    // the window's event poll must not, nor queue an event for every axis
    // movement that the main loop would then have to drain before each tick.
    SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
    // One subsystem at a time, so a machine without a display still counts
    // its controllers (and one without controllers still shows its boxes).
    SDL_InitSubSystem(SDL_INIT_EVENTS);
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0) {
        SDL_JoystickEventState(SDL_IGNORE);
        SDL_GameControllerEventState(SDL_IGNORE);
    }
}

void TearDownPlatform() {
    CloseSerialPort();
    ReleaseControllers();
    DestroyMonitorWindow();
    ShutDownText();
    SDL_Quit();
}
