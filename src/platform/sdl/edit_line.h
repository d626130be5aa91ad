#pragma once

// The text of the prompt's one-line edit box, held as code points so the
// caret always stands between whole characters, with the conversions to and
// from the UTF-8 of SDL and the UTF-16 of the program.

#include <cstddef>
#include <string>
#include <string_view>

// Malformed input (a lone surrogate, a broken or overlong UTF-8 sequence)
// becomes U+FFFD, one per bad unit or sequence.
std::u32string CodePointsFromUtf8(std::string_view text);
std::u32string CodePointsFromUtf16(std::u16string_view text);
std::string Utf8FromCodePoints(std::u32string_view text);
std::u16string Utf16FromCodePoints(std::u32string_view text);

class EditLine {
  public:
    // The caret starts after the last character, where the user types on.
    explicit EditLine(std::u16string_view text) : text_(CodePointsFromUtf16(text)), caret_(text_.size()) {}

    void Insert(std::string_view utf8);
    void Backspace();
    void Delete();
    void Left() { caret_ = caret_ > 0 ? caret_ - 1 : 0; }
    void Right() { caret_ = caret_ < text_.size() ? caret_ + 1 : caret_; }
    void Home() { caret_ = 0; }
    void End() { caret_ = text_.size(); }

    std::string Utf8() const { return Utf8FromCodePoints(text_); }
    std::string Utf8BeforeCaret() const {
        return Utf8FromCodePoints(std::u32string_view(text_).substr(0, caret_));
    }
    std::u16string Utf16() const { return Utf16FromCodePoints(text_); }

  private:
    std::u32string text_;
    size_t caret_;
};
