// What the monitor drawing costs per tick through the real GDI backend: the
// dots and labels passes (DrawSticks) and the button row pass (DrawButtonRow),
// each timed with QueryPerformanceCounter over many ticks while the sticks
// sweep their fields. Started by joy_period.py; prints figures, judges none.
//
//   bench-drawing-cost.exe [ticks]
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "display/monitor_drawing.h"
#include "mapping/tables.h"
#include "monitor_window.h"
#include "platform/window.h"

namespace {

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

void Report(const char* name, const std::vector<double>& micros) {
    std::printf("%-22s median %7.1f us  p95 %7.1f us  p99 %7.1f us  mean %7.1f us\n", name,
                Percentile(micros, 0.5), Percentile(micros, 0.95), Percentile(micros, 0.99), Mean(micros));
}

void PumpMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const long ticks = std::max(10L, argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 5000L);
    if (!OpenMonitorWindow(u"drawing cost", WindowPlacement{100, 100, 330, 200})) return 2;
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const double microsPerCount = 1e6 / static_cast<double>(frequency.QuadPart);
    auto now = [] {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        return counter.QuadPart;
    };

    const int64_t frameStart = now();
    DrawStaticFrame();
    const double frameMicros = static_cast<double>(now() - frameStart) * microsPerCount;

    std::vector<double> sticks, buttons, total;
    sticks.reserve(static_cast<size_t>(ticks));
    buttons.reserve(static_cast<size_t>(ticks));
    total.reserve(static_cast<size_t>(ticks));
    for (long tick = -200; tick < ticks; ++tick) { // the first 200 warm up
        const auto t = static_cast<int32_t>(tick < 0 ? -tick : tick);
        ChannelSet.XL = (t * 37) % 2001 - 1000;
        ChannelSet.YL = (t * 53) % 2001 - 1000;
        ChannelSet.XD = (t * 71) % 2001 - 1000;
        ChannelSet.YD = (t * 89) % 2001 - 1000;
        const int64_t a = now();
        DrawSticks(25, 25, 128);
        const int64_t b = now();
        DrawButtonRow();
        const int64_t c = now();
        if (tick >= 0) {
            sticks.push_back(static_cast<double>(b - a) * microsPerCount);
            buttons.push_back(static_cast<double>(c - b) * microsPerCount);
            total.push_back(static_cast<double>(c - a) * microsPerCount);
        }
        if (tick % 50 == 0) PumpMessages();
    }
    std::printf("drawing, %ld ticks (no pause between them)\n", ticks);
    Report("DrawSticks (2 passes)", sticks);
    Report("DrawButtonRow", buttons);
    Report("all three passes", total);
    std::printf("%-22s %7.1f us, once\n", "DrawStaticFrame", frameMicros);
    std::fflush(stdout);
    DestroyMonitorWindow();
    return 0;
}
