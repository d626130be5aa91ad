#include "fakes/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/dialogs.h"
#include "platform/drawing_service.h"
#include "platform/file_reading.h"
#include "platform/lifecycle.h"
#include "platform/pause.h"
#include "platform/serial_port.h"
#include "platform/window.h"

FakePlatform Fake;

void ResetFake() { Fake = FakePlatform{}; }

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {
void Record(std::string call) { Fake.calls.push_back(std::move(call)); }
size_t FileChunk = 0;
} // namespace

void InitPlatform() { Record("InitPlatform"); }
void TearDownPlatform() { Record("TearDownPlatform"); }

bool OpenSerialPort(std::u16string_view portName) {
    Record("OpenSerialPort " + Utf8(portName));
    return Fake.portOpens;
}
void WriteSerialPort(std::string_view bytes) {
    Record("Write " + std::string(bytes));
    Fake.written.emplace_back(bytes.begin(), bytes.end());
}
void CloseSerialPort() { Record("CloseSerialPort"); }

int32_t CountControllers() {
    Record("CountControllers");
    return Fake.controllerCount;
}
bool ReadControllerSnapshot(int32_t number, ControllerSnapshot& snapshot) {
    Record("Snapshot " + std::to_string(number));
    std::optional<ControllerSnapshot> answer = Fake.fallbackSnapshot;
    if (!Fake.snapshots.empty()) {
        answer = Fake.snapshots.front();
        Fake.snapshots.pop_front();
    }
    if (!answer) return false;
    snapshot = *answer;
    return true;
}
void ReleaseControllers() { Record("ReleaseControllers"); }

bool OpenMonitorWindow(std::u16string_view title, const WindowPlacement& p) {
    Record("OpenMonitorWindow " + Utf8(title) + " " + std::to_string(p.clientWidth) + "x" +
           std::to_string(p.clientHeight) + " at " + std::to_string(p.left) + "," + std::to_string(p.top));
    return Fake.windowOpens;
}
int32_t PollEvent() {
    if (++Fake.polls > 100000) throw std::runtime_error("the main loop never ended");
    int32_t event = 0;
    if (!Fake.events.empty()) {
        event = Fake.events.front();
        Fake.events.pop_front();
    }
    Record("Poll " + std::to_string(event));
    return event;
}

void ShowMessageBox(std::u16string_view title, std::u16string_view text) {
    Record("MessageBox " + Utf8(title) + " | " + Utf8(text));
}
std::u16string PromptForText(std::u16string_view title, std::u16string_view message,
                             std::u16string_view defaultText) {
    Record("Prompt " + Utf8(title) + " | " + Utf8(message) + " | " + Utf8(defaultText));
    return Fake.promptAnswer;
}

void PauseMilliseconds(int32_t milliseconds) {
    Record("Pause " + std::to_string(milliseconds));
    if (Fake.onPause) Fake.onPause(milliseconds);
}

bool OpenReadFile(std::u16string_view name) {
    Record("OpenReadFile " + Utf8(name));
    FileChunk = 0;
    return Fake.fileOpens;
}
int32_t ReadFileBytes(uint8_t* buffer, int32_t capacity) {
    if (FileChunk >= Fake.fileChunks.size()) return Fake.fileReadFailsAtEnd ? -1 : 0;
    std::vector<uint8_t>& chunk = Fake.fileChunks[FileChunk];
    const size_t n = std::min(chunk.size(), static_cast<size_t>(capacity));
    std::memcpy(buffer, chunk.data(), n);
    chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk.empty()) ++FileChunk;
    return static_cast<int32_t>(n);
}
void CloseReadFile() { Record("CloseReadFile"); }

namespace {
std::string Text(Rgb c) {
    return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
}
void Draw(std::string op) {
    if (!Fake.inPass) op += " outside a pass";
    Fake.drawing.push_back(std::move(op));
}
} // namespace

int32_t BeginWindowDrawing() {
    int32_t answer = 1;
    if (!Fake.beginAnswers.empty()) {
        answer = Fake.beginAnswers.front();
        Fake.beginAnswers.pop_front();
    }
    if (Fake.inPass) Fake.drawing.push_back("Begin inside a pass");
    Record(answer != 0 ? "BeginWindowDrawing" : "BeginWindowDrawing failed");
    Fake.drawing.push_back(answer != 0 ? "Begin" : "Begin failed");
    Fake.inPass = answer != 0;
    Fake.mode = kDrawModeDefault;
    Fake.colour = Rgb{255, 255, 255};
    return answer;
}
void EndWindowDrawing() {
    Record("EndWindowDrawing");
    Draw("End");
    Fake.inPass = false;
}
void SetDrawColour(Rgb colour) { Fake.colour = colour; }
void SetDrawMode(int32_t flags) { Fake.mode = flags; }
void DrawRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    Draw("Rect " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
         std::to_string(height) + ((Fake.mode & kDrawModeOutlined) != 0 ? " outlined " : " filled ") +
         Text(Fake.colour));
}
void DrawDisc(int32_t x, int32_t y, int32_t radius, Rgb colour) {
    Draw("Disc " + std::to_string(x) + "," + std::to_string(y) + " r" + std::to_string(radius) + " " +
         Text(colour));
}
void DrawString(int32_t x, int32_t y, std::u16string_view text, Rgb colour) {
    Draw("String " + std::to_string(x) + "," + std::to_string(y) + " '" + Utf8(text) + "' " + Text(colour) +
         ((Fake.mode & kDrawModeTransparentText) != 0 ? " transparent" : " opaque"));
}
int32_t StringWidth(std::u16string_view text) { return Fake.charWidth * static_cast<int32_t>(text.size()); }
int32_t StringHeight(std::u16string_view) { return Fake.cellHeight; }
