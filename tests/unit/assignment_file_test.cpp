#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "mapping/assignment_file.h"
#include "mapping/line_splitter.h"
#include "mapping/tables.h"

namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(AssignmentLine, ValueTexts) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"7", 7},
        {u"  7", 7},
        {u"\t-3", -3},
        {u" +5", 5},
        {u"- 4", 0},
        {u"$1F", 31},
        {u"$fF", 255},
        {u"-$10", -16},
        {u"$-10", 0},
        {u"%101", 5},
        {u"%102", 2},
        {u"0x10", 0},
        {u"12abc", 12},
        {u"1 2", 1},
        {u"3.9", 3},
        {u"007", 7},
        {u"4294967295", -1},
        {u"2147483648", -2147483648},
        {u"", 0},
        {u"abc", 0},
        {u"$", 0},
        {u"%", 0},
        {u"-", 0},
        {u"=5", 0},
        {u"+-5", 0},
        {u"$g", 0},
        {u"-2147483648", -2147483648},
        {u"$FFFFFFFF", -1},
        {u"$100000001", 1},
        {u"\u00A0"
         "5",
         0},            // only blanks and tabs are skipped
        {u"\uFF15", 0}, // a full-width digit is no digit
        {u"5\uFF15", 5},
    };
    for (const auto& [value, result] : cases) {
        EXPECT_EQ(ParseAssignmentLine(u"XL   =" + value), result) << Utf8(value);
    }
}

TEST(AssignmentLine, TheEqualsSignMustStandAtPositionSix) {
    const std::pair<std::u16string, int32_t> cases[] = {
        {u"XL  =1", 0},   // position 5
        {u"XL   =1", 1},  // position 6
        {u"XL    =1", 0}, // position 7
        {u"XL   =", 0},   // six units, no value
        {u"XL   ", 0},    // too short
        {u"", 0},
        {u"X=L  =9", 9}, // the label may hold "=" itself
        {u"=====7", 0},  // "7" stands where the "=" belongs
        {u"====="
         u"="
         u"7",
         7},
        {u"abc\U0001F600=3", 3}, // a non-BMP character takes two positions
        {u"ab\U0001F600=3", 0},
        {u"\uFEFFXL   =1", 0}, // a byte-order mark pushes "=" to seven
    };
    for (const auto& [line, result] : cases)
        EXPECT_EQ(ParseAssignmentLine(line), result) << Utf8(line);
}

TEST(AssignmentLine, AMillionDigitValueWrapsInLinearTime) {
    std::u16string line = u"XL   =";
    line.append(1'000'000, u'9');
    const auto start = std::chrono::steady_clock::now();
    // 10^1000000 - 1 modulo 2^32, read as signed.
    uint32_t expected = 0;
    for (int i = 0; i < 1'000'000; ++i)
        expected = expected * 10 + 9;
    EXPECT_EQ(ParseAssignmentLine(line), static_cast<int32_t>(expected));
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(5)); // generous: catches quadratic work
}

