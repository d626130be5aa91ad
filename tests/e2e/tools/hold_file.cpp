// Holds a file open with no sharing at all, the way an editor that locks its
// document does, so that the program under test finds it taken:
//
//     e2e-hold-file.exe <file> <ready> <release>
//
// Once <file> is open, <ready> is created; the file stays open until
// <release> exists (30 s at most). Exit code 0: held and released; 1: the
// file could not be opened; 2: creating <ready> failed; 3: nobody released it.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: e2e-hold-file <file> <ready> <release>\n");
        return 1;
    }
    HANDLE held =
        CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "opening %ls failed: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    HANDLE ready =
        CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "creating %ls failed: error %lu\n", argv[2], GetLastError());
        CloseHandle(held);
        return 2;
    }
    CloseHandle(ready);
    int result = 3;
    for (int waited = 0; waited < 30000; waited += 20) {
        if (GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES) {
            result = 0;
            break;
        }
        Sleep(20);
    }
    CloseHandle(held);
    return result;
}
