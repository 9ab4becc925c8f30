/* Preloaded into a test: records every TIOCSSERIAL request (the flags asked for) to the file named
 * by CABLEMETER_IOCTL_LOG, and answers TIOCGSERIAL with fixed flags so that the program goes on to
 * ask, since a pseudo-terminal knows neither request. Everything else goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

/* The flags the recorder reports a driver to have; the program must keep them. */
enum { kReportedFlags = 0x0004 };

int ioctl(int descriptor, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    const char* logPath = getenv("CABLEMETER_IOCTL_LOG");
    if (logPath != NULL && request == TIOCGSERIAL) {
        struct serial_struct* settings = argument;
        memset(settings, 0, sizeof *settings);
        settings->flags = kReportedFlags;
        return 0;
    }
    if (logPath != NULL && request == TIOCSSERIAL) {
        const struct serial_struct* settings = argument;
        FILE* log = fopen(logPath, "a");
        if (log != NULL) {
            fprintf(log, "TIOCSSERIAL flags=%x\n", (unsigned)settings->flags);
            fclose(log);
        }
        errno = ENOTTY; /* as a pty answers */
        return -1;
    }
    typedef int (*RealIoctl)(int, unsigned long, ...);
    static RealIoctl real = NULL;
    if (real == NULL)
        real = (RealIoctl)dlsym(RTLD_NEXT, "ioctl");
    return real(descriptor, request, argument);
}
