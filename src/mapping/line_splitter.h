#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Turns the bytes of a text file into lines of UTF-16 code units, as they
// stream in, without ever holding a line:
// - the bytes are UTF-8; no byte-order mark is recognised, so one becomes
//   U+FEFF at the start of the first line;
// - LF, CR and NUL end a line; CR directly followed by LF is one end; LF then
//   CR is two ends with an empty line between them;
// - an end mark at the very end of the input begins no further line; a last
//   line without an end mark is a line like any other;
// - an ill-formed byte sequence becomes one U+FFFD per maximal invalid
//   subpart. Line ends are plain ASCII and so never part of a sequence: a
//   broken byte can only change its own line.
//
// The sink gets CodeUnit(char16_t) for each unit of a line's text and
// LineEnd() after each line.
struct Utf8LineSplitter {
    template <class Sink> void Feed(const uint8_t* bytes, size_t count, Sink& sink) {
        for (size_t i = 0; i < count; ++i)
            Take(bytes[i], sink);
    }

    // The input is over: a pending broken sequence and an unfinished last
    // line are delivered.
    template <class Sink> void Finish(Sink& sink) {
        if (need_ != 0) Replace(sink);
        if (lineOpen_) sink.LineEnd();
        lineOpen_ = false;
        afterCr_ = false;
    }

  private:
    template <class Sink> void Take(uint8_t b, Sink& sink) {
        if (afterCr_) {
            afterCr_ = false;
            if (b == 0x0A) return; // the LF of a CR LF pair
        }
        if (need_ != 0) {
            if (b >= lower_ && b <= upper_) {
                codePoint_ = (codePoint_ << 6) | (b & 0x3Fu);
                lower_ = 0x80;
                upper_ = 0xBF;
                if (--need_ == 0) Emit(codePoint_, sink);
                return;
            }
            Replace(sink); // then b starts afresh
        }
        if (b == 0x0A || b == 0x0D || b == 0x00) {
            sink.LineEnd();
            lineOpen_ = false;
            afterCr_ = b == 0x0D;
            return;
        }
        lineOpen_ = true;
        if (b < 0x80) return Emit(b, sink);
        // Lead bytes and the range of the byte that must follow, so that
        // overlong forms, surrogates and values past U+10FFFF are refused.
        if (b >= 0xC2 && b <= 0xDF) return Start(1, b & 0x1Fu, 0x80, 0xBF);
        if (b == 0xE0) return Start(2, b & 0x0Fu, 0xA0, 0xBF);
        if (b == 0xED) return Start(2, b & 0x0Fu, 0x80, 0x9F);
        if (b >= 0xE1 && b <= 0xEF) return Start(2, b & 0x0Fu, 0x80, 0xBF);
        if (b == 0xF0) return Start(3, b & 0x07u, 0x90, 0xBF);
        if (b >= 0xF1 && b <= 0xF3) return Start(3, b & 0x07u, 0x80, 0xBF);
        if (b == 0xF4) return Start(3, b & 0x07u, 0x80, 0x8F);
        Emit(0xFFFD, sink);
    }

    void Start(int need, uint32_t bits, uint8_t lower, uint8_t upper) {
        need_ = need;
        codePoint_ = bits;
        lower_ = lower;
        upper_ = upper;
    }

    template <class Sink> void Replace(Sink& sink) {
        need_ = 0;
        Emit(0xFFFD, sink);
    }

    template <class Sink> static void Emit(uint32_t codePoint, Sink& sink) {
        if (codePoint < 0x10000) return sink.CodeUnit(static_cast<char16_t>(codePoint));
        codePoint -= 0x10000;
        sink.CodeUnit(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        sink.CodeUnit(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FFu)));
    }

    int need_ = 0;
    uint32_t codePoint_ = 0;
    uint8_t lower_ = 0x80, upper_ = 0xBF;
    bool afterCr_ = false;
    bool lineOpen_ = false;
};

// The whole input split at once; for tests and tools, not for the reader.
std::vector<std::u16string> SplitIntoLines(std::string_view bytes);
