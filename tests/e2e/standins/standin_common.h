// Shared plumbing of the stand-in controller DLLs: the scripted state file,
// the call log and the "block" switch. Both DLLs are single-threaded from the
// program's point of view, so nothing here locks.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace standin {

// One read of the state file: "key=value" lines, '#' starts a comment.
struct State {
    char text[16384];
    const char* keys[256];
    const char* values[256];
    int count = 0;

    const char* Get(const char* key) const {
        for (int i = count - 1; i >= 0; --i)
            if (std::strcmp(keys[i], key) == 0) return values[i];
        return nullptr;
    }
    long Int(const char* key, long fallback) const {
        const char* v = Get(key);
        if (v == nullptr || *v == '\0') return fallback;
        return static_cast<long>(std::strtoll(v, nullptr, 0));
    }
    // Item `index` of a comma-separated list of numbers.
    long ListItem(const char* key, int index, long fallback) const {
        const char* v = Get(key);
        if (v == nullptr) return fallback;
        for (int i = 0; i < index; ++i) {
            v = std::strchr(v, ',');
            if (v == nullptr) return fallback;
            ++v;
        }
        char* end = nullptr;
        long long n = std::strtoll(v, &end, 0);
        return end == v ? fallback : static_cast<long>(n);
    }
};

inline bool EnvPath(const wchar_t* name, wchar_t* out, DWORD capacity) {
    DWORD n = GetEnvironmentVariableW(name, out, capacity);
    return n > 0 && n < capacity;
}

// Re-reads the whole state file. A missing file reads as an empty state.
// With VOMA_STANDIN_STEADY set (the benchmark), the first read is kept, so
// the stand-in costs the program under measurement next to nothing.
inline void LoadState(State& s) {
    static State steady;
    static bool haveSteady = false;
    wchar_t flag[8];
    const bool keep = EnvPath(L"VOMA_STANDIN_STEADY", flag, 8);
    if (keep && haveSteady) {
        s = steady;
        return;
    }
    s.count = 0;
    s.text[0] = '\0';
    wchar_t path[1024];
    if (!EnvPath(L"VOMA_STANDIN_STATE", path, 1024)) return;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD got = 0;
    if (!ReadFile(h, s.text, sizeof(s.text) - 1, &got, nullptr)) got = 0;
    CloseHandle(h);
    s.text[got] = '\0';
    char* p = s.text;
    while (*p != '\0' && s.count < 256) {
        char* line = p;
        char* nl = std::strpbrk(p, "\r\n");
        if (nl != nullptr) {
            *nl = '\0';
            p = nl + 1;
        } else {
            p += std::strlen(p);
        }
        char* eq = std::strchr(line, '=');
        if (line[0] == '#' || eq == nullptr) continue;
        *eq = '\0';
        s.keys[s.count] = line;
        s.values[s.count] = eq + 1;
        ++s.count;
    }
    if (keep) {
        steady = s;
        for (int i = 0; i < s.count; ++i) { // point into the kept copy's own text
            steady.keys[i] = steady.text + (s.keys[i] - s.text);
            steady.values[i] = steady.text + (s.values[i] - s.text);
        }
        haveSteady = true;
    }
}

inline long long MicrosecondsNow() {
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return now.QuadPart / freq.QuadPart * 1000000 + now.QuadPart % freq.QuadPart * 1000000 / freq.QuadPart;
}

// Appends "<microseconds> <module> <text>\n" to the call log.
inline void Log(const char* module, const char* format, ...) {
    wchar_t path[1024];
    if (!EnvPath(L"VOMA_STANDIN_LOG", path, 1024)) return;
    char line[1024];
    int used = std::snprintf(line, sizeof(line), "%lld %s ", MicrosecondsNow(), module);
    va_list args;
    va_start(args, format);
    int more = std::vsnprintf(line + used, sizeof(line) - static_cast<size_t>(used) - 1, format, args);
    va_end(args);
    size_t length = std::strlen(line);
    (void)more;
    line[length++] = '\n';
    HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(h);
}

// With "block=1" in the state, a snapshot call waits here until the file named
// by "block.release" (a Windows path) exists, 10 s at most, so a test can act
// while the program is known to be inside a tick.
inline void MaybeBlock(const State& s, const char* module, const char* call) {
    if (s.Int("block", 0) == 0) return;
    const char* release = s.Get("block.release");
    wchar_t wide[1024] = L"";
    if (release != nullptr) MultiByteToWideChar(CP_UTF8, 0, release, -1, wide, 1024);
    Log(module, "BLOCK enter during=%s", call);
    int waited = 0;
    for (; waited < 10000; waited += 5) {
        if (wide[0] != L'\0' && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(5);
    }
    Log(module, "BLOCK leave during=%s waited_ms=%d", call, waited);
}

} // namespace standin
