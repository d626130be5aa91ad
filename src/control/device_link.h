#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// Messages to the device: plain ASCII, no terminator of any kind.
inline constexpr std::string_view kStartCommand = "RCBAPP=85 ";
inline constexpr std::string_view kStopCommand = "RCBAPP=0 ";

// One JOY line, built without allocating: "JOY " and eleven decimal fields.
// Room for every field at its widest 32-bit value.
struct JoyLine {
    std::array<char, 4 + 11 * 11 + 10> bytes{};
    size_t length = 0;
    std::string_view Text() const { return {bytes.data(), length}; }
};

// Opens the port named "COM" + the text the user typed, as typed.
bool OpenDevicePort(std::u16string_view portText);
void SendDeviceText(std::string_view text);
JoyLine FormatJoyLine();
void CloseDevicePort();
