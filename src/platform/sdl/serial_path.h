#pragma once

// Which device a port name ("COM" + what the user typed) stands for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sdl_backend.h"

// The device path for a port name, or nothing when the name cannot stand for
// any device:
// - "COM/dev/ttyUSB0": a typed text starting with "/" is the path itself.
// - "COM3": decimal digits n >= 1 are COMn, "/dev/ttyS" + (n - 1), the
//   numbering Linux and wine share. "COM0", digits with a leading zero and
//   numbers beyond the 32-bit range name no port: Windows has no such name
//   either, and a number that big is no serial line.
// - "COMttyUSB0", "COMpts/4", "COMcu.usbserial-1": any other text is a name
//   under /dev; a ".." step in it, which would lead out of /dev, names no
//   port.
// - "COM" alone names no port.
// The text becomes UTF-8, as file names are here; a NUL or a lone surrogate
// cannot be part of a file name, so such a text names no port. A name
// without the "COM" in front is taken whole as the text.
inline std::optional<std::string> SerialDevicePath(std::u16string_view portName) {
    std::u16string_view text = portName;
    if (text.starts_with(u"COM")) text.remove_prefix(3);
    if (text.empty()) return std::nullopt;

    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\0') return std::nullopt;
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
                ++i;
                continue;
            }
            return std::nullopt;
        }
        if (c >= 0xDC00 && c < 0xE000) return std::nullopt;
    }

    if (text.front() == u'/') return ToUtf8(text);

    if (text.find_first_not_of(u"0123456789") == std::u16string_view::npos) {
        if (text.front() == u'0') return std::nullopt;
        constexpr uint32_t kLargest = INT32_MAX;
        uint32_t number = 0;
        for (char16_t digit : text) {
            const uint32_t value = static_cast<uint32_t>(digit - u'0');
            if (number > (kLargest - value) / 10) return std::nullopt;
            number = number * 10 + value;
        }
        return "/dev/ttyS" + std::to_string(number - 1);
    }

    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u'/', start);
        if (end == std::u16string_view::npos) end = text.size();
        if (text.substr(start, end - start) == u"..") return std::nullopt;
        start = end + 1;
    }
    return "/dev/" + ToUtf8(text);
}
