#include <gtest/gtest.h>

#include "mapping/axis_scaling.h"

namespace {

struct ThumbCase {
    int16_t raw;
    bool negate;
    int32_t reading;
};

TEST(AxisScaling, ThumbsSpanPlusMinus1000WithA32UnitCentre) {
    const ThumbCase cases[] = {
        {-32768, false, -1000},
        {32767, false, 1000},
        {0, false, 0},
        {32, false, 0},
        {-32, false, 0},
        {33, false, 1},
        {-33, false, -1},
        {16384, false, 500},
        // Y axes are negated: pushing up (positive thumb) reads negative.
        {32767, true, -1000},
        {-32768, true, 1000},
        {33, true, -1},
        {-32, true, 0},
    };
    for (const ThumbCase& c : cases)
        EXPECT_EQ(ScaleThumb(c.raw, c.negate), c.reading) << "raw " << c.raw << " negate " << c.negate;
}

TEST(AxisScaling, ThumbMatchesSinglePrecisionDivisionEverywhere) {
    // The device was tuned against s divided by 32.767 as a float constant
    // (32.766998291015625), truncated; the integer form must agree over the
    // whole thumb range.
    for (int32_t s = -32768; s <= 32767; ++s) {
        const auto expected = static_cast<int32_t>(static_cast<double>(s) / static_cast<double>(32.767f));
        ASSERT_EQ(ScaleThumb(static_cast<int16_t>(s), false), expected) << s;
    }
}

TEST(AxisScaling, TriggersSpan0To1000) {
    const std::pair<uint8_t, int32_t> cases[] = {{0, 0}, {1, 3}, {128, 501}, {254, 996}, {255, 1000}};
    for (const auto& [raw, reading] : cases)
        EXPECT_EQ(ScaleTrigger(raw), reading) << int(raw);
}

struct HatCase {
    uint32_t angle;
    int32_t x;
    int32_t y;
};

TEST(AxisScaling, HatSplitsIntoXAndYParts) {
    const HatCase cases[] = {
        {0xFFFFFFFFu, 0, 0}, // centred
        {0, 0, 1000},        // up
        {4500, 500, 500},    {9000, 1000, 0},   {13500, 500, -500}, {18000, 0, -1000},
        {22500, -500, -500}, {27000, -1000, 0}, {31500, -500, 500}, {35999, -1, 999},
        {1, 0, 1000},        {8999, 999, 1},    {17999, 1, -999},   {26999, -999, -1},
    };
    for (const HatCase& c : cases) {
        const HatParts parts = DecomposeHat(c.angle);
        EXPECT_EQ(parts.x, c.x) << c.angle;
        EXPECT_EQ(parts.y, c.y) << c.angle;
    }
}

TEST(AxisScaling, HatAnglesNoDriverShouldSendReadAsCentred) {
    // Some drivers set only the low word for "centred"; nothing past a full
    // turn may reach the device as a reading beyond +-1000.
    for (uint32_t angle : {0x0000FFFFu, 0xFFFFFFFFu, 0x0001FFFFu, 36000u, 65534u, 0x7FFFFFFFu}) {
        const HatParts parts = DecomposeHat(angle);
        EXPECT_EQ(parts.x, 0) << angle;
        EXPECT_EQ(parts.y, 0) << angle;
    }
    for (uint32_t angle = 0; angle < 36000; ++angle) {
        const HatParts parts = DecomposeHat(angle);
        ASSERT_LE(std::abs(parts.x), 1000) << angle;
        ASSERT_LE(std::abs(parts.y), 1000) << angle;
    }
}

} // namespace
