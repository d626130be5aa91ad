#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "control/device_link.h"
#include "platform/serial_port.h"
#include "serial_path.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::u16string Utf16(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// What a write may take by the rule of the port: 10 ms + 100 ms per byte.
milliseconds WriteBound(std::string_view message) {
    return milliseconds(10 + 100 * static_cast<int64_t>(message.size()));
}
// What scheduling under the sanitizers may add on top.
constexpr milliseconds kSlack{500};

// A pseudo-terminal standing in for the serial port: the program opens the
// slave side by its path, the test reads what arrives at the master.
struct PseudoTerminal {
    int master = -1;
    std::string slavePath;

    PseudoTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        const char* name = ptsname(master);
        if (name != nullptr) slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal() { CloseMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Ready() const { return master >= 0 && !slavePath.empty(); }
    std::u16string PortName() const { return u"COM" + Utf16(slavePath); }
    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }

    // The bytes that reach the master within `wait`, stopping early once
    // `want` of them are in.
    std::string Read(size_t want, milliseconds wait) const {
        std::string got;
        const Clock::time_point deadline = Clock::now() + wait;
        while (got.size() < want) {
            char chunk[4096];
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n > 0) {
                got.append(chunk, static_cast<size_t>(n));
                continue;
            }
            const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd wake{master, POLLIN, 0};
            poll(&wake, 1, static_cast<int>(left));
        }
        return got;
    }
    std::string ReadAll(milliseconds wait) const { return Read(SIZE_MAX, wait); }
};

