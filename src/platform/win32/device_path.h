#pragma once

#include <string>
#include <string_view>

// The Win32 device path of a serial port: "\\.\" and the name, of which only
// the first 59 UTF-16 code units are kept.
inline std::u16string DevicePathFor(std::u16string_view portName) {
    constexpr size_t kKeptUnits = 59;
    std::u16string path = u"\\\\.\\";
    path += portName.substr(0, kKeptUnits);
    return path;
}
