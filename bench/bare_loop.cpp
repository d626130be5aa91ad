// The platform's own limit for the JOY period: the same port settings, the
// same 1 ms timer and 25 ms pause, and one fixed line per pass, with nothing
// else. Compared side by side with the real program by joy_period.py.
//
//   bench-bare-loop.exe <ticks>        writes to COM3
#include <windows.h>

#include <mmsystem.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const long ticks = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 400;
    HANDLE port =
        CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return 2;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutxCtsFlow = FALSE;
    SetCommState(port, &dcb);
    COMMTIMEOUTS timeouts{0, 0, 0, 100, 10};
    SetCommTimeouts(port, &timeouts);
    timeBeginPeriod(1);
    static const char kLine[] = "JOY 0,0,0,0,0,0,0,0,0,0,0";
    for (long i = 0; i < ticks; ++i) {
        Sleep(25);
        DWORD written = 0;
        WriteFile(port, kLine, sizeof(kLine) - 1, &written, nullptr);
    }
    CloseHandle(port);
    return 0;
}
