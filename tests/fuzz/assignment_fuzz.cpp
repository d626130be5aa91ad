// libFuzzer target over the line splitter and the assignment line parser.
// Besides "no crash, no sanitizer report" it checks that the streaming reader
// (fed in odd-sized chunks) agrees with splitting the whole input first and
// parsing line by line, and that every line is well-formed UTF-16.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mapping/assignment_file.h"
#include "mapping/line_splitter.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = SplitIntoLines(bytes);

    for (const std::u16string& line : lines) {
        for (size_t i = 0; i < line.size(); ++i) {
            const char16_t unit = line[i];
            Check(unit != u'\n' && unit != u'\r' && unit != 0);
            if (unit >= 0xD800 && unit < 0xDC00) {
                Check(i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] < 0xE000);
                ++i;
            } else {
                Check(unit < 0xDC00 || unit >= 0xE000);
            }
        }
    }

    std::array<int32_t, kAssignmentLines + 1> table{};
    AssignmentReader reader(table);
    const size_t chunk = size == 0 ? 1 : data[0] % 7 + 1;
    for (size_t at = 0; at < size; at += chunk) {
        if (!reader.Feed(data + at, size - at < chunk ? size - at : chunk)) break;
    }
    reader.Finish();

    Check(table[0] == 0);
    for (size_t i = 1; i <= kAssignmentLines; ++i)
        Check(table[i] == (i <= lines.size() ? ParseAssignmentLine(lines[i - 1]) : 0));
    return 0;
}
