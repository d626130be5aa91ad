// Stand-in for XInput9_1_0.dll: XInputGetState answers from the scripted
// state file, one "xi.connected" flag per user index, and logs every call.
#include <windows.h>

#include <xinput.h>

#include "standin_common.h"

namespace {
DWORD PacketNumber = 0;
}

extern "C" DWORD WINAPI XInputGetState(DWORD user, XINPUT_STATE* state) {
    standin::State s;
    standin::LoadState(s);
    standin::MaybeBlock(s, "xi", "XInputGetState");
    DWORD result = ERROR_SUCCESS;
    if (user >= XUSER_MAX_COUNT || state == nullptr)
        result = ERROR_BAD_ARGUMENTS;
    else if (s.ListItem("xi.connected", static_cast<int>(user), 0) == 0)
        result = ERROR_DEVICE_NOT_CONNECTED;
    else {
        state->dwPacketNumber = ++PacketNumber;
        XINPUT_GAMEPAD& pad = state->Gamepad;
        pad.wButtons = static_cast<WORD>(s.Int("xi.buttons", 0));
        pad.bLeftTrigger = static_cast<BYTE>(s.Int("xi.lt", 0));
        pad.bRightTrigger = static_cast<BYTE>(s.Int("xi.rt", 0));
        pad.sThumbLX = static_cast<SHORT>(s.Int("xi.lx", 0));
        pad.sThumbLY = static_cast<SHORT>(s.Int("xi.ly", 0));
        pad.sThumbRX = static_cast<SHORT>(s.Int("xi.rx", 0));
        pad.sThumbRY = static_cast<SHORT>(s.Int("xi.ry", 0));
    }
    standin::Log("xi", "XInputGetState user=%lu result=%lu", user, result);
    return result;
}
