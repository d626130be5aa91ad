#include "control/device_link.h"

#include <string>

#include "common/decimal_text.h"
#include "mapping/tables.h"
#include "platform/serial_port.h"

bool OpenDevicePort(std::u16string_view portText) {
    std::u16string portName = u"COM";
    portName += portText;
    return OpenSerialPort(portName);
}

void SendDeviceText(std::string_view text) { WriteSerialPort(text); }

JoyLine FormatJoyLine() {
    // The device reads the fields in this order: Aux7 before the first two
    // button bytes, Aux6 between the second and the third.
    const Channels& c = ChannelSet;
    const int32_t fields[11] = {c.XL,          c.YL,          c.XD,   c.YD,          c.Aux5,       c.Aux7,
                                c.ButtonByte1, c.ButtonByte2, c.Aux6, c.ButtonByte3, c.ButtonByte4};
    JoyLine line;
    char* out = line.bytes.data();
    for (char ch : std::string_view("JOY "))
        *out++ = ch;
    for (size_t i = 0; i < 11; ++i) {
        if (i > 0) *out++ = ',';
        out += WriteDecimal(fields[i], out);
    }
    line.length = static_cast<size_t>(out - line.bytes.data());
    return line;
}

void CloseDevicePort() { CloseSerialPort(); }
