#include "common/decimal_text.h"

size_t WriteDecimal(int64_t value, char* out) {
    // Work on the magnitude as unsigned so the lowest value needs no care.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[kMaxDecimalLength];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (value < 0) out[length++] = '-';
    while (count > 0)
        out[length++] = digits[--count];
    return length;
}
