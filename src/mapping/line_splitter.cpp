#include "mapping/line_splitter.h"

namespace {
struct CollectLines {
    std::vector<std::u16string> lines{std::u16string()};
    void CodeUnit(char16_t unit) { lines.back() += unit; }
    void LineEnd() { lines.emplace_back(); }
};
} // namespace

std::vector<std::u16string> SplitIntoLines(std::string_view bytes) {
    CollectLines sink;
    Utf8LineSplitter splitter;
    splitter.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), sink);
    splitter.Finish(sink);
    sink.lines.pop_back(); // the line after the last end, which never began
    return sink.lines;
}
