#include "platform/joystick_service.h"

#define DIRECTINPUT_VERSION 0x0700
#include <windows.h>

#include <dinput.h>
#include <xinput.h>

#include <cstring>

#include "proc_lookup.h"

namespace {

using DirectInputCreateExFn = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
using XInputGetStateFn = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

// The Xbox 360 pad also shows up as a DirectInput joystick; it is counted
// once, through XInput.
constexpr GUID kXbox360PadProduct = {
    0x02A1045E, 0x0000, 0x0000, {0x00, 0x00, 0x50, 0x49, 0x44, 0x56, 0x49, 0x44}};

constexpr DWORD kGamepadUsers = 3;
constexpr int32_t kMaxControllers = 16;

// One numbered controller: a DirectInput device, or else an XInput user.
struct Controller {
    IDirectInputDevice7W* device = nullptr;
    DWORD user = 0;
};

HMODULE DirectInputLibrary = nullptr;
HMODULE XInputLibrary = nullptr;
IDirectInput7W* DirectInput = nullptr;
XInputGetStateFn XInputGetStateProc = nullptr;
Controller Controllers[kMaxControllers];
int32_t ControllerCount = 0;

bool SetAxisRange(IDirectInputDevice7W* device, DWORD axisOffset) {
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof(range);
    range.diph.dwHeaderSize = sizeof(range.diph);
    range.diph.dwObj = axisOffset;
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -1000;
    range.lMax = 1000;
    return device->SetProperty(DIPROP_RANGE, &range.diph) == DI_OK;
}

// Opens one enumerated joystick and numbers it when it has at least X and Y.
BOOL CALLBACK AddJoystick(LPCDIDEVICEINSTANCEW instance, LPVOID) {
    if (ControllerCount >= kMaxControllers) return DIENUM_STOP;
    if (IsEqualGUID(instance->guidProduct, kXbox360PadProduct)) return DIENUM_CONTINUE;

    IDirectInputDevice7W* device = nullptr;
    if (FAILED(DirectInput->CreateDeviceEx(instance->guidInstance, IID_IDirectInputDevice7W,
                                           reinterpret_cast<LPVOID*>(&device), nullptr)) ||
        device == nullptr)
        return DIENUM_CONTINUE;
    if (FAILED(device->SetDataFormat(&c_dfDIJoystick))) {
        device->Release();
        return DIENUM_CONTINUE;
    }
    // Every axis the device has reads -1000..1000; one without X and Y is no
    // joystick for this program.
    const bool hasX = SetAxisRange(device, DIJOFS_X);
    const bool hasY = SetAxisRange(device, DIJOFS_Y);
    SetAxisRange(device, DIJOFS_Z);
    SetAxisRange(device, DIJOFS_RX);
    SetAxisRange(device, DIJOFS_RY);
    SetAxisRange(device, DIJOFS_RZ);
    if (!hasX || !hasY) {
        device->Release();
        return DIENUM_CONTINUE;
    }
    // No cooperative level: the default lets the device be read while the
    // monitor window is in the background.
    device->Acquire();
    Controllers[ControllerCount++].device = device;
    return DIENUM_CONTINUE;
}

void CountJoystickDevices() {
    DirectInputLibrary = LoadLibraryW(L"DINPUT.DLL");
    const auto create = LookUpProc<DirectInputCreateExFn>(DirectInputLibrary, "DirectInputCreateEx");
    if (create == nullptr) return;
    if (FAILED(create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput7W,
                      reinterpret_cast<LPVOID*>(&DirectInput), nullptr))) {
        DirectInput = nullptr;
        return;
    }
    DirectInput->EnumDevices(DIDEVTYPE_JOYSTICK, AddJoystick, nullptr, DIEDFL_ATTACHEDONLY);
}

void CountGamepads() {
    XInputLibrary = LoadLibraryW(L"XInput9_1_0.dll");
    XInputGetStateProc = LookUpProc<XInputGetStateFn>(XInputLibrary, "XInputGetState");
    if (XInputGetStateProc == nullptr) return;
    for (DWORD user = 0; user < kGamepadUsers && ControllerCount < kMaxControllers; ++user) {
        XINPUT_STATE state{};
        if (XInputGetStateProc(user, &state) != ERROR_SUCCESS) continue;
        Controllers[ControllerCount++].user = user;
    }
}

bool ReadJoystick(IDirectInputDevice7W* device, ControllerSnapshot& snapshot) {
    device->Poll();
    DIJOYSTATE state{};
    if (device->GetDeviceState(sizeof(state), &state) != DI_OK) {
        // Lost to another program or unplugged: try to get it back for the
        // next look.
        device->Acquire();
        return false;
    }
    snapshot.kind = ControllerKind::Joystick;
    JoystickState& joystick = snapshot.joystick;
    joystick.x = state.lX;
    joystick.y = state.lY;
    joystick.z = state.lZ;
    joystick.rx = state.lRx;
    joystick.ry = state.lRy;
    joystick.rz = state.lRz;
    joystick.hatAngle = state.rgdwPOV[0];
    static_assert(sizeof(state.rgbButtons) == sizeof(joystick.buttons));
    std::memcpy(joystick.buttons.data(), state.rgbButtons, sizeof(state.rgbButtons));
    return true;
}

bool ReadGamepad(DWORD user, ControllerSnapshot& snapshot) {
    XINPUT_STATE state{};
    if (XInputGetStateProc == nullptr || XInputGetStateProc(user, &state) != ERROR_SUCCESS) return false;
    snapshot.kind = ControllerKind::Gamepad;
    GamepadState& gamepad = snapshot.gamepad;
    gamepad.leftThumbX = state.Gamepad.sThumbLX;
    gamepad.leftThumbY = state.Gamepad.sThumbLY;
    gamepad.rightThumbX = state.Gamepad.sThumbRX;
    gamepad.rightThumbY = state.Gamepad.sThumbRY;
    gamepad.leftTrigger = state.Gamepad.bLeftTrigger;
    gamepad.rightTrigger = state.Gamepad.bRightTrigger;
    gamepad.buttonWord = state.Gamepad.wButtons;
    return true;
}

} // namespace

int32_t CountControllers() {
    ReleaseControllers();
    CountJoystickDevices();
    CountGamepads();
    return ControllerCount;
}

bool ReadControllerSnapshot(int32_t number, ControllerSnapshot& snapshot) {
    if (number < 0 || number >= ControllerCount) return false;
    const Controller& controller = Controllers[number];
    return controller.device != nullptr ? ReadJoystick(controller.device, snapshot)
                                        : ReadGamepad(controller.user, snapshot);
}

void ReleaseControllers() {
    for (int32_t i = 0; i < ControllerCount; ++i) {
        Controller& controller = Controllers[i];
        if (controller.device != nullptr) {
            controller.device->Unacquire();
            controller.device->Release();
        }
        controller = Controller{};
    }
    ControllerCount = 0;
    XInputGetStateProc = nullptr;
    if (DirectInput != nullptr) {
        DirectInput->Release();
        DirectInput = nullptr;
    }
    if (DirectInputLibrary != nullptr) {
        FreeLibrary(DirectInputLibrary);
        DirectInputLibrary = nullptr;
    }
    if (XInputLibrary != nullptr) {
        FreeLibrary(XInputLibrary);
        XInputLibrary = nullptr;
    }
}
