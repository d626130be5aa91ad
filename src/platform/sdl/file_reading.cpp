#include "platform/file_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sdl_backend.h"

namespace {

int File = -1;

} // namespace

bool OpenReadFile(std::u16string_view name) {
    CloseReadFile();
    const std::string path = ToUtf8(name);
    // Non-blocking only for the open itself, so a FIFO of that name cannot
    // hang the start; anything but a regular file counts as missing, as a
    // directory does on Windows.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    File = fd;
    return true;
}

int32_t ReadFileBytes(uint8_t* buffer, int32_t capacity) {
    if (File < 0 || capacity < 0) return -1;
    for (;;) {
        const ssize_t count = read(File, buffer, static_cast<size_t>(capacity));
        if (count >= 0) return static_cast<int32_t>(count);
        if (errno != EINTR) return -1;
    }
}

void CloseReadFile() {
    if (File < 0) return;
    close(File);
    File = -1;
}
