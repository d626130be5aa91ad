// The whole native program in-process: the real SDL backend under the dummy
// video driver, a virtual gamepad, a pseudo-terminal as the port and the
// sample assignment file. The "user" is an event watch that answers the
// prompt and, from inside a tick, asks the monitor window to close.

#include <gtest/gtest.h>

#include <SDL.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "control/run_control.h"
#include "mapping/tables.h"
#include "sdl_backend.h"

namespace {

constexpr char kPromptTitle[] = "VOMA PC Joysticks";
constexpr char kMonitorTitle[] = "VOMA PC Joystick V:1.00";

// What the scripted user does and saw.
struct Script {
    std::string portText;
    bool cancelPrompt = false;
    int master = -1;         // the far end of the port
    std::string received;    // what it has had so far
    int closeAfterLines = 0; // ask to close once this many JOY lines are in
    int linesAtClose = -1;
    int hangUpAfterLines = 0; // close the far end once this many JOY lines are in
    int updatesAfterHangUp = -1;
    std::chrono::steady_clock::time_point hungUpAt, closeSentAt;
    std::vector<std::string> canvasAtClose; // "x,y r,g,b" at the points below
    bool promptSeen = false;
    Uint32 monitor = 0;
    SDL_JoystickID pad = -1;
} Scripted;

void Push(SDL_Event event) { SDL_PushEvent(&event); }

void PushKey(Uint32 window, SDL_Keycode key, SDL_Scancode scancode) {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_KEYDOWN;
    event.key.windowID = window;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = scancode;
    Push(event);
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    Push(event);
}

void PushText(Uint32 window, const std::string& text) {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_TEXTINPUT;
    event.text.windowID = window;
    SDL_strlcpy(event.text.text, text.c_str(), sizeof event.text.text);
    Push(event);
}

int SDLCALL WatchWindows(void*, SDL_Event* event) {
    if (event->type != SDL_WINDOWEVENT || event->window.event != SDL_WINDOWEVENT_SHOWN) return 1;
    SDL_Window* window = SDL_GetWindowFromID(event->window.windowID);
    const std::string title = window != nullptr ? SDL_GetWindowTitle(window) : "";
    if (title == kPromptTitle && !Scripted.promptSeen) {
        Scripted.promptSeen = true;
        const Uint32 id = event->window.windowID;
        if (Scripted.cancelPrompt) {
            PushKey(id, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
            return 1;
        }
        PushKey(id, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE); // the default "3" goes
        PushText(id, Scripted.portText);
        PushKey(id, SDLK_RETURN, SDL_SCANCODE_RETURN);
    }
    if (title == kMonitorTitle) Scripted.monitor = event->window.windowID;
    return 1;
}

void Drain() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(Scripted.master, buffer, sizeof buffer);
        if (n > 0) {
            Scripted.received.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

int JoyLines(const std::string& bytes) {
    int count = 0;
    for (size_t at = bytes.find("JOY "); at != std::string::npos; at = bytes.find("JOY ", at + 1))
        ++count;
    return count;
}

// Called by SDL whenever the controller service takes its look at the pad,
// that is inside a tick, before the tick's JOY line.
void PushClose() {
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = Scripted.monitor;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    Push(event);
}

void SDLCALL PadUpdate(void*) {
    if (Scripted.hangUpAfterLines > 0) {
        // The device goes away mid-run: the far end is closed, the port hangs up.
        if (Scripted.updatesAfterHangUp >= 0 && ++Scripted.updatesAfterHangUp == 12) {
            Scripted.closeSentAt = std::chrono::steady_clock::now();
            PushClose();
        }
        if (Scripted.updatesAfterHangUp < 0 && Scripted.master >= 0) {
            Drain();
            if (JoyLines(Scripted.received) >= Scripted.hangUpAfterLines) {
                close(Scripted.master);
                Scripted.master = -1;
                Scripted.updatesAfterHangUp = 0;
                Scripted.hungUpAt = std::chrono::steady_clock::now();
            }
        }
        return;
    }
    Drain();
    if (Scripted.linesAtClose < 0 && JoyLines(Scripted.received) >= Scripted.closeAfterLines &&
        Scripted.monitor != 0) {
        Scripted.linesAtClose = JoyLines(Scripted.received);
        // The picture as the last tick left it.
        const int points[][2] = {{147, 31}, {151, 35}, {179, 89}, {183, 93}, {10, 2},
                                 {30, 2},   {270, 2},  {25, 27},  {300, 154}};
        for (const auto& p : points) {
            uint8_t rgb[3] = {1, 2, 3};
            ReadCanvasPixel(p[0], p[1], rgb);
            Scripted.canvasAtClose.push_back(std::to_string(p[0]) + "," + std::to_string(p[1]) + " " +
                                             std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," +
                                             std::to_string(rgb[2]));
        }
        SDL_Event event;
        SDL_zero(event);
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = Scripted.monitor;
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        Push(event);
    }
}

class NativeProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        Scripted = Script{};
        Scripted.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(Scripted.master, 0);
        ASSERT_EQ(grantpt(Scripted.master), 0);
        ASSERT_EQ(unlockpt(Scripted.master), 0);
        Scripted.portText = ptsname(Scripted.master);
        ASSERT_EQ(chdir(VOMA_SAMPLES_DIR), 0);

        ASSERT_EQ(
            SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER),
            0)
            << SDL_GetError();
        SDL_AddEventWatch(WatchWindows, nullptr);
    }

