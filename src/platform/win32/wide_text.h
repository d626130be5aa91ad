#pragma once

#include <string>
#include <string_view>

// The core hands over UTF-16 as char16_t; Win32 wants wchar_t, which is the
// same 16-bit code unit here, so the text is copied unit by unit.
inline std::wstring ToWide(std::u16string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char16_t unit : text)
        wide.push_back(static_cast<wchar_t>(unit));
    return wide;
}

inline std::u16string FromWide(std::wstring_view wide) {
    std::u16string text;
    text.reserve(wide.size());
    for (wchar_t unit : wide)
        text.push_back(static_cast<char16_t>(unit));
    return text;
}