TEST(LineSplitter, EndMarksAndDecoding) {
    using Lines = std::vector<std::u16string>;
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"a", {u"a"}},
        {"a\n", {u"a"}},
        {"a\r", {u"a"}}, // a lone CR as the last byte
        {"a\r\n", {u"a"}},
        {"a\r\nb\rc\nd", {u"a", u"b", u"c", u"d"}},
        {"a\n\rb", {u"a", u"", u"b"}}, // LF CR is two ends
        {"a\r\r\nb", {u"a", u"", u"b"}},
        {"\n", {u""}},
        {"\n\n", {u"", u""}},
        {std::string("a\0b", 3), {u"a", u"b"}},
        {std::string("a\0", 2), {u"a"}},
        {"\xEF\xBB\xBFX", {u"\uFEFFX"}}, // no byte-order mark handling
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", {u"\u00E9\u20AC\U0001F600"}},
        // Broken bytes: one U+FFFD per maximal bad part, never eating an end.
        {"\xE2\x82\nb", {u"\uFFFD", u"b"}},
        {"\xE2\x82", {u"\uFFFD"}},
        {"\xC3\rb", {u"\uFFFD", u"b"}},
        {std::string("\xF0\x9F\x98\0b", 5), {u"\uFFFD", u"b"}},
        {"\x80\xBF", {u"\uFFFD\uFFFD"}},
        {"\xC0\xAF", {u"\uFFFD\uFFFD"}},                     // overlong
        {"\xED\xA0\x80", {u"\uFFFD\uFFFD\uFFFD"}},           // a surrogate
        {"\xF4\x90\x80\x80", {u"\uFFFD\uFFFD\uFFFD\uFFFD"}}, // past U+10FFFF
        {"\xFF"
         "a",
         {u"\uFFFDa"}},
    };
    for (const auto& [bytes, lines] : cases) {
        std::string shown;
        for (char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            shown += byte < 0x20 || byte >= 0x7F ? "<" + std::to_string(byte) + ">" : std::string(1, c);
        }
        EXPECT_EQ(SplitIntoLines(bytes), lines) << shown;
    }
}

// Reading whole files through the reader, as the program does.
class AssignmentFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        ResetTables();
    }

    // The first `n` entries after reading `content`, fed in chunks of `chunk`.
    static std::vector<int32_t> EntriesOf(std::string_view content, size_t n = 8, size_t chunk = 4096) {
        ResetFake();
        ResetTables();
        for (size_t at = 0; at < content.size(); at += chunk)
            Fake.fileChunks.push_back(Bytes(content.substr(at, chunk)));
        EXPECT_EQ(ReadAssignmentFile(), 0);
        return std::vector<int32_t>(AssignmentTable.begin() + 1,
                                    AssignmentTable.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    }
};