// A terminal descriptor of the test's own on the slave side, for setting up
// and reading back the line, and for filling the output buffer.
struct SlaveSide {
    int fd;
    explicit SlaveSide(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~SlaveSide() {
        if (fd >= 0) close(fd);
    }
    SlaveSide(const SlaveSide&) = delete;
    SlaveSide& operator=(const SlaveSide&) = delete;

    termios Line() const {
        termios line{};
        tcgetattr(fd, &line);
        return line;
    }
    // Writes until the terminal takes no more: the master is never read.
    // Output goes raw, since a pseudo-terminal takes raw output past the room
    // it reports, up to its true limit.
    void Fill() const {
        termios line = Line();
        line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        tcsetattr(fd, TCSANOW, &line);
        const std::string chunk(4096, 'x');
        for (int round = 0; round < 1000; ++round) {
            size_t taken = 0;
            ssize_t n;
            while ((n = write(fd, chunk.data(), chunk.size())) > 0)
                taken += static_cast<size_t>(n);
            if (taken == 0) return;
            // Let the terminal pass what it can to the master's side, then top up.
            std::this_thread::sleep_for(milliseconds(20));
        }
    }
    bool Full() const { return write(fd, "x", 1) < 0 && errno == EAGAIN; }
};

// Whether another program asking for the port the way this one does would
// get it.
bool AnotherOpenerGetsIt(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return locked;
}

size_t OpenDescriptorCount() {
    size_t count = 0;
    if (DIR* dir = opendir("/dev/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

std::string TempDirectory() {
    std::string pattern = testing::TempDir() + "serial_port_test.XXXXXX";
    const char* made = mkdtemp(pattern.data());
    return made != nullptr ? std::string(made) : std::string();
}

class SerialPortTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Ready()) << "no pseudo-terminal: " << std::strerror(errno); }
    void TearDown() override { CloseSerialPort(); }

    PseudoTerminal pty;
};

TEST(SerialDevicePath, FromTheTypedText) {
    const std::pair<std::u16string, std::optional<std::string>> cases[] = {
        // COMn is the n-th serial line, counted from ttyS0.
        {u"COM1", "/dev/ttyS0"},
        {u"COM3", "/dev/ttyS2"},
        {u"COM12", "/dev/ttyS11"},
        {u"COM2147483647", "/dev/ttyS2147483646"},
        {u"COM0", std::nullopt},
        {u"COM03", std::nullopt},
        {u"COM2147483648", std::nullopt},
        {u"COM4294967297", std::nullopt},
        {u"COM99999999999999999999999999999999999999", std::nullopt},
        // A path is used as it is.
        {u"COM/dev/pts/4", "/dev/pts/4"},
        {u"COM/dev/serial/by-id/usb-1a86_0001", "/dev/serial/by-id/usb-1a86_0001"},
        {u"COM/tmp/../dev/ttyUSB0", "/tmp/../dev/ttyUSB0"},
        // Any other text is a name under /dev, but may not climb out of it.
        {u"COMttyUSB0", "/dev/ttyUSB0"},
        {u"COMttyACM0", "/dev/ttyACM0"},
        {u"COMpts/4", "/dev/pts/4"},
        {u"COMtty..1", "/dev/tty..1"},
        {u"COM3 ", "/dev/3 "},
        {u"COM-1", "/dev/-1"},
        {u"COM..", std::nullopt},
        {u"COM../etc/passwd", std::nullopt},
        {u"COMpts/../../etc/passwd", std::nullopt},
        {u"COMpts/..", std::nullopt},
        // Nothing typed names no port.
        {u"COM", std::nullopt},
        {u"", std::nullopt},
        // Text beyond ASCII becomes UTF-8; what no file name can hold names no port.
        {u"COMtty\u00E9", "/dev/tty\xC3\xA9"},
        {u"COM\u0663", "/dev/\xD9\xA3"},
        {u"COM/dev/\U0001F600", "/dev/\xF0\x9F\x98\x80"},
        {std::u16string(u"COMttyS0\0x", 10), std::nullopt},
        {std::u16string(u"COM/dev/ttyS0\0", 14), std::nullopt},
        {u"COMtty\xD800", std::nullopt},
        {u"COM\xDC00tty", std::nullopt},
        // A name without "COM" in front is the text itself.
        {u"/dev/ttyACM0", "/dev/ttyACM0"},
        {u"ttyUSB1", "/dev/ttyUSB1"},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(SerialDevicePath(name), path) << ToUtf8(name);
    }
}

TEST_F(SerialPortTest, OpensThePseudoTerminalByPathOrByNameUnderDev) {
    const std::string underDev = pty.slavePath.substr(std::string_view("/dev/").size());
    for (const std::u16string& name : {pty.PortName(), u"COM" + Utf16(underDev)}) {
        ASSERT_TRUE(OpenSerialPort(name)) << ToUtf8(name);
        WriteSerialPort("JOY 1");
        EXPECT_EQ(pty.Read(5, milliseconds(2000)), "JOY 1") << ToUtf8(name);
        CloseSerialPort();
    }
}

TEST_F(SerialPortTest, SetsTheDeviceLineAndKeepsEveryOtherSetting) {
    SlaveSide slave(pty.slavePath);
    ASSERT_GE(slave.fd, 0);
    // Start from a line that is wrong in every way the device cares about,
    // with marks in the settings the port must keep.
    termios before = slave.Line();
    before.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CLOCAL);
    before.c_cflag |= CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
    before.c_oflag |= OPOST | ONLCR;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    before.c_cc[VMIN] = 7;
    before.c_cc[VTIME] = 3;
    before.c_cc[VSTART] = 0x05;
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    ASSERT_EQ(tcsetattr(slave.fd, TCSANOW, &before), 0);
    before = slave.Line();
    // A pseudo-terminal always keeps 8 data bits and no parity; the rest
    // must have taken.
    ASSERT_EQ(before.c_cflag & (CSTOPB | CRTSCTS | CLOCAL), static_cast<tcflag_t>(CSTOPB | CRTSCTS));
    ASSERT_EQ(cfgetospeed(&before), static_cast<speed_t>(B9600));

    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    const termios after = slave.Line();

    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & PARENB, 0u);
    EXPECT_EQ(after.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(after.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);

    EXPECT_EQ(after.c_cflag & (HUPCL | CREAD), before.c_cflag & (HUPCL | CREAD));
    EXPECT_EQ(after.c_oflag, before.c_oflag & ~static_cast<tcflag_t>(OPOST));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    for (size_t i = 0; i < NCCS; ++i)
        EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << "control character " << i;
}

TEST_F(SerialPortTest, TheMessagesArriveByteForByteWithNothingAdded) {
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    const std::string joy = "JOY -1000,1000,0,0,0,0,129,0,0,0,0";
    WriteSerialPort(kStartCommand);
    WriteSerialPort(joy);
    WriteSerialPort(kStopCommand);
    WriteSerialPort(kStopCommand);

    const std::string expected = "RCBAPP=85 " + joy + "RCBAPP=0 RCBAPP=0 ";
    std::string got = pty.Read(expected.size(), milliseconds(2000));
    got += pty.ReadAll(milliseconds(100));
    EXPECT_EQ(got, expected);
}

TEST_F(SerialPortTest, IsNotSharedWithAnotherOpener) {
    // Someone else holds the port: it cannot be opened until they let go.
    {
        const int other = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(other, 0);
        ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
        EXPECT_FALSE(OpenSerialPort(pty.PortName()));
        close(other);
    }
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));

    // This program holds it: nobody else gets it until it is closed.
    EXPECT_FALSE(AnotherOpenerGetsIt(pty.slavePath));
    CloseSerialPort();
    EXPECT_TRUE(AnotherOpenerGetsIt(pty.slavePath));
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    EXPECT_FALSE(AnotherOpenerGetsIt(pty.slavePath));
}

