#include "platform/file_reading.h"

#include <windows.h>

#include "wide_text.h"

namespace {

HANDLE File = INVALID_HANDLE_VALUE;

} // namespace

bool OpenReadFile(std::u16string_view name) {
    CloseReadFile();
    const std::wstring wideName = ToWide(name);
    File = CreateFileW(wideName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    return File != INVALID_HANDLE_VALUE;
}

int32_t ReadFileBytes(uint8_t* buffer, int32_t capacity) {
    if (File == INVALID_HANDLE_VALUE || capacity < 0) return -1;
    DWORD count = 0;
    if (!ReadFile(File, buffer, static_cast<DWORD>(capacity), &count, nullptr)) return -1;
    return static_cast<int32_t>(count);
}

void CloseReadFile() {
    if (File == INVALID_HANDLE_VALUE) return;
    CloseHandle(File);
    File = INVALID_HANDLE_VALUE;
}
