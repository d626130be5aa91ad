// The floor for the native tick benchmark: pause 25 ms, write one fixed JOY
// line, again and again, for the given number of seconds. Nothing else.
//
//   bench-bare-loop-posix <tty path> <seconds>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 1;
    const long ticks = std::strtol(argv[2], nullptr, 10) * 40;
    static const char kLine[] = "JOY 0,0,0,0,0,0,0,0,0,0,0";
    for (long i = 0; i < ticks; ++i) {
        timespec pause{0, 25'000'000L};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
        if (write(fd, kLine, sizeof kLine - 1) < 0 && errno != EAGAIN) break;
    }
    close(fd);
    return 0;
}
