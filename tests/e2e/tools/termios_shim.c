/* LD_PRELOADed into wine: logs every tcsetattr on a terminal to the file
 * named by VOMA_TERMIOS_LOG, one line per call. A Linux pseudo-terminal
 * forces CS8 and no parity whatever is asked, so the shim also remembers what
 * was last asked of each terminal and answers tcgetattr with that, as a real
 * UART would; the requested settings are what the tests judge. The modem
 * lines (TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC) a pty does not have at all are
 * played by the shim on pty slaves too, starting with DTR and RTS up as after
 * opening a real port, and every change is logged: that is where "RTS held
 * off" shows. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

struct shadow {
    dev_t device;
    int has_settings;
    struct termios settings;
    int modem;
};

static struct shadow shadows[16];
static int shadow_count;

static struct shadow* find_shadow(int fd, int create) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return NULL;
    for (int i = 0; i < shadow_count; ++i)
        if (shadows[i].device == st.st_rdev) return &shadows[i];
    if (!create || shadow_count == 16) return NULL;
    shadows[shadow_count].device = st.st_rdev;
    shadows[shadow_count].has_settings = 0;
    shadows[shadow_count].modem = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    return &shadows[shadow_count++];
}

static unsigned long baud(speed_t code) {
    static const struct {
        speed_t code;
        unsigned long rate;
    } table[] = {
        {B0, 0},           {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},       {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},     {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400},   {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
        {B921600, 921600},
    };
    for (size_t i = 0; i < sizeof(table) / sizeof(table[0]); ++i)
        if (table[i].code == code) return table[i].rate;
    return (unsigned long)-1;
}

static void device_name(int fd, char* name, size_t capacity) {
    char link[64];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, name, capacity - 1);
    name[n > 0 ? n : 0] = '\0';
}

static void append_line(const char* line, int len) {
    const char* path = getenv("VOMA_TERMIOS_LOG");
    if (path == NULL || *path == '\0') return;
    int out = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0) return;
    if (write(out, line, (size_t)len) < 0) { /* nothing to do about it */
    }
    close(out);
}

static void log_call(int fd, int action, const struct termios* t, int result) {
    char name[256];
    device_name(fd, name, sizeof(name));
    int csize = 5 + (int)((t->c_cflag & CSIZE) == CS6) + 2 * (int)((t->c_cflag & CSIZE) == CS7) +
                3 * (int)((t->c_cflag & CSIZE) == CS8);
    char line[512];
    int len = snprintf(line, sizeof(line),
                       "tcsetattr pid=%d dev=%s action=%d result=%d ispeed=%lu ospeed=%lu csize=%d parenb=%d "
                       "parodd=%d cstopb=%d crtscts=%d clocal=%d cread=%d hupcl=%d ixon=%d ixoff=%d ixany=%d "
                       "iflag=0x%x oflag=0x%x cflag=0x%x lflag=0x%x\n",
                       (int)getpid(), name, action, result, baud(cfgetispeed(t)), baud(cfgetospeed(t)), csize,
                       !!(t->c_cflag & PARENB), !!(t->c_cflag & PARODD), !!(t->c_cflag & CSTOPB),
                       !!(t->c_cflag & CRTSCTS), !!(t->c_cflag & CLOCAL), !!(t->c_cflag & CREAD),
                       !!(t->c_cflag & HUPCL), !!(t->c_iflag & IXON), !!(t->c_iflag & IXOFF),
                       !!(t->c_iflag & IXANY), (unsigned)t->c_iflag, (unsigned)t->c_oflag,
                       (unsigned)t->c_cflag, (unsigned)t->c_lflag);
    append_line(line, len);
}

int tcsetattr(int fd, int action, const struct termios* t) {
    static int (*real)(int, int, const struct termios*);
    if (real == NULL) real = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
    int result = real(fd, action, t);
    if (t != NULL && isatty(fd)) {
        log_call(fd, action, t, result);
        struct shadow* s = result == 0 ? find_shadow(fd, 1) : NULL;
        if (s != NULL) {
            s->settings = *t;
            s->has_settings = 1;
        }
    }
    return result;
}

int tcgetattr(int fd, struct termios* t) {
    static int (*real)(int, struct termios*);
    if (real == NULL) real = (int (*)(int, struct termios*))dlsym(RTLD_NEXT, "tcgetattr");
    int result = real(fd, t);
    if (result == 0 && t != NULL) {
        struct shadow* s = find_shadow(fd, 0);
        if (s != NULL && s->has_settings) *t = s->settings;
    }
    return result;
}

static int is_pty_slave(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (real == NULL) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if ((request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) ||
        arg == NULL || !is_pty_slave(fd))
        return real(fd, request, arg);
    struct shadow* s = find_shadow(fd, 1);
    if (s == NULL) return real(fd, request, arg);
    int* bits = (int*)arg;
    const char* op = "TIOCMGET";
    if (request == TIOCMGET) {
        *bits = s->modem;
        return 0;
    }
    if (request == TIOCMSET) {
        s->modem = *bits;
        op = "TIOCMSET";
    }
    if (request == TIOCMBIS) {
        s->modem |= *bits;
        op = "TIOCMBIS";
    }
    if (request == TIOCMBIC) {
        s->modem &= ~*bits;
        op = "TIOCMBIC";
    }
    char name[256], line[384];
    device_name(fd, name, sizeof(name));
    int len = snprintf(line, sizeof(line), "modem pid=%d dev=%s op=%s rts=%d dtr=%d\n", (int)getpid(), name,
                       op, !!(s->modem & TIOCM_RTS), !!(s->modem & TIOCM_DTR));
    append_line(line, len);
    return 0;
}
