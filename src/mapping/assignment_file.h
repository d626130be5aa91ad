#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "mapping/line_splitter.h"
#include "mapping/tables.h"

// One line of the assignment file: a five-unit label that is never looked
// at, "=" at position 6, then the value text. Fed unit by unit so that a line
// of any length needs no buffer.
struct AssignmentLineParser {
    void Feed(char16_t unit);
    int32_t Result() const;

  private:
    enum class State : uint8_t { Label, Blanks, Sign, Digits, Done };
    uint64_t position_ = 0;
    State state_ = State::Label;
    bool negative_ = false;
    uint32_t base_ = 10;
    uint32_t value_ = 0; // wraps around, as the value conversion asks
};

// The entry value of one decoded line (without its end mark).
int32_t ParseAssignmentLine(std::u16string_view line);

// Streams a file's bytes into `table`: line i sets entry i for i = 1..44.
// Lines past 44 have no entry; the reader stops reading there.
struct AssignmentReader {
    explicit AssignmentReader(std::array<int32_t, kAssignmentLines + 1>& table) : table_(table) {}

    // False once every entry the table has is filled: no need to read on.
    bool Feed(const uint8_t* bytes, size_t count);
    void Finish();

    // The splitter's sink.
    void CodeUnit(char16_t unit) {
        if (lineNumber_ <= kAssignmentLines) line_.Feed(unit);
    }
    void LineEnd();

  private:
    std::array<int32_t, kAssignmentLines + 1>& table_;
    Utf8LineSplitter splitter_;
    AssignmentLineParser line_;
    int32_t lineNumber_ = 1;
};

inline constexpr std::u16string_view kAssignmentFileName = u"VOMA_JOY_ASG.txt";

// Reads the assignment file into AssignmentTable once, at start-up. Returns
// 0 when the file was opened, 1 when it could not be (after telling the
// user, who then runs with every channel at 0).
int32_t ReadAssignmentFile();
