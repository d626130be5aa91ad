#include "mapping/tables.h"

std::array<int32_t, kAxisCount + 1> AxisTable{};
std::array<int32_t, kButtonCount + 1> ButtonTable{};
std::array<int32_t, kAssignmentLines + 1> AssignmentTable{};
Channels ChannelSet{};

void ResetTables() {
    AxisTable.fill(0);
    ButtonTable.fill(0);
    AssignmentTable.fill(0);
    ChannelSet = Channels{};
}
