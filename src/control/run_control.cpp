#include "control/run_control.h"

#include "control/device_link.h"
#include "display/monitor_drawing.h"
#include "mapping/assignment_file.h"
#include "mapping/joystick_readings.h"
#include "mapping/sampling.h"
#include "mapping/tables.h"
#include "platform/dialogs.h"
#include "platform/lifecycle.h"
#include "platform/pause.h"
#include "platform/window.h"

int32_t QuitFlag = 0;
std::u16string PortText;
int32_t JoystickCount = 0;
int32_t LastEvent = 0;

namespace {

constexpr std::u16string_view kNoJoystickTitle = u"\u00A1Error!";
constexpr std::u16string_view kNoJoystickText = u"Need to connect a joystick";
constexpr std::u16string_view kPromptTitle = u"VOMA PC Joysticks";
constexpr std::u16string_view kPromptMessage = u"Please input Com:";
constexpr std::u16string_view kPromptDefault = u"3";
constexpr std::u16string_view kPortErrorTitle = u"Error";
constexpr std::u16string_view kPortErrorText = u"Can't open the serial port: COM";
constexpr std::u16string_view kWindowTitle = u"VOMA PC Joystick V:1.00";
constexpr WindowPlacement kWindowPlacement{100, 100, 330, 200};

constexpr int32_t kTickPauseMs = 25;
constexpr int32_t kStopPauseMs = 50;

// False when the run has to end before the main loop.
bool StartUp() {
    JoystickCount = CountJoysticks();
    if (JoystickCount <= 0) {
        ShowMessageBox(kNoJoystickTitle, kNoJoystickText);
        return false;
    }

    PortText = PromptForText(kPromptTitle, kPromptMessage, kPromptDefault);
    if (!OpenDevicePort(PortText)) {
        std::u16string text(kPortErrorText);
        text += PortText;
        ShowMessageBox(kPortErrorTitle, text);
        return false;
    }

    SendDeviceText(kStartCommand);
    ReadAssignmentFile(); // reports a missing file itself; the run goes on either way

    // Without the window there is no way to ask for a stop, so none is sent.
    if (!OpenMonitorWindow(kWindowTitle, kWindowPlacement)) return false;
    DrawStaticFrame();
    return true;
}

void RunTick() {
    PauseMilliseconds(kTickPauseMs);
    SampleJoystick();
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    SendDeviceText(FormatJoyLine().Text());
}

void RunMainLoop() {
    for (;;) {
        // Every pending event first; a tick only once none is left.
        LastEvent = PollEvent();
        if (LastEvent == kCloseRequestEvent) QuitFlag = 1;
        if (LastEvent != 0) continue;

        RunTick();
        if (QuitFlag == 1) return;
    }
}

void ShutDown() {
    PauseMilliseconds(kStopPauseMs);
    SendDeviceText(kStopCommand);
    PauseMilliseconds(kStopPauseMs);
    SendDeviceText(kStopCommand);
    PauseMilliseconds(kStopPauseMs);
    CloseDevicePort();
}

} // namespace

int RunProgram() {
    InitPlatform();
    // Everything as at the start of a run, even when the process runs more
    // than one (the in-process tests do).
    ResetTables();
    ResetMonitorDrawing();
    QuitFlag = 0;
    LastEvent = 0;
    JoystickCount = 0;
    PortText.clear();
    if (StartUp()) {
        RunMainLoop();
        ShutDown();
    }
    TearDownPlatform();
    return 0;
}
