#include "platform/joystick_service.h"

#include <SDL.h>

#include <array>
#include <cstring>

namespace {

// Devices SDL has no controller mapping for play the part of DirectInput
// joysticks; mapped game controllers that of XInput pads, of which Windows
// looks at three.
constexpr int32_t kMaxGamepads = 3;
constexpr int32_t kMaxControllers = 16;
constexpr int kJoystickAxes = 6;
constexpr int kJoystickButtons = 32;
constexpr uint32_t kHatCentred = 0xFFFFFFFFu;

// One numbered controller. The GUID stays when the device goes away, so the
// same model plugged in again is followed again.
struct Controller {
    ControllerKind kind = ControllerKind::Joystick;
    SDL_JoystickGUID guid{};
    SDL_JoystickID instance = -1;
    SDL_Joystick* joystick = nullptr;      // Joystick kind, while open
    SDL_GameController* gamepad = nullptr; // Gamepad kind, while open
};

std::array<Controller, kMaxControllers> Controllers{};
int32_t ControllerCount = 0;

// SDL hat bits (up 1, right 2, down 4, left 8) to an angle in hundredths of
// a degree clockwise from up. Opposite directions cancel each other.
constexpr std::array<uint32_t, 16> kHatAngles = {
    kHatCentred, // none
    0,           // up
    9000,        // right
    4500,        // up right
    18000,       // down
    kHatCentred, // up down
    13500,       // right down
    9000,        // up right down
    27000,       // left
    31500,       // up left
    kHatCentred, // right left
    0,           // up right left
    22500,       // down left
    27000,       // up down left
    18000,       // right down left
    kHatCentred, // all four
};

struct GamepadButtonBit {
    SDL_GameControllerButton button;
    uint16_t bit;
};
constexpr GamepadButtonBit kGamepadButtonBits[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, 0x0001},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0x0002},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0x0004},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0x0008},
    {SDL_CONTROLLER_BUTTON_START, 0x0010},
    {SDL_CONTROLLER_BUTTON_BACK, 0x0020},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, 0x0040},
    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 0x0080},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0x0100},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0x0200},
    {SDL_CONTROLLER_BUTTON_A, 0x1000},
    {SDL_CONTROLLER_BUTTON_B, 0x2000},
    {SDL_CONTROLLER_BUTTON_X, 0x4000},
    {SDL_CONTROLLER_BUTTON_Y, 0x8000},
};

// -32768..32767 onto -1000..1000 as a driver with that range would report:
// linear over the whole span, rounded to the nearest (there are no ties), so
// both ends and the centre land exactly and v and -1 - v mirror each other.
int32_t ScaleJoystickAxis(Sint16 value) {
    const int32_t fromMin = static_cast<int32_t>(value) + 32768;
    return (fromMin * 4000 + 65535) / 131070 - 1000;
}

// SDL's Y axes grow downwards, XInput's upwards. -(-32768) does not fit, and
// full deflection is full deflection either way.
int16_t FlipThumbY(Sint16 value) { return value == -32768 ? int16_t{32767} : static_cast<int16_t>(-value); }

// SDL triggers run 0..32767, XInput's 0..255; rounding to the nearest gives
// back what a 0..255 trigger was before SDL widened it.
uint8_t ScaleTrigger(Sint16 value) {
    const int32_t pressed = value < 0 ? 0 : value;
    return static_cast<uint8_t>((pressed * 255 + 16383) / 32767);
}

bool SameGuid(const SDL_JoystickGUID& a, const SDL_JoystickGUID& b) {
    return std::memcmp(a.data, b.data, sizeof(a.data)) == 0;
}

bool IsOpen(const Controller& controller) {
    return controller.joystick != nullptr || controller.gamepad != nullptr;
}

// Quitting SDL's joystick or controller subsystem frees every device it has
// open, ours included; a handle is only used while SDL still lists it.
bool StillKnown(const Controller& controller) {
    if (controller.gamepad != nullptr)
        return SDL_GameControllerFromInstanceID(controller.instance) == controller.gamepad;
    return controller.joystick != nullptr &&
           SDL_JoystickFromInstanceID(controller.instance) == controller.joystick;
}

bool IsAttached(const Controller& controller) {
    if (!StillKnown(controller)) return false;
    return controller.gamepad != nullptr ? SDL_GameControllerGetAttached(controller.gamepad) == SDL_TRUE
                                         : SDL_JoystickGetAttached(controller.joystick) == SDL_TRUE;
}

// Opens device `index` for `controller`; false when SDL will not.
bool OpenDevice(Controller& controller, int index) {
    if (controller.kind == ControllerKind::Gamepad) {
        controller.gamepad = SDL_GameControllerOpen(index);
        if (controller.gamepad == nullptr) return false;
        controller.instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller.gamepad));
    } else {
        controller.joystick = SDL_JoystickOpen(index);
        if (controller.joystick == nullptr) return false;
        controller.instance = SDL_JoystickInstanceID(controller.joystick);
    }
    controller.guid = SDL_JoystickGetDeviceGUID(index);
    return true;
}

