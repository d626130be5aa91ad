#include "mapping/assignment_file.h"

#include "platform/dialogs.h"
#include "platform/file_reading.h"

namespace {

constexpr std::u16string_view kMissingFileTitle = u"Information";
constexpr std::u16string_view kMissingFileText = u"Couldn't open the Setup file!  VOMA_JOY_ASG.txt";

int32_t DigitValue(char16_t unit, uint32_t base) {
    int32_t digit = -1;
    if (unit >= u'0' && unit <= u'9')
        digit = unit - u'0';
    else if (unit >= u'A' && unit <= u'F')
        digit = unit - u'A' + 10;
    else if (unit >= u'a' && unit <= u'f')
        digit = unit - u'a' + 10;
    return digit >= 0 && static_cast<uint32_t>(digit) < base ? digit : -1;
}

} // namespace

void AssignmentLineParser::Feed(char16_t unit) {
    ++position_;
    switch (state_) {
    case State::Label:
        if (position_ == 6) state_ = unit == u'=' ? State::Blanks : State::Done;
        return;
    case State::Blanks:
        if (unit == u' ' || unit == u'\t') return;
        state_ = State::Sign;
        if (unit == u'-' || unit == u'+') {
            negative_ = unit == u'-';
            return;
        }
        [[fallthrough]]; // no sign: this unit opens the number
    case State::Sign:
        state_ = State::Digits;
        if (unit == u'$') {
            base_ = 16;
            return;
        }
        if (unit == u'%') {
            base_ = 2;
            return;
        }
        [[fallthrough]]; // decimal: this unit is the first digit, if any
    case State::Digits: {
        const int32_t digit = DigitValue(unit, base_);
        if (digit < 0)
            state_ = State::Done;
        else
            value_ = value_ * base_ + static_cast<uint32_t>(digit);
        return;
    }
    case State::Done: return;
    }
}

int32_t AssignmentLineParser::Result() const {
    if (position_ < 6) return 0; // too short to hold the "="
    // Modulo 2^32, read as two's complement.
    return static_cast<int32_t>(negative_ ? 0u - value_ : value_);
}

int32_t ParseAssignmentLine(std::u16string_view line) {
    AssignmentLineParser parser;
    for (char16_t unit : line)
        parser.Feed(unit);
    return parser.Result();
}

bool AssignmentReader::Feed(const uint8_t* bytes, size_t count) {
    splitter_.Feed(bytes, count, *this);
    return lineNumber_ <= kAssignmentLines;
}

void AssignmentReader::Finish() { splitter_.Finish(*this); }

void AssignmentReader::LineEnd() {
    if (lineNumber_ > kAssignmentLines) return;
    table_[static_cast<size_t>(lineNumber_++)] = line_.Result();
    line_ = AssignmentLineParser{};
}

int32_t ReadAssignmentFile() {
    if (!OpenReadFile(kAssignmentFileName)) {
        ShowMessageBox(kMissingFileTitle, kMissingFileText);
        return 1;
    }
    AssignmentReader reader(AssignmentTable);
    // Lines past the table's end are never read: they could not be stored.
    // A read error ends the file where it happened, keeping what came before.
    uint8_t chunk[16 * 1024];
    bool wanted = true;
    while (wanted) {
        const int32_t count = ReadFileBytes(chunk, static_cast<int32_t>(sizeof chunk));
        if (count <= 0) break;
        wanted = reader.Feed(chunk, static_cast<size_t>(count));
    }
    reader.Finish();
    CloseReadFile();
    return 0;
}
