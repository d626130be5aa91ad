#pragma once

// A scriptable stand-in for every platform service. It records each call, in
// order, as one readable line, and answers from the script below.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

    // Record.
    std::vector<std::string> calls;
    std::vector<std::string> written; // every WriteSerialPort payload, in order
    int32_t polls = 0;
};

// The one fake, reset by each test's fixture.
extern FakePlatform Fake;
void ResetFake();

// Test helpers.
std::string Utf8(std::u16string_view text);
