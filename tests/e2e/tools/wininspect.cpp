// Prints, as one JSON object, what another wine process shows on the desktop:
// every visible top-level window (class, caption, styles, frame and client
// placement, focus, default button) with its child controls, plus the
// button-face colour. The harness runs it next to the program under test.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Json(const wchar_t* text) {
    std::string out = "\"";
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        const unsigned c = static_cast<unsigned>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof(esc), "\\u%04x", c);
            out += esc;
        }
    }
    return out + "\"";
}

std::string Text(HWND hwnd) {
    wchar_t buffer[2048] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                             &copied))
        buffer[0] = L'\0';
    buffer[2047] = L'\0';
    return Json(buffer);
}

std::string ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    GetClassNameW(hwnd, name, 256);
    return Json(name);
}

std::string Handle(HWND hwnd) {
    char text[32];
    std::snprintf(text, sizeof(text), "\"%p\"", static_cast<void*>(hwnd));
    return text;
}

std::string Out;
bool FirstChild = true;

BOOL CALLBACK Child(HWND hwnd, LPARAM) {
    if (!FirstChild) Out += ",";
    FirstChild = false;
    char fields[256];
    std::snprintf(fields, sizeof(fields), "\"id\":%ld,\"style\":%lu,\"visible\":%d,\"enabled\":%d",
                  static_cast<long>(GetDlgCtrlID(hwnd)),
                  static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)), IsWindowVisible(hwnd) ? 1 : 0,
                  IsWindowEnabled(hwnd) ? 1 : 0);
    Out += "{\"hwnd\":" + Handle(hwnd) + ",\"class\":" + ClassOf(hwnd) + ",\"text\":" + Text(hwnd) + "," +
           fields;
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    if (lstrcmpiW(name, L"Edit") == 0) {
        DWORD start = 0, end = 0;
        SendMessageTimeoutW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end),
                            SMTO_ABORTIFHUNG, 2000, nullptr);
        std::snprintf(fields, sizeof(fields), ",\"sel\":[%lu,%lu]", start, end);
        Out += fields;
    }
    if (lstrcmpiW(name, L"Static") == 0 && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        DWORD_PTR icon = 0;
        SendMessageTimeoutW(hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
        Out += icon != 0 ? ",\"icon\":1" : ",\"icon\":0";
    }
    Out += "}";
    return TRUE;
}

bool FirstWindow = true;

BOOL CALLBACK TopLevel(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[64] = L"";
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpW(cls, L"Shell_TrayWnd") == 0) return TRUE;
    RECT frame{}, client{};
    GetWindowRect(hwnd, &frame);
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    GetGUIThreadInfo(tid, &gui);
    DWORD_PTR defId = 0;
    if (lstrcmpW(cls, L"#32770") == 0)
        SendMessageTimeoutW(hwnd, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &defId);
    char fields[512];
    std::snprintf(fields, sizeof(fields),
                  "\"pid\":%lu,\"style\":%lu,\"exstyle\":%lu,\"enabled\":%d,\"frame\":[%ld,%ld,%ld,%ld],"
                  "\"client_origin\":[%ld,%ld],\"client_size\":[%ld,%ld],\"foreground\":%d,\"active\":%d,"
                  "\"defid\":%lu,",
                  pid, static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
                  static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)),
                  IsWindowEnabled(hwnd) ? 1 : 0, frame.left, frame.top, frame.right, frame.bottom, origin.x,
                  origin.y, client.right, client.bottom, GetForegroundWindow() == hwnd ? 1 : 0,
                  gui.hwndActive == hwnd ? 1 : 0, static_cast<unsigned long>(defId));
    if (!FirstWindow) Out += ",";
    FirstWindow = false;
    Out += "{\"hwnd\":" + Handle(hwnd) + ",\"class\":" + ClassOf(hwnd) + ",\"title\":" + Text(hwnd) + "," +
           fields + "\"focus\":" + Handle(gui.hwndFocus) + ",\"children\":[";
    FirstChild = true;
    EnumChildWindows(hwnd, Child, 0);
    Out += "]}";
    return TRUE;
}

} // namespace

int main() {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    char head[96];
    std::snprintf(head, sizeof(head), "{\"btnface\":[%u,%u,%u],\"windows\":[", GetRValue(face),
                  GetGValue(face), GetBValue(face));
    Out = head;
    EnumWindows(TopLevel, 0);
    Out += "]}\n";
    std::fwrite(Out.data(), 1, Out.size(), stdout);
    return 0;
}
