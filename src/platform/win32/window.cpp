#include "platform/window.h"

#include <windows.h>

#include "monitor_window.h"
#include "wide_text.h"

namespace {

constexpr wchar_t kClassName[] = L"VomaMonitorWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
// Reported for a dispatched WM_NULL, whose own number would read as "none".
constexpr int32_t kNullMessageEvent = 0x10000;

HWND Monitor = nullptr;
// Close requests the window got but the main loop has not heard of yet. The
// window stays up: the loop still has the stop commands to send.
int32_t PendingCloseRequests = 0;

LRESULT CALLBACK MonitorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        ++PendingCloseRequests;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

bool OpenMonitorWindow(std::u16string_view title, const WindowPlacement& placement) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MonitorProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    // The placement gives the client size; the frame is whatever this style
    // adds around it.
    RECT frame{0, 0, placement.clientWidth, placement.clientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const std::wstring wideTitle = ToWide(title);
    Monitor = CreateWindowExW(0, kClassName, wideTitle.c_str(), kStyle, placement.left, placement.top,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                              nullptr);
    if (Monitor == nullptr) return false;
    ShowWindow(Monitor, SW_SHOWNORMAL);
    UpdateWindow(Monitor);
    SetForegroundWindow(Monitor);
    SetActiveWindow(Monitor);
    return true;
}

int32_t PollEvent() {
    if (PendingCloseRequests > 0) {
        --PendingCloseRequests;
        return kCloseRequestEvent;
    }
    MSG msg{};
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    // A close request raised by this dispatch is reported by the next call.
    return msg.message == WM_NULL ? kNullMessageEvent : static_cast<int32_t>(msg.message);
}

void DestroyMonitorWindow() {
    if (Monitor == nullptr) return;
    DestroyWindow(Monitor);
    Monitor = nullptr;
}

HWND MonitorWindowHandle() { return Monitor; }
