#include "edit_line.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c < 0xE000; }

} // namespace

std::u32string CodePointsFromUtf8(std::string_view text) {
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        size_t length = 0;
        char32_t c = 0;
        char32_t lowest = 0;
        if (lead < 0x80) {
            out += lead;
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead < 0xE0) {
            length = 2, c = lead & 0x1Fu, lowest = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3, c = lead & 0x0Fu, lowest = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4, c = lead & 0x07u, lowest = 0x10000;
        } else {
            out += kReplacement; // a stray continuation byte or a lead that cannot start a character
            ++i;
            continue;
        }
        size_t taken = 1;
        while (taken < length && i + taken < text.size() &&
               (static_cast<uint8_t>(text[i + taken]) & 0xC0u) == 0x80u) {
            c = (c << 6) | (static_cast<uint8_t>(text[i + taken]) & 0x3Fu);
            ++taken;
        }
        // A cut-short sequence is one bad character; what broke it starts the next.
        if (taken < length || c < lowest || c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
        out += c;
        i += taken;
    }
    return out;
}

std::u32string CodePointsFromUtf16(std::u16string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsSurrogate(c)) {
            const bool paired =
                c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
            c = paired ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u) : kReplacement;
        }
        out += c;
    }
    return out;
}

std::string Utf8FromCodePoints(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16FromCodePoints(std::u32string_view text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

void EditLine::Insert(std::string_view utf8) {
    const std::u32string typed = CodePointsFromUtf8(utf8);
    text_.insert(caret_, typed);
    caret_ += typed.size();
}

void EditLine::Backspace() {
    if (caret_ == 0) return;
    text_.erase(--caret_, 1);
}

void EditLine::Delete() {
    if (caret_ < text_.size()) text_.erase(caret_, 1);
}
