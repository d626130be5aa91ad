#include <gtest/gtest.h>

#include <string>

#include "platform/win32/device_path.h"

namespace {

std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t unit : text)
        narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
    return narrow;
}

struct PathCase {
    std::u16string portName;
    std::u16string path;
};

TEST(DevicePath, PrefixesTheNameWithTheWin32DeviceNamespace) {
    const PathCase cases[] = {
        {u"COM3", u"\\\\.\\COM3"},
        {u"COM12", u"\\\\.\\COM12"},
        {u"COM", u"\\\\.\\COM"},       // the user cleared the prompt
        {u"COM 3x", u"\\\\.\\COM 3x"}, // typed text goes through as typed
        {u"", u"\\\\.\\"},
    };
    for (const PathCase& c : cases)
        EXPECT_EQ(DevicePathFor(c.portName), c.path) << Narrow(c.portName);
}

TEST(DevicePath, KeepsAtMost59CodeUnitsOfTheName) {
    const std::u16string fits = u"COM" + std::u16string(56, u'7'); // 59 units
    EXPECT_EQ(DevicePathFor(fits), u"\\\\.\\" + fits);

    const std::u16string tooLong = fits + u"89";
    EXPECT_EQ(DevicePathFor(tooLong), u"\\\\.\\" + fits);

    // Counted in UTF-16 code units, not characters: a pair straddling the
    // limit loses its second half.
    const std::u16string pairAtLimit = u"COM" + std::u16string(55, u'1') + u"\U0001F600";
    const std::u16string kept = u"\\\\.\\" + pairAtLimit.substr(0, 59);
    ASSERT_EQ(pairAtLimit.size(), 60u);
    EXPECT_EQ(DevicePathFor(pairAtLimit), kept);
    EXPECT_EQ(DevicePathFor(pairAtLimit).size(), 4u + 59u);
}

} // namespace
