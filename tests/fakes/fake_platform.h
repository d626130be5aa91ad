#pragma once

// A scriptable stand-in for every platform service. It records each call, in
// order, as one readable line, and answers from the script below.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/drawing_service.h"
#include "platform/joystick_service.h"

struct FakePlatform {
    // Script.
    int32_t controllerCount = 1;
    // Answers to ReadControllerSnapshot, one per call; when empty, `fallback`
    // (nullopt means the read fails).
    std::deque<std::optional<ControllerSnapshot>> snapshots;
    std::optional<ControllerSnapshot> fallbackSnapshot = ControllerSnapshot{};
    std::u16string promptAnswer = u"3";
    bool portOpens = true;
    bool windowOpens = true;
    std::deque<int32_t> events;                   // what PollEvent returns; 0 once empty
    std::function<void(int32_t ms)> onPause;      // lets a test push events mid-run
    std::vector<std::vector<uint8_t>> fileChunks; // what ReadFileBytes hands out
    bool fileOpens = true;
    bool fileReadFailsAtEnd = false; // a read error instead of the end
    // Answers to BeginWindowDrawing, one per call; when empty, it succeeds.
    std::deque<int32_t> beginAnswers;
    int32_t charWidth = 8; // the fake font: fixed-width cells
    int32_t cellHeight = 16;

    // Record.
    std::vector<std::string> calls;
    std::vector<std::string> written; // every WriteSerialPort payload, in order
    int32_t polls = 0;
    // Every drawing operation with the state it took effect in, e.g.
    // "Rect 89,89 5x5 filled 0,255,0" or "String 50,156 'XL: 0       ' 0,255,255 opaque".
    std::vector<std::string> drawing;
    // The state of the pass in progress, reset by each begin as the service promises.
    bool inPass = false;
    int32_t mode = 0;
    Rgb colour{255, 255, 255};
};

// The one fake, reset by each test's fixture.
extern FakePlatform Fake;
void ResetFake();

// Test helpers.
std::string Utf8(std::u16string_view text);
