#include "mapping/axis_scaling.h"

int32_t ScaleThumb(int16_t value, bool negate) {
    int64_t s = negate ? -static_cast<int64_t>(value) : value;
    // s / 32.767 (as single precision) truncated, done exactly in integers.
    return static_cast<int32_t>(s * 32768 / 1073709);
}

int32_t ScaleTrigger(uint8_t value) { return static_cast<int32_t>(value) * 4000 / 1020; }

HatParts DecomposeHat(uint32_t angle) {
    // Centred is -1, but some drivers fill in only the low word; anything
    // past a full turn is no direction either. Either way: no deflection, so
    // nothing beyond +-1000 can come out of here.
    if ((angle & 0xFFFFu) == 0xFFFFu || angle >= 36000) return {};
    const int32_t a = static_cast<int32_t>(angle);
    if (a < 9000) return {a * 1000 / 9000, 1000 - a * 1000 / 9000};
    if (a < 18000) return {(9000 - a) * 1000 / 9000 + 1000, (9000 - a) * 1000 / 9000};
    if (a < 27000) return {(18000 - a) * 1000 / 9000, (a - 18000) * 1000 / 9000 - 1000};
    return {(a - 27000) * 1000 / 9000 - 1000, (a - 27000) * 1000 / 9000};
}
