#pragma once

#include <string_view>

// The one serial port the device hangs on. The port name is the user's
// "COM" + typed text; how it becomes a device path is the backend's business.
// The port is opened at 115200 baud, 8 data bits, no parity, one stop bit,
// RTS held off and no CTS flow control, every other line setting kept as the
// port had it; a write blocks for at most 10 ms + 100 ms per byte.
bool OpenSerialPort(std::u16string_view portName);

// One synchronous write of all the bytes; failures go unnoticed by design.
void WriteSerialPort(std::string_view bytes);

void CloseSerialPort();
