#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control/run_control.h"
#include "display/monitor_drawing.h"
#include "fakes/fake_platform.h"
#include "mapping/tables.h"
#include "platform/window.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kStartUpCalls[] = {
    "InitPlatform",
    "CountControllers",
    "Prompt VOMA PC Joysticks | Please input Com: | 3",
    "OpenSerialPort COM3",
    "Write RCBAPP=85 ",
    "OpenReadFile VOMA_JOY_ASG.txt",
    "CloseReadFile",
    "OpenMonitorWindow VOMA PC Joystick V:1.00 330x200 at 100,100",
};

// The static frame: one drawing pass right after the window opened.
const Calls kFrameCalls = {"BeginWindowDrawing", "EndWindowDrawing"};

// Sample, then the dots, labels and button row passes, then the JOY line.
const Calls kTickCalls = {"Pause 25",           "Snapshot 0",         "BeginWindowDrawing",
                          "EndWindowDrawing",   "BeginWindowDrawing", "EndWindowDrawing",
                          "BeginWindowDrawing", "EndWindowDrawing",   "Write JOY 0,0,0,0,0,0,0,0,0,0,0"};

const Calls kShutdownCalls = {
    "Pause 50", "Write RCBAPP=0 ", "Pause 50",         "Write RCBAPP=0 ",
    "Pause 50", "CloseSerialPort", "TearDownPlatform",
};

size_t CountOf(const Calls& calls, const std::string& call) {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

size_t JoyLinesWritten() {
    return static_cast<size_t>(std::count_if(Fake.written.begin(), Fake.written.end(),
                                             [](const std::string& w) { return w.rfind("JOY ", 0) == 0; }));
}

// Pushes the close request while the n-th tick pauses.
void CloseDuringTick(int32_t n) {
    Fake.onPause = [n, ticks = 0](int32_t ms) mutable {
        if (ms == 25 && ++ticks == n) Fake.events.push_back(kCloseRequestEvent);
    };
}

class RunControl : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        ResetTables();
        ResetMonitorDrawing();
        QuitFlag = 0;
        PortText.clear();
        JoystickCount = 0;
        LastEvent = 0;
    }
};

TEST_F(RunControl, NoControllerShowsTheErrorBeforeAnyPromptAndSendsNothing) {
    Fake.controllerCount = 0;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Fake.calls, (Calls{"InitPlatform", "CountControllers",
                                 "MessageBox \xC2\xA1"
                                 "Error! | Need to connect a joystick",
                                 "TearDownPlatform"}));
}

TEST_F(RunControl, PortThatWillNotOpenShowsTheTypedTextAndSendsNothing) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"", ""}, // cancelled, closed or confirmed empty
        {u"7", "7"},
        {u" 3", " 3"}, // no trimming, either side
        {u"3 ", "3 "},
        {u"COM3", "COM3"},
        {std::u16string(100, u'9'), std::string(100, '9')},
        {u"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80"},
    };
    for (const auto& [typed, shown] : cases) {
        ResetFake();
        Fake.promptAnswer = typed;
        Fake.portOpens = false;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(Fake.calls,
                  (Calls{"InitPlatform", "CountControllers",
                         "Prompt VOMA PC Joysticks | Please input Com: | 3", "OpenSerialPort COM" + shown,
                         "MessageBox Error | Can't open the serial port: COM" + shown, "TearDownPlatform"}))
            << shown;
        EXPECT_TRUE(Fake.written.empty());
    }
}

TEST_F(RunControl, WindowThatWillNotOpenEndsTheRunAfterTheStartCommandOnly) {
    Fake.windowOpens = false;
    EXPECT_EQ(RunProgram(), 0);
    Calls expected(std::begin(kStartUpCalls), std::end(kStartUpCalls));
    expected.push_back("TearDownPlatform"); // closes the port; no stop command
    EXPECT_EQ(Fake.calls, expected);
    EXPECT_EQ(Fake.written, (Calls{"RCBAPP=85 "}));
}

TEST_F(RunControl, FullRunTicksUntilTheCloseRequestThenStopsTheDevice) {
    CloseDuringTick(3);
    EXPECT_EQ(RunProgram(), 0);

    Calls expected(std::begin(kStartUpCalls), std::end(kStartUpCalls));
    expected.insert(expected.end(), kFrameCalls.begin(), kFrameCalls.end());
    for (int tick = 0; tick < 3; ++tick) {
        expected.push_back("Poll 0");
        expected.insert(expected.end(), kTickCalls.begin(), kTickCalls.end());
    }
    // Seen after the third tick: the loop polls on, then runs one more tick.
    expected.push_back("Poll -1");
    expected.push_back("Poll 0");
    expected.insert(expected.end(), kTickCalls.begin(), kTickCalls.end());
    expected.insert(expected.end(), kShutdownCalls.begin(), kShutdownCalls.end());
    EXPECT_EQ(Fake.calls, expected);
    EXPECT_EQ(QuitFlag, 1);
}

