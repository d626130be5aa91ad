#include "mapping/sampling.h"

#include "mapping/joystick_readings.h"
#include "mapping/tables.h"

namespace {

// Selectors come from the user's file: anything outside a table reads as
// unassigned rather than outside it.
int32_t SelectedAxis(int32_t entry) {
    const int32_t selector = AssignmentTable[static_cast<size_t>(entry)];
    return selector >= 0 && selector <= kAxisCount ? AxisTable[static_cast<size_t>(selector)] : 0;
}

int32_t SelectedButton(int32_t entry) {
    const int32_t selector = AssignmentTable[static_cast<size_t>(entry)];
    return selector >= 0 && selector <= kButtonCount ? ButtonTable[static_cast<size_t>(selector)] : 0;
}

// Eight button entries from `base`, the first one giving the top bit.
int32_t PackButtonByte(int32_t base) {
    int32_t byte = 0;
    for (int32_t j = 0; j < 8; ++j)
        byte += SelectedButton(base + j) << (7 - j);
    return byte;
}

} // namespace

void SampleJoystick() {
    if (SnapshotJoystick(0) == 0) return;

    for (int32_t pad = 0; pad < 3; ++pad) {
        const size_t first = static_cast<size_t>(3 * pad + 1);
        AxisTable[first] = ReadAxisX(0, pad, 1);
        AxisTable[first + 1] = ReadAxisY(0, pad, 1);
        AxisTable[first + 2] = ReadAxisZ(0, pad, 1);
    }

    ChannelSet.XL = SelectedAxis(1);
    ChannelSet.YL = SelectedAxis(2);
    ChannelSet.XD = SelectedAxis(3);
    ChannelSet.YD = SelectedAxis(4);
    ChannelSet.Aux5 = SelectedAxis(5);
    ChannelSet.Aux6 = SelectedAxis(6);
    ChannelSet.Aux7 = SelectedAxis(7);

    for (int32_t b = 1; b <= kButtonCount; ++b)
        ButtonTable[static_cast<size_t>(b)] = ReadButton(0, b);

    ChannelSet.ButtonByte1 = PackButtonByte(10);
    ChannelSet.ButtonByte2 = PackButtonByte(18);
    ChannelSet.ButtonByte3 = PackButtonByte(26);
    ChannelSet.ButtonByte4 = PackButtonByte(34);
}