void CloseDevice(Controller& controller) {
    if (StillKnown(controller)) {
        if (controller.gamepad != nullptr)
            SDL_GameControllerClose(controller.gamepad);
        else
            SDL_JoystickClose(controller.joystick);
    }
    controller.gamepad = nullptr;
    controller.joystick = nullptr;
    controller.instance = -1;
}

bool HeldByUs(SDL_JoystickID instance) {
    for (int32_t i = 0; i < ControllerCount; ++i)
        if (IsOpen(Controllers[static_cast<size_t>(i)]) &&
            Controllers[static_cast<size_t>(i)].instance == instance)
            return true;
    return false;
}

// The device went away: let it go, and take up an attached device of the
// same GUID and kind that no other number holds, if there is one now.
bool Reattach(Controller& controller) {
    CloseDevice(controller);
    const bool wantGamepad = controller.kind == ControllerKind::Gamepad;
    const int devices = SDL_NumJoysticks();
    for (int index = 0; index < devices; ++index) {
        if (!SameGuid(SDL_JoystickGetDeviceGUID(index), controller.guid)) continue;
        if ((SDL_IsGameController(index) == SDL_TRUE) != wantGamepad) continue;
        if (HeldByUs(SDL_JoystickGetDeviceInstanceID(index))) continue;
        if (OpenDevice(controller, index)) return true;
    }
    return false;
}

void ReadJoystick(SDL_Joystick* device, ControllerSnapshot& snapshot) {
    JoystickState state{};
    const std::array<int32_t*, kJoystickAxes> axes = {&state.x,  &state.y,  &state.z,
                                                      &state.rx, &state.ry, &state.rz};
    const int axisCount = SDL_JoystickNumAxes(device);
    for (int axis = 0; axis < kJoystickAxes && axis < axisCount; ++axis)
        *axes[static_cast<size_t>(axis)] = ScaleJoystickAxis(SDL_JoystickGetAxis(device, axis));
    if (SDL_JoystickNumHats(device) > 0) state.hatAngle = kHatAngles[SDL_JoystickGetHat(device, 0) & 0x0Fu];
    const int buttonCount = SDL_JoystickNumButtons(device);
    for (int button = 0; button < kJoystickButtons && button < buttonCount; ++button)
        if (SDL_JoystickGetButton(device, button) != 0) state.buttons[static_cast<size_t>(button)] = 0x80;
    snapshot.kind = ControllerKind::Joystick;
    snapshot.joystick = state;
}

void ReadGamepad(SDL_GameController* device, ControllerSnapshot& snapshot) {
    GamepadState state{};
    state.leftThumbX = SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_LEFTX);
    state.leftThumbY = FlipThumbY(SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_LEFTY));
    state.rightThumbX = SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_RIGHTX);
    state.rightThumbY = FlipThumbY(SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_RIGHTY));
    state.leftTrigger = ScaleTrigger(SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    state.rightTrigger = ScaleTrigger(SDL_GameControllerGetAxis(device, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    for (const GamepadButtonBit& entry : kGamepadButtonBits)
        if (SDL_GameControllerGetButton(device, entry.button) != 0)
            state.buttonWord = static_cast<uint16_t>(state.buttonWord | entry.bit);
    snapshot.kind = ControllerKind::Gamepad;
    snapshot.gamepad = state;
}

void AddController(ControllerKind kind, int index) {
    Controller& controller = Controllers[static_cast<size_t>(ControllerCount)];
    controller = Controller{};
    controller.kind = kind;
    if (OpenDevice(controller, index)) ++ControllerCount;
}

} // namespace

int32_t CountControllers() {
    ReleaseControllers();
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0) return 0;
    // Take in devices plugged in since SDL started.
    SDL_JoystickUpdate();
    const int devices = SDL_NumJoysticks();
    for (int index = 0; index < devices && ControllerCount < kMaxControllers; ++index)
        if (SDL_IsGameController(index) == SDL_FALSE) AddController(ControllerKind::Joystick, index);
    int32_t gamepads = 0;
    for (int index = 0; index < devices && ControllerCount < kMaxControllers && gamepads < kMaxGamepads;
         ++index) {
        if (SDL_IsGameController(index) == SDL_FALSE) continue;
        const int32_t before = ControllerCount;
        AddController(ControllerKind::Gamepad, index);
        gamepads += ControllerCount - before;
    }
    return ControllerCount;
}

bool ReadControllerSnapshot(int32_t number, ControllerSnapshot& snapshot) {
    if (number < 0 || number >= ControllerCount) return false;
    Controller& controller = Controllers[static_cast<size_t>(number)];
    // Nobody else may be pumping SDL's events: fetch the device state and
    // hot-plug news here.
    SDL_JoystickUpdate();
    if (!IsAttached(controller)) {
        if (!Reattach(controller)) return false;
        // A device just opened may report its state only from the next update.
        SDL_JoystickUpdate();
    }
    if (controller.kind == ControllerKind::Gamepad)
        ReadGamepad(controller.gamepad, snapshot);
    else
        ReadJoystick(controller.joystick, snapshot);
    return true;
}

void ReleaseControllers() {
    for (int32_t i = 0; i < ControllerCount; ++i) {
        CloseDevice(Controllers[static_cast<size_t>(i)]);
        Controllers[static_cast<size_t>(i)] = Controller{};
    }
    ControllerCount = 0;
}
