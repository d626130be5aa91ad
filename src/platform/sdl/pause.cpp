#include "platform/pause.h"

#include <cerrno>
#include <ctime>

void PauseMilliseconds(int32_t milliseconds) {
    if (milliseconds <= 0) return;
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal cuts the sleep short; sleep on for what is left.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
