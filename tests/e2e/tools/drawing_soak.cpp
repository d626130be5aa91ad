// Runs the monitor drawing through the real GDI backend for many ticks and
// prints, one key=value a line, what it did to the process's GDI objects:
//
//   e2e-drawing-soak.exe <ticks>
//
// A pen, brush or device context left behind per pass would show three ways:
// in the backend's own count of live pens and brushes, in the GDI object count
// Windows keeps per process (where wine reports it), and in how many more
// objects the process can still create before the handle table is full. A
// leak that fills the table makes creation fail, and shapes silently go
// missing, so the picture is also read back at intervals.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "display/monitor_drawing.h"
#include "drawing_objects.h"
#include "mapping/tables.h"
#include "monitor_window.h"
#include "platform/drawing_service.h"
#include "platform/window.h"

namespace {

constexpr int32_t kCheckEvery = 500;
constexpr size_t kHeadroomCap = 200000;

// How many more pens the process can create right now; all are deleted again.
size_t GdiHeadroom() {
    std::vector<HPEN> pens;
    pens.reserve(kHeadroomCap);
    while (pens.size() < kHeadroomCap) {
        const HPEN pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(pens.size() & 0xFFFFFF));
        if (pen == nullptr) break;
        pens.push_back(pen);
    }
    for (HPEN pen : pens)
        DeleteObject(pen);
    return pens.size();
}

DWORD GdiObjectCount() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

// A triangle wave over -1100..1100: the dots sweep their whole fields and a
// little beyond, where they are clipped.
int32_t Sweep(int32_t tick, int32_t period, int32_t phase) {
    const int32_t t = (tick + phase) % period;
    const int32_t half = period / 2;
    const int32_t up = t < half ? t : period - t;
    return -1100 + up * 2200 / half;
}

void PumpMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PixelIs(HDC dc, int x, int y, COLORREF expected) { return GetPixel(dc, x, y) == expected; }

// The current dots where the formula puts them and lamp 1 grey: what the
// last tick must have drawn if its pens and brushes could be made.
bool PictureIsRight() {
    const HDC dc = GetDC(MonitorWindowHandle());
    if (dc == nullptr) return false;
    bool right = true;
    if (PrevLeftDot.x >= 0 && PrevLeftDot.x < 326 && PrevLeftDot.y >= 0 && PrevLeftDot.y < 196)
        right = right && PixelIs(dc, PrevLeftDot.x + 2, PrevLeftDot.y + 2, RGB(0, 255, 0));
    if (PrevRightDot.x >= 0 && PrevRightDot.x < 326 && PrevRightDot.y >= 0 && PrevRightDot.y < 196)
        right = right && PixelIs(dc, PrevRightDot.x + 2, PrevRightDot.y + 2, RGB(255, 0, 0));
    right = right && PixelIs(dc, 3, 10, RGB(128, 128, 128)); // lamp 1, left of its number
    ReleaseDC(MonitorWindowHandle(), dc);
    return right;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long ticks = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 20000;

    // Without a window a pass cannot begin, and nothing is made for it.
    std::printf("begin_without_window=%d\n", static_cast<int>(BeginWindowDrawing()));
    DrawStaticFrame();
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    std::printf("live_without_window=%d\n", static_cast<int>(LiveDrawingObjects()));

    if (!OpenMonitorWindow(u"drawing soak", WindowPlacement{100, 100, 330, 200})) {
        std::printf("window=0\n");
        return 2;
    }
    DrawStaticFrame();
    DrawSticks(25, 25, 128);
    DrawButtonRow();
    PumpMessages();

    const DWORD gdiStart = GdiObjectCount();
    const size_t headroomStart = GdiHeadroom();
    DWORD gdiMin = gdiStart, gdiMax = gdiStart;
    long liveAfterTick = 0, wrongPictures = 0;
    for (long tick = 1; tick <= ticks; ++tick) {
        const auto t = static_cast<int32_t>(tick);
        ChannelSet.XL = Sweep(t, 400, 0);
        ChannelSet.YL = Sweep(t, 310, 70);
        ChannelSet.XD = Sweep(t, 270, 20);
        ChannelSet.YD = Sweep(t, 530, 200);
        DrawSticks(25, 25, 128);
        DrawButtonRow();
        if (LiveDrawingObjects() != 0) ++liveAfterTick;
        if (tick % kCheckEvery == 0) {
            DrawStaticFrame();
            if (LiveDrawingObjects() != 0) ++liveAfterTick;
            PumpMessages();
            const DWORD gdi = GdiObjectCount();
            gdiMin = gdi < gdiMin ? gdi : gdiMin;
            gdiMax = gdi > gdiMax ? gdi : gdiMax;
            DrawSticks(25, 25, 128); // the frame went over the dots
            DrawButtonRow();
            if (!PictureIsRight()) ++wrongPictures;
        }
    }
    const DWORD gdiEnd = GdiObjectCount();
    const size_t headroomEnd = GdiHeadroom();

    std::printf("ticks=%ld\n", ticks);
    std::printf("live_after_tick=%ld\n", liveAfterTick);
    std::printf("wrong_pictures=%ld\n", wrongPictures);
    std::printf("gdi_objects_start=%lu\ngdi_objects_end=%lu\ngdi_objects_min=%lu\ngdi_objects_max=%lu\n",
                gdiStart, gdiEnd, gdiMin, gdiMax);
    std::printf("headroom_start=%zu\nheadroom_end=%zu\n", headroomStart, headroomEnd);
    std::fflush(stdout);
    DestroyMonitorWindow();
    return 0;
}
