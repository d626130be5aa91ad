// Harness self-check: loads the stand-in controller DLLs the way a program
// does (by name, at run time, from its own folder) and prints what they
// report; "serial" opens COM3 and sets 115200 8N1 so the pty mapping and the
// termios shim can be checked without the program under test; "crash"
// checks that a crash ends the process instead of waiting in a debugger.
#define DIRECTINPUT_VERSION 0x0700
#include <windows.h>

#include <dinput.h>
#include <xinput.h>

#include <cstdio>
#include <cwchar>

namespace {

using CreateEx = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
using GetState = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

void PrintModule(HMODULE module) {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(module, path, MAX_PATH);
    std::printf("module %ls\n", path);
}

GUID Found[4];
int FoundCount = 0;

BOOL CALLBACK OnDevice(LPCDIDEVICEINSTANCEW info, LPVOID) {
    if (FoundCount < 4) Found[FoundCount++] = info->guidInstance;
    std::printf("device product=%08lx type=0x%lx\n", info->guidProduct.Data1, info->dwDevType);
    return DIENUM_CONTINUE;
}

int ProbeDirectInput() {
    HMODULE dll = LoadLibraryW(L"DINPUT.DLL");
    if (dll == nullptr) return 2;
    PrintModule(dll);
    auto create =
        reinterpret_cast<CreateEx>(reinterpret_cast<void*>(GetProcAddress(dll, "DirectInputCreateEx")));
    if (create == nullptr) return 3;
    IDirectInput7W* di = nullptr;
    HRESULT hr = create(GetModuleHandleW(nullptr), 0x0700, IID_IDirectInput7W, reinterpret_cast<LPVOID*>(&di),
                        nullptr);
    std::printf("create hr=0x%lx\n", static_cast<unsigned long>(hr));
    if (FAILED(hr)) return 4;
    di->EnumDevices(DIDEVTYPE_JOYSTICK, OnDevice, nullptr, DIEDFL_ATTACHEDONLY);
    for (int i = 0; i < FoundCount; ++i) {
        IDirectInputDevice7W* dev = nullptr;
        hr = di->CreateDeviceEx(Found[i], IID_IDirectInputDevice7W, reinterpret_cast<LPVOID*>(&dev), nullptr);
        if (FAILED(hr)) continue;
        dev->SetDataFormat(&c_dfDIJoystick);
        DIPROPRANGE range{};
        range.diph.dwSize = sizeof(range);
        range.diph.dwHeaderSize = sizeof(range.diph);
        range.diph.dwHow = DIPH_BYOFFSET;
        range.diph.dwObj = DIJOFS_X;
        range.lMin = -1000;
        range.lMax = 1000;
        hr = dev->SetProperty(DIPROP_RANGE, &range.diph);
        std::printf("range x hr=0x%lx\n", static_cast<unsigned long>(hr));
        hr = dev->Acquire();
        DIJOYSTATE js{};
        HRESULT poll = dev->Poll();
        hr = dev->GetDeviceState(sizeof(js), &js);
        std::printf("state poll=0x%lx hr=0x%lx x=%ld rz=%ld pov=%ld b0=%u b31=%u\n",
                    static_cast<unsigned long>(poll), static_cast<unsigned long>(hr), js.lX, js.lRz,
                    static_cast<long>(js.rgdwPOV[0]), js.rgbButtons[0], js.rgbButtons[31]);
        dev->Unacquire();
        dev->Release();
    }
    di->Release();
    return 0;
}

int ProbeXInput() {
    HMODULE dll = LoadLibraryW(L"XInput9_1_0.dll");
    if (dll == nullptr) return 2;
    PrintModule(dll);
    auto get = reinterpret_cast<GetState>(reinterpret_cast<void*>(GetProcAddress(dll, "XInputGetState")));
    if (get == nullptr) return 3;
    for (DWORD user = 0; user < 3; ++user) {
        XINPUT_STATE state{};
        DWORD result = get(user, &state);
        std::printf("user %lu result=%lu lx=%d rt=%u buttons=0x%x\n", user, result, state.Gamepad.sThumbLX,
                    state.Gamepad.bRightTrigger, state.Gamepad.wButtons);
    }
    return 0;
}

int ProbeSerial() {
    HANDLE port =
        CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return 2;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    BOOL ok = SetCommState(port, &dcb);
    DWORD written = 0;
    WriteFile(port, "probe", 5, &written, nullptr);
    CloseHandle(port);
    std::printf("serial set=%d written=%lu\n", ok ? 1 : 0, written);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    if (std::wcscmp(argv[1], L"dinput") == 0) return ProbeDirectInput();
    if (std::wcscmp(argv[1], L"xinput") == 0) return ProbeXInput();
    if (std::wcscmp(argv[1], L"serial") == 0) return ProbeSerial();
    if (std::wcscmp(argv[1], L"crash") == 0) *static_cast<volatile int*>(nullptr) = 1;
    return 1;
}
