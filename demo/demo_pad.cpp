// The demonstration's stand-in hardware, preloaded into the native program by
// `scripts/run --demo`:
//   - a simulated gamepad (SDL's virtual joystick) that moves its sticks,
//     triggers and d-pad and presses its buttons in turn all by itself;
//   - the default port: COM3 (/dev/ttyS2) is opened as the pseudo-terminal
//     named by VOMA_DEMO_PORT instead, so the prompt's "3" just works.
// For unattended runs (the benchmark), two more switches:
//   - VOMA_DEMO_CONFIRM_PROMPT=1 presses Return in the port prompt;
//   - VOMA_DEMO_CLOSE_AFTER_MS=n asks the monitor window to close n ms after
//     it was shown, from inside a tick, as a user's click would.
// Nothing of this is in the program; it only sees a controller, a port and
// a user.

#include <SDL.h>

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

constexpr char kDefaultPortPath[] = "/dev/ttyS2";
constexpr char kPromptTitle[] = "VOMA PC Joysticks";
constexpr char kMonitorTitle[] = "VOMA PC Joystick V:1.00";
SDL_JoystickID PadInstance = -1;
Uint32 MonitorWindow = 0;
Uint64 MonitorShownAt = 0;
bool CloseSent = false;

long EnvNumber(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtol(text, nullptr, 10) : 0;
}

void PushWindowEvent(Uint32 window, Uint8 what) {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = window;
    event.window.event = what;
    SDL_PushEvent(&event);
}

void PressReturn(Uint32 window) {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_KEYDOWN;
    event.key.windowID = window;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = SDLK_RETURN;
    event.key.keysym.scancode = SDL_SCANCODE_RETURN;
    SDL_PushEvent(&event);
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    SDL_PushEvent(&event);
}

// Sees every event as it is queued: notes when the prompt and the monitor
// window appear.
int SDLCALL WatchWindows(void*, SDL_Event* event) {
    if (event->type != SDL_WINDOWEVENT || event->window.event != SDL_WINDOWEVENT_SHOWN) return 1;
    SDL_Window* window = SDL_GetWindowFromID(event->window.windowID);
    const char* title = window != nullptr ? SDL_GetWindowTitle(window) : "";
    if (std::strcmp(title, kPromptTitle) == 0 && EnvNumber("VOMA_DEMO_CONFIRM_PROMPT") != 0)
        PressReturn(event->window.windowID);
    if (std::strcmp(title, kMonitorTitle) == 0 && MonitorWindow == 0) {
        MonitorWindow = event->window.windowID;
        MonitorShownAt = SDL_GetTicks64();
    }
    return 1;
}

void CloseMonitorWhenDue() {
    const long after = EnvNumber("VOMA_DEMO_CLOSE_AFTER_MS");
    if (after <= 0 || MonitorWindow == 0 || CloseSent) return;
    if (SDL_GetTicks64() - MonitorShownAt < static_cast<Uint64>(after)) return;
    CloseSent = true;
    PushWindowEvent(MonitorWindow, SDL_WINDOWEVENT_CLOSE);
}

Sint16 Wave(double seconds, double period, double phase) {
    return static_cast<Sint16>(32767.0 * std::sin(2.0 * M_PI * (seconds / period + phase)));
}

void SDLCALL UpdatePad(void*) {
    CloseMonitorWhenDue();
    SDL_Joystick* pad = SDL_JoystickFromInstanceID(PadInstance);
    if (pad == nullptr) return;
    const double t = static_cast<double>(SDL_GetTicks64()) / 1000.0;
    // Left stick: a circle every 4 s. Right stick: a figure of eight.
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, Wave(t, 4.0, 0.0));
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, Wave(t, 4.0, 0.25));
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX, Wave(t, 6.0, 0.0));
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, Wave(t, 3.0, 0.0));
    // Triggers: slow ramps, out of step.
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, Wave(t, 5.0, 0.0));
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, Wave(t, 5.0, 0.5));
    // One button after the other, a quarter second each.
    const int lit = static_cast<int>(t * 4.0) % SDL_CONTROLLER_BUTTON_MAX;
    for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; ++b)
        SDL_JoystickSetVirtualButton(pad, b, b == lit ? SDL_PRESSED : SDL_RELEASED);
}

void AttachPad() {
    if (PadInstance >= 0) return;
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "VOMA demo pad";
    desc.Update = UpdatePad;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) return;
    PadInstance = SDL_JoystickGetDeviceInstanceID(index);
    // Make sure SDL reads it as a game controller with the usual layout.
    char guid[64];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
    char mapping[512];
    SDL_snprintf(mapping, sizeof mapping,
                 "%s,VOMA demo pad,a:b0,b:b1,x:b2,y:b3,back:b4,guide:b5,start:b6,leftstick:b7,rightstick:b8,"
                 "leftshoulder:b9,rightshoulder:b10,dpup:b11,dpdown:b12,dpleft:b13,dpright:b14,"
                 "leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a4,righttrigger:a5,",
                 guid);
    SDL_GameControllerAddMapping(mapping);
}

template <typename Fn> Fn Next(const char* name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }

const char* PortPath(const char* path) {
    const char* demoPort = std::getenv("VOMA_DEMO_PORT");
    if (path != nullptr && demoPort != nullptr && std::strcmp(path, kDefaultPortPath) == 0) return demoPort;
    return path;
}

mode_t ModeArgument(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int SDL_InitSubSystem(Uint32 flags) {
    static const auto real = Next<int (*)(Uint32)>("SDL_InitSubSystem");
    const int result = real(flags);
    if (result == 0 && (flags & SDL_INIT_JOYSTICK) != 0) AttachPad();
    static bool watching = false;
    if (result == 0 && (flags & SDL_INIT_VIDEO) != 0 && !watching) {
        watching = true;
        SDL_AddEventWatch(WatchWindows, nullptr);
    }
    return result;
}

int SDL_Init(Uint32 flags) { return SDL_InitSubSystem(flags); }

int open(const char* path, int flags, ...) {
    static const auto real = Next<int (*)(const char*, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return real(PortPath(path), flags, mode);
}

int open64(const char* path, int flags, ...) {
    static const auto real = Next<int (*)(const char*, int, ...)>("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return real(PortPath(path), flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return real(dir, PortPath(path), flags, mode);
}

} // extern "C"