TEST_F(SerialPortTest, AnOpenLetsGoOfThePortOpenBefore) {
    PseudoTerminal second;
    ASSERT_TRUE(second.Ready());

    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    ASSERT_TRUE(OpenSerialPort(second.PortName()));
    EXPECT_TRUE(AnotherOpenerGetsIt(pty.slavePath));
    WriteSerialPort(kStartCommand);
    EXPECT_EQ(second.Read(kStartCommand.size(), milliseconds(2000)), kStartCommand);
    EXPECT_EQ(pty.ReadAll(milliseconds(50)), "");

    // A failed open leaves no port open at all.
    EXPECT_FALSE(OpenSerialPort(u"COM/nonexistent/ttyS0"));
    EXPECT_TRUE(AnotherOpenerGetsIt(second.slavePath));
    WriteSerialPort(kStopCommand);
    EXPECT_EQ(second.ReadAll(milliseconds(50)), "");
}

TEST(SerialPort, RefusesWhatIsNoTerminalAndTouchesNothing) {
    const std::string dir = TempDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string file = dir + "/regular";
    const std::string fifo = dir + "/fifo";
    {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "before", 6), 6);
        close(fd);
        // An old time stamp, so that any write would show in it.
        const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const std::string paths[] = {file, fifo, dir, "/dev/null", dir + "/missing", "/dev/ttyS999999"};
    for (const std::string& path : paths) {
        const size_t openBefore = OpenDescriptorCount();
        EXPECT_FALSE(OpenSerialPort(u"COM" + Utf16(path))) << path;
        WriteSerialPort(kStartCommand);
        CloseSerialPort();
        EXPECT_EQ(OpenDescriptorCount(), openBefore) << path;
    }

    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, 6);
    EXPECT_EQ(after.st_mtim.tv_sec, 1'000'000'000);
    EXPECT_EQ(after.st_mtim.tv_nsec, 0);
    char content[16] = {};
    const int fd = open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read(fd, content, sizeof content), 6);
    close(fd);
    EXPECT_STREQ(content, "before");

    unlink(file.c_str());
    unlink(fifo.c_str());
    rmdir(dir.c_str());
}

TEST(SerialPort, WritingOrClosingWithNoPortOpenTouchesNothing) {
    // A descriptor number the port once had, now a file of someone else's.
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Ready());
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    CloseSerialPort();
    const std::string dir = TempDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/other";
    const int other = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(other, 0);

    WriteSerialPort(kStartCommand);
    CloseSerialPort();
    CloseSerialPort();

    EXPECT_NE(fcntl(other, F_GETFD), -1) << "a descriptor not the port's was closed";
    struct stat st {};
    EXPECT_EQ(fstat(other, &st), 0);
    EXPECT_EQ(st.st_size, 0);
    close(other);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST_F(SerialPortTest, WritesToAHungUpTerminalReturnWithinTheirBound) {
    // A terminal reports a hang-up as an error; a signal would end this test.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    pty.CloseMaster();

    for (std::string_view message : {kStartCommand, kStopCommand}) {
        const Clock::time_point start = Clock::now();
        WriteSerialPort(message);
        EXPECT_LT(Clock::now() - start, WriteBound(message) + kSlack) << message;
    }
    CloseSerialPort();
    std::signal(SIGPIPE, previous);
}

TEST_F(SerialPortTest, AWriteToAStalledTerminalGivesUpWithinItsBound) {
    SlaveSide slave(pty.slavePath);
    ASSERT_GE(slave.fd, 0);
    slave.Fill();
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    ASSERT_TRUE(slave.Full());

    const Clock::time_point start = Clock::now();
    WriteSerialPort(kStopCommand);
    EXPECT_LT(Clock::now() - start, WriteBound(kStopCommand) + kSlack);
}

TEST_F(SerialPortTest, AWriteWaitsForRoomWhileTheTerminalIsBrieflyStalled) {
    SlaveSide slave(pty.slavePath);
    ASSERT_GE(slave.fd, 0);
    slave.Fill();
    ASSERT_TRUE(OpenSerialPort(pty.PortName()));
    ASSERT_TRUE(slave.Full());

    // The device side starts reading again well inside the write's bound.
    std::string drained;
    std::thread reader([&] {
        std::this_thread::sleep_for(milliseconds(50));
        const Clock::time_point deadline = Clock::now() + milliseconds(3000);
        while (!std::string_view(drained).ends_with(kStartCommand) && Clock::now() < deadline)
            drained += pty.ReadAll(milliseconds(20));
    });
    const Clock::time_point start = Clock::now();
    WriteSerialPort(kStartCommand);
    const Clock::duration took = Clock::now() - start;
    reader.join();

    EXPECT_TRUE(std::string_view(drained).ends_with(kStartCommand));
    EXPECT_LT(took, WriteBound(kStartCommand) + kSlack);
}

} // namespace