    void TearDown() override {
        if (Scripted.master >= 0) close(Scripted.master);
        SDL_Quit();
    }

    // A gamepad with the usual layout, attached before the program counts.
    SDL_Joystick* AttachGamepad() {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "test pad";
        desc.Update = PadUpdate;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        char guid[64];
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
        const std::string mapping =
            std::string(guid) +
            ",test pad,a:b0,b:b1,x:b2,y:b3,back:b4,guide:b5,start:b6,leftstick:b7,rightstick:b8,"
            "leftshoulder:b9,rightshoulder:b10,dpup:b11,dpdown:b12,dpleft:b13,dpright:b14,"
            "leftx:a0,lefty:a1,rightx:a2,righty:a3,lefttrigger:a4,righttrigger:a5,";
        SDL_GameControllerAddMapping(mapping.c_str());
        EXPECT_TRUE(SDL_IsGameController(index));
        SDL_Joystick* pad = SDL_JoystickOpen(index);
        EXPECT_NE(pad, nullptr) << SDL_GetError();
        return pad;
    }

    // Everything the far end of the port has received.
    static std::string Received() {
        Drain();
        return Scripted.received;
    }
};

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST_F(NativeProgram, StreamsTheGamepadThroughTheSampleFileAndStopsAfterTheCloseRequest) {
    SDL_Joystick* pad = AttachGamepad();
    ASSERT_NE(pad, nullptr);
    // Left stick full right and full up, right stick full left, left trigger
    // fully in, A and the right shoulder down.
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 32767);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, -32768);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX, -32768);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, 0);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, -32768);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_PRESSED);
    Scripted.closeAfterLines = 5;

    EXPECT_EQ(RunProgram(), 0);

    EXPECT_TRUE(Scripted.promptSeen);
    ASSERT_EQ(Scripted.linesAtClose, 5);
    // Fields: XL YL XD YD Aux5 Aux7 byte1 byte2 Aux6 byte3 byte4. Up reads
    // negative; A is button 1 (byte 1, bit 7), the right shoulder button 14
    // (byte 2, bit 2). The close request comes during tick 6, after five
    // lines: that tick's line, one more, then the two stops.
    const std::string joy = "JOY 1000,-1000,-1000,0,1000,0,128,4,0,0,0";
    EXPECT_EQ(Received(), "RCBAPP=85 " + Repeat(joy, 7) + "RCBAPP=0 RCBAPP=0 ");

    // The monitor: the left dot up and right (147..151, 31..35), the right dot
    // left of centre (179..183, 89..93), lamps 1 and 14 red, lamp 2 grey, the
    // outline corners. Lamps are read above their numbers.
    EXPECT_EQ(Scripted.canvasAtClose,
              (std::vector<std::string>{"147,31 0,255,0", "151,35 0,255,0", "179,89 255,0,0",
                                        "183,93 255,0,0", "10,2 255,0,0", "30,2 128,128,128", "270,2 255,0,0",
                                        "25,27 0,255,90", "300,154 0,255,90"}));
}

TEST_F(NativeProgram, AHungUpPortNeitherBlocksNorStopsTheTicks) {
    SDL_Joystick* pad = AttachGamepad();
    ASSERT_NE(pad, nullptr);
    Scripted.hangUpAfterLines = 3;
    using namespace std::chrono_literals;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProgram(), 0);
    const auto end = std::chrono::steady_clock::now();
    // Twelve more ticks after the hang-up, each at least its pause long; every
    // write to the dead port gives up at once rather than after its bound (about
    // four seconds for a JOY line), so the run ends soon after the close request
    // (one more tick and the three 50 ms shutdown pauses).
    EXPECT_EQ(Scripted.updatesAfterHangUp, 13); // the twelve, then the one after the close request
    EXPECT_GE(Scripted.closeSentAt - Scripted.hungUpAt, 11 * 25ms);
    EXPECT_LT(end - Scripted.closeSentAt, 1500ms);
    EXPECT_LT(end - start, 10s);
}

TEST_F(NativeProgram, CancelledPromptEndsTheRunWithoutTouchingThePort) {
    SDL_Joystick* pad = AttachGamepad();
    ASSERT_NE(pad, nullptr);
    Scripted.cancelPrompt = true;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(Scripted.promptSeen);
    EXPECT_EQ(Scripted.monitor, 0u);
    EXPECT_EQ(Received(), "");
}

} // namespace
