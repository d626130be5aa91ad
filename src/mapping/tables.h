#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Program-wide tables. Index 0 of AxisTable and ButtonTable is never written,
// so a selector of 0 reads a constant 0 and means "not assigned".
inline constexpr int32_t kAxisCount = 9; // pads 0..2, X/Y/Z each
inline constexpr int32_t kButtonCount = 16;
inline constexpr int32_t kAssignmentLines = 44;

extern std::array<int32_t, kAxisCount + 1> AxisTable;
extern std::array<int32_t, kButtonCount + 1> ButtonTable;
extern std::array<int32_t, kAssignmentLines + 1> AssignmentTable;

struct Channels {
    int32_t XL = 0, YL = 0, XD = 0, YD = 0;
    int32_t Aux5 = 0, Aux6 = 0, Aux7 = 0;
    int32_t ButtonByte1 = 0, ButtonByte2 = 0, ButtonByte3 = 0, ButtonByte4 = 0;
};
extern Channels ChannelSet;

// Every table entry and channel back to 0, as at start-up.
void ResetTables();
