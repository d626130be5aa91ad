#include "platform/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial_path.h"

namespace {

int Port = -1;

// The other settings stay as the port had them; only what the device needs
// changes. Output goes out raw, so every byte reaches the wire as written, and
// CLOCAL keeps a missing carrier from ever holding up the port.
bool SetLine(int port) {
    termios line{};
    if (tcgetattr(port, &line) != 0) return false;
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL;
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (cfsetispeed(&line, B115200) != 0 || cfsetospeed(&line, B115200) != 0) return false;
    if (tcsetattr(port, TCSANOW, &line) != 0) return false;

    // tcsetattr succeeds when any part of the change took; the device needs
    // all of its part.
    termios applied{};
    if (tcgetattr(port, &applied) != 0) return false;
    constexpr tcflag_t kFrame = CSIZE | PARENB | CSTOPB | CRTSCTS;
    return (applied.c_cflag & kFrame) == CS8 && cfgetispeed(&applied) == B115200 &&
           cfgetospeed(&applied) == B115200;
}

void ClosePort(int port) {
    // The exclusive flag outlives our descriptor on a port that stays open
    // elsewhere (a pseudo-terminal's master); give it back.
    ioctl(port, TIOCNXCL);
    close(port);
}

} // namespace

bool OpenSerialPort(std::u16string_view portName) {
    CloseSerialPort();
    const std::optional<std::string> path = SerialDevicePath(portName);
    if (!path) return false;

    // Non-blocking, so neither the open nor a write can wait on a missing
    // carrier or a stalled device; writes bound their own wait.
    const int port = open(path->c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (port < 0) return false;

    // Only a terminal is a serial port. This also keeps writes from ever
    // raising SIGPIPE: terminals report a hang-up as an error, not a signal.
    if (!isatty(port)) {
        close(port);
        return false;
    }

    // Not shared with other openers. TIOCEXCL turns away later opens, but not
    // root's; the lock turns away anyone who asks for it, as this program
    // does. Where the system cannot lock a device, TIOCEXCL alone stands.
    if (flock(port, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN)) {
        close(port);
        return false;
    }
    ioctl(port, TIOCEXCL);

    if (!SetLine(port)) {
        ClosePort(port);
        return false;
    }

    // RTS held off. Cleared after the settings, since leaving speed 0 raises
    // it; a pseudo-terminal has no such line and refuses, which is fine.
    int rts = TIOCM_RTS;
    ioctl(port, TIOCMBIC, &rts);

    Port = port;
    return true;
}

void WriteSerialPort(std::string_view bytes) {
    if (Port < 0) return;

    // As long as a write may take: 10 ms + 100 ms per byte. Past that it gives
    // up quietly, with whatever part went out.
    using Clock = std::chrono::steady_clock;
    constexpr size_t kLongestCounted = 1'000'000'000;
    const auto allowed =
        std::chrono::milliseconds(10 + 100 * static_cast<int64_t>(std::min(bytes.size(), kLongestCounted)));
    const Clock::time_point deadline = Clock::now() + allowed;

    while (!bytes.empty()) {
        const ssize_t written = write(Port, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return; // hung up, gone, broken

        // The driver's buffer is full: wait for room until the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        pollfd wait{Port, POLLOUT, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        if ((wait.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
    }
}

void CloseSerialPort() {
    if (Port < 0) return;
    ClosePort(Port);
    Port = -1;
}
