// Placeholder until the POSIX serial port lands.
#include "platform/serial_port.h"

bool OpenSerialPort(std::u16string_view) { return false; }
void WriteSerialPort(std::string_view) {}
void CloseSerialPort() {}