TEST_F(AssignmentFile, WholeFiles) {
    using E = std::vector<int32_t>;
    std::string utf16; // "XL   =1\r\n" saved as UTF-16LE with its mark
    utf16 += "\xFF\xFE";
    for (char c : std::string_view("XL   =1\r\nYL   =2\r\n"))
        utf16 += std::string{c, '\0'};
    std::string many;
    for (int i = 1; i <= 60; ++i)
        many += "line =" + std::to_string(i) + "\n";

    const std::pair<std::string, E> cases[] = {
        {"XL   =1\r\nYL   =2\r\nXD   =3\r\nYD   =4\r\n", {1, 2, 3, 4, 0, 0, 0, 0}},
        {"XL   =1\nYL   =2\nXD   =3\nYD   =4\n", {1, 2, 3, 4, 0, 0, 0, 0}},
        {"XL   =1\rYL   =2\rXD   =3\rYD   =4\r", {1, 2, 3, 4, 0, 0, 0, 0}},
        {"XL   =1\r\nYL   =2\nXD   =3\rYD   =4", {1, 2, 3, 4, 0, 0, 0, 0}},
        {"XL   =1\nYL   =2\n\nYD   =4\n", {1, 2, 0, 4, 0, 0, 0, 0}}, // blank third line
        {"XL  =1\nYL   =2\nXD    =3\n", {0, 2, 0, 0, 0, 0, 0, 0}},   // "=" at 5, 6, 7
        {"XL   =\nYL   =2\n", {0, 2, 0, 0, 0, 0, 0, 0}},
        {"X=L  =5\n", {5, 0, 0, 0, 0, 0, 0, 0}},
        {"\xEF\xBB\xBFXL   =1\nYL   =2\n", {0, 2, 0, 0, 0, 0, 0, 0}}, // the mark moves line 1's "="
        {utf16, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"XL   =1\nYL   =2", {1, 2, 0, 0, 0, 0, 0, 0}},   // no end mark on the last line
        {"XL   =1\nYL   =2\r", {1, 2, 0, 0, 0, 0, 0, 0}}, // a lone trailing CR
        {"XL   =1\n\n\nYD   =4\n\n", {1, 0, 0, 4, 0, 0, 0, 0}},
        {"abc\xF0\x9F\x98\x80=7\n", {7, 0, 0, 0, 0, 0, 0, 0}}, // non-BMP label character
        {"XL   =1 remark\nYL   = -2 ; another\n", {1, -2, 0, 0, 0, 0, 0, 0}},
        {"\xFF\xFF\xFF\xFF\xFF=1\nYL   =2\n", {1, 2, 0, 0, 0, 0, 0, 0}}, // five broken bytes, five units
        {"", {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [content, entries] : cases) {
        EXPECT_EQ(EntriesOf(content), entries) << content;
        // However the bytes arrive, the result is the same.
        EXPECT_EQ(EntriesOf(content, 8, 1), entries) << content;
        EXPECT_EQ(EntriesOf(content, 8, 3), entries) << content;
    }

    // Lines past 44 have no entry: nothing lands outside the table.
    const std::vector<int32_t> entries = EntriesOf(many, 44);
    for (int32_t i = 0; i < 44; ++i)
        EXPECT_EQ(entries[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(AssignmentTable[0], 0);
}

TEST_F(AssignmentFile, ReadingStopsOnceTheTableIsFull) {
    std::string content;
    for (int i = 0; i < 44; ++i)
        content += "line =1\n";
    Fake.fileChunks = {Bytes(content)};
    for (int i = 0; i < 1000; ++i)
        Fake.fileChunks.push_back(Bytes("more =2\n"));
    EXPECT_EQ(ReadAssignmentFile(), 0);
    EXPECT_GT(Fake.fileChunks.size(), 990u) << "the reader went on long after line 44";
    EXPECT_EQ(AssignmentTable[44], 1);
    EXPECT_EQ(Fake.calls.back(), "CloseReadFile");
}

TEST_F(AssignmentFile, AReadErrorEndsTheFileWhereItHappened) {
    Fake.fileChunks = {Bytes("XL   =1\nYL   =2\nXD   =3")};
    Fake.fileReadFailsAtEnd = true;
    EXPECT_EQ(ReadAssignmentFile(), 0);
    EXPECT_EQ(AssignmentTable[1], 1);
    EXPECT_EQ(AssignmentTable[2], 2);
    EXPECT_EQ(AssignmentTable[3], 3); // the cut-off line counts as the last one
    EXPECT_EQ(Fake.calls, (std::vector<std::string>{"OpenReadFile VOMA_JOY_ASG.txt", "CloseReadFile"}));
}

TEST_F(AssignmentFile, AMissingFileIsReportedAndLeavesTheTableAlone) {
    Fake.fileOpens = false;
    AssignmentTable[3] = 42; // whatever was there stays
    EXPECT_EQ(ReadAssignmentFile(), 1);
    EXPECT_EQ(AssignmentTable[3], 42);
    EXPECT_EQ(Fake.calls, (std::vector<std::string>{
                              "OpenReadFile VOMA_JOY_ASG.txt",
                              "MessageBox Information | Couldn't open the Setup file!  VOMA_JOY_ASG.txt"}));
}

} // namespace

namespace {

TEST_F(AssignmentFile, TheShippedSampleMapsSticksTriggersHatAndSixteenButtons) {
    std::ifstream in(VOMA_SAMPLE_ASSIGNMENT_FILE, std::ios::binary);
    ASSERT_TRUE(in) << VOMA_SAMPLE_ASSIGNMENT_FILE;
    Fake.fileChunks = {std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})};
    ASSERT_EQ(ReadAssignmentFile(), 0);
    const std::array<int32_t, kAssignmentLines + 1> expected = {
        0, 1, 2, 4, 5, 3, 6, 7, 0, 0,                          // axes; lines 8, 9 unused
        1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, // ButtonByte1, ButtonByte2
    };
    EXPECT_EQ(AssignmentTable, expected);
}

} // namespace
