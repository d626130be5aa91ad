#include "platform/window.h"

#include <windows.h>

#include "monitor_window.h"
#include "wide_text.h"

namespace {

constexpr wchar_t kClassName[] = L"VomaMonitorWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
// Reported for a dispatched WM_NULL, whose own number would read as "none".
constexpr int32_t kNullMessageEvent = 0x10000;
// How long the new window must go without a message before it counts as
// settled, and the most that settling may take.
constexpr DWORD kSettleQuietMs = 30;
constexpr DWORD kSettleLimitMs = 300;

HWND Monitor = nullptr;
// Close requests the window got but the main loop has not heard of yet. The
// window stays up: the loop still has the stop commands to send.
int32_t PendingCloseRequests = 0;
// The window has had a WM_PAINT (and with it the erase of its background).
bool MonitorPainted = false;

LRESULT CALLBACK MonitorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        ++PendingCloseRequests;
        return 0;
    }
    if (message == WM_PAINT) MonitorPainted = true;
    return DefWindowProcW(window, message, wParam, lParam);
}

// The frame is drawn once, right after the window opens, and nothing draws it
// again. A desktop may expose a new window only some time after it was shown
// (X11 does, during a later message pump), and the erase that follows would
// wipe the frame. So the new window first gets its paint and whatever the
// desktop sends while mapping it: messages are handled until the window has
// been painted, has nothing left to paint and no message has come for a
// short while, or until the bound. A close request raised meanwhile is kept
// by the counter for the main loop.
void SettleMonitorWindow() {
    const DWORD start = GetTickCount();
    DWORD lastMessage = start;
    for (;;) {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            lastMessage = GetTickCount();
        }
        const DWORD now = GetTickCount();
        const bool quiet = now - lastMessage >= kSettleQuietMs;
        if ((MonitorPainted && quiet && !GetUpdateRect(Monitor, nullptr, FALSE)) ||
            now - start >= kSettleLimitMs)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kSettleQuietMs, QS_ALLINPUT);
    }
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
    SettleMonitorWindow();
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
