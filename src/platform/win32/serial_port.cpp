#include "platform/serial_port.h"

#include <windows.h>

#include "device_path.h"
#include "wide_text.h"

namespace {

HANDLE Port = INVALID_HANDLE_VALUE;

} // namespace

bool OpenSerialPort(std::u16string_view portName) {
    CloseSerialPort();
    const std::wstring path = ToWide(DevicePathFor(portName));
    HANDLE port =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;

    // Some drivers refuse buffer sizes; the defaults do as well.
    SetupComm(port, 1024, 1024);

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(port, &dcb)) {
        CloseHandle(port);
        return false;
    }
    // Only what the device needs; every other line setting stays as it was.
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutxCtsFlow = FALSE;
    if (!SetCommState(port, &dcb)) {
        CloseHandle(port);
        return false;
    }

    // A write gives up after 10 ms + 100 ms per byte, so a stuck device
    // cannot hang the tick for long.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 100;
    timeouts.WriteTotalTimeoutConstant = 10;
    SetCommTimeouts(port, &timeouts);

    Port = port;
    return true;
}

void WriteSerialPort(std::string_view bytes) {
    if (Port == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(Port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void CloseSerialPort() {
    if (Port == INVALID_HANDLE_VALUE) return;
    CloseHandle(Port);
    Port = INVALID_HANDLE_VALUE;
}