TEST_F(RunControl, FrameThatCannotBeginIsNotTriedAgainAndTheRunGoesOn) {
    Fake.beginAnswers = {0};
    CloseDuringTick(1);
    EXPECT_EQ(RunProgram(), 0);

    Calls expected(std::begin(kStartUpCalls), std::end(kStartUpCalls));
    expected.push_back("BeginWindowDrawing failed");
    for (int tick = 0; tick < 2; ++tick) {
        expected.push_back("Poll 0");
        expected.insert(expected.end(), kTickCalls.begin(), kTickCalls.end());
        if (tick == 0) expected.push_back("Poll -1");
    }
    expected.insert(expected.end(), kShutdownCalls.begin(), kShutdownCalls.end());
    EXPECT_EQ(Fake.calls, expected);
}

TEST_F(RunControl, PendingEventsAllGoBeforeATickAndSeveralClosesActAsOne) {
    Fake.events = {0x0201, kCloseRequestEvent, 0x000F, kCloseRequestEvent, kCloseRequestEvent, 0x0113};
    EXPECT_EQ(RunProgram(), 0);

    Calls expected(std::begin(kStartUpCalls), std::end(kStartUpCalls));
    expected.insert(expected.end(), kFrameCalls.begin(), kFrameCalls.end());
    for (const char* poll : {"Poll 513", "Poll -1", "Poll 15", "Poll -1", "Poll -1", "Poll 275", "Poll 0"})
        expected.push_back(poll);
    expected.insert(expected.end(), kTickCalls.begin(), kTickCalls.end());
    expected.insert(expected.end(), kShutdownCalls.begin(), kShutdownCalls.end());
    EXPECT_EQ(Fake.calls, expected);
}

TEST_F(RunControl, NoTickWhileEventsKeepArriving) {
    // Each tick's pause brings a burst of events; the next tick must wait for
    // the whole burst to be handled, and the close request in the third
    // burst still gets exactly one more tick.
    Fake.onPause = [ticks = 0](int32_t ms) mutable {
        if (ms != 25) return;
        ++ticks;
        for (int i = 0; i < 50; ++i)
            Fake.events.push_back(0x0200);
        if (ticks == 3) Fake.events.push_back(kCloseRequestEvent);
        for (int i = 0; i < 50; ++i)
            Fake.events.push_back(0x0200);
    };
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_EQ(JoyLinesWritten(), 4u);
    // The last tick's burst is never polled: the loop ends after that tick.
    EXPECT_EQ(CountOf(Fake.calls, "Poll 512"), 300u);
    for (size_t i = 0; i < Fake.calls.size(); ++i) {
        if (Fake.calls[i] == "Pause 25") {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(Fake.calls[i - 1], "Poll 0") << "a tick ran without an empty poll at call " << i;
        }
    }
}

TEST_F(RunControl, JoyLinesCarryTheChannelsOfTheirOwnTick) {
    Fake.fileChunks = {{'X', 'L', ' ', ' ', ' ', '=', '1', '\n'}};
    for (int32_t x : {-1000, 250, 1000}) {
        ControllerSnapshot s;
        s.joystick.x = x;
        Fake.snapshots.push_back(s);
    }
    Fake.snapshots.push_back(std::nullopt); // a failed read repeats the last line
    CloseDuringTick(3);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Fake.written, (Calls{"RCBAPP=85 ", "JOY -1000,0,0,0,0,0,0,0,0,0,0",
                                   "JOY 250,0,0,0,0,0,0,0,0,0,0", "JOY 1000,0,0,0,0,0,0,0,0,0,0",
                                   "JOY 1000,0,0,0,0,0,0,0,0,0,0", "RCBAPP=0 ", "RCBAPP=0 "}));
}

TEST_F(RunControl, MissingAssignmentFileIsReportedBeforeTheWindowAndTheRunGoesOnWithZeros) {
    Fake.fileOpens = false;
    ControllerSnapshot s;
    s.joystick.x = 1000;
    s.joystick.buttons.fill(0x80);
    Fake.fallbackSnapshot = s;
    CloseDuringTick(2);
    EXPECT_EQ(RunProgram(), 0);

    Calls expected(std::begin(kStartUpCalls), std::end(kStartUpCalls));
    expected[6] =
        "MessageBox Information | Couldn't open the Setup file!  VOMA_JOY_ASG.txt"; // no file to close
    ASSERT_GE(Fake.calls.size(), expected.size());
    EXPECT_EQ(Calls(Fake.calls.begin(), Fake.calls.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    EXPECT_EQ(Fake.written, (Calls{"RCBAPP=85 ", "JOY 0,0,0,0,0,0,0,0,0,0,0", "JOY 0,0,0,0,0,0,0,0,0,0,0",
                                   "JOY 0,0,0,0,0,0,0,0,0,0,0", "RCBAPP=0 ", "RCBAPP=0 "}));
}

} // namespace
