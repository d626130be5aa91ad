#include <gtest/gtest.h>

#include <climits>

#include "control/device_link.h"
#include "fakes/fake_platform.h"
#include "mapping/tables.h"

namespace {

class DeviceLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        ResetTables();
    }
};

struct JoyCase {
    Channels channels;
    const char* line;
};

TEST_F(DeviceLink, JoyLineCarriesElevenFieldsInTheDeviceOrder) {
    Channels every{};
    every.XL = 1, every.YL = 2, every.XD = 3, every.YD = 4, every.Aux5 = 5, every.Aux6 = 6, every.Aux7 = 7;
    every.ButtonByte1 = 11, every.ButtonByte2 = 12, every.ButtonByte3 = 13, every.ButtonByte4 = 14;
    Channels example{};
    example.XL = -1000, example.YL = 1000, example.ButtonByte1 = 129;
    Channels widest{};
    widest.XL = widest.YL = widest.XD = widest.YD = widest.Aux5 = widest.Aux6 = widest.Aux7 = -1000;
    widest.ButtonByte1 = widest.ButtonByte2 = widest.ButtonByte3 = widest.ButtonByte4 = 255;
    Channels extremes{};
    extremes.XL = INT32_MIN, extremes.Aux6 = INT32_MAX, extremes.ButtonByte4 = -5;

    const JoyCase cases[] = {
        {Channels{}, "JOY 0,0,0,0,0,0,0,0,0,0,0"},
        // Aux7 is field 6, Aux6 field 9.
        {every, "JOY 1,2,3,4,5,7,11,12,6,13,14"},
        {example, "JOY -1000,1000,0,0,0,0,129,0,0,0,0"},
        {widest, "JOY -1000,-1000,-1000,-1000,-1000,-1000,255,255,-1000,255,255"},
        {extremes, "JOY -2147483648,0,0,0,0,0,0,0,2147483647,0,-5"},
    };
    for (const JoyCase& c : cases) {
        ChannelSet = c.channels;
        EXPECT_EQ(FormatJoyLine().Text(), c.line);
    }
    EXPECT_EQ(std::string_view("JOY 0,0,0,0,0,0,0,0,0,0,0").size(), 25u);
}

TEST_F(DeviceLink, EveryInt32FieldFitsTheLineBuffer) {
    ChannelSet = Channels{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN,
                          INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
    const JoyLine line = FormatJoyLine();
    EXPECT_EQ(line.length, 4u + 11u * 11u + 10u);
    EXPECT_EQ(line.Text().substr(0, 16), "JOY -2147483648,");
}

TEST_F(DeviceLink, CommandsAreExactBytesWithoutTerminator) {
    EXPECT_EQ(kStartCommand, std::string_view("\x52\x43\x42\x41\x50\x50\x3D\x38\x35\x20", 10));
    EXPECT_EQ(kStopCommand, std::string_view("\x52\x43\x42\x41\x50\x50\x3D\x30\x20", 9));
    SendDeviceText(kStartCommand);
    ChannelSet.XL = -5;
    SendDeviceText(FormatJoyLine().Text());
    ASSERT_EQ(Fake.written.size(), 2u);
    EXPECT_EQ(Fake.written[0], "RCBAPP=85 ");
    EXPECT_EQ(Fake.written[1], "JOY -5,0,0,0,0,0,0,0,0,0,0");
}

TEST_F(DeviceLink, PortNameIsComFollowedByTheTextAsTyped) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"3", "COM3"},
        {u"12", "COM12"},
        {u"", "COM"},
        {u" 3", "COM 3"},
        {u"3 ", "COM3 "},
        {u"COM3", "COMCOM3"},
        {u"\u00FC\U0001F600", "COM\xC3\xBC\xF0\x9F\x98\x80"},
    };
    for (const auto& [typed, name] : cases) {
        ResetFake();
        EXPECT_TRUE(OpenDevicePort(typed));
        ASSERT_EQ(Fake.calls.size(), 1u);
        EXPECT_EQ(Fake.calls[0], "OpenSerialPort " + name);
    }
    Fake.portOpens = false;
    EXPECT_FALSE(OpenDevicePort(u"3"));
}

} // namespace
