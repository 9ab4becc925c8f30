/* Preloaded into a test: records every TIOCSSERIAL request (the flags asked for) to the file named
 * by CABLEMETER_IOCTL_LOG, and plays a driver's serial flags for TIOCGSERIAL, since a
 * pseudo-terminal knows neither request. The flags the driver holds are kept in
 * CABLEMETER_IOCTL_FLAGS (hex, 0x0004 when unset), so a test can set them and read them back.
 * TIOCSSERIAL is refused as a pty refuses it, unless CABLEMETER_IOCTL_ACCEPT is 1: then the flags
 * asked for become the driver's. Everything else goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

/* The flags a driver has when the test says nothing; the program must keep them. */
enum { kReportedFlags = 0x0004 };

static const char* const kFlagsVariable = "CABLEMETER_IOCTL_FLAGS";

static int driverFlags(void)
{
    const char* text = getenv(kFlagsVariable);
    return text != NULL ? (int)strtol(text, NULL, 16) : kReportedFlags;
}

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
        settings->flags = driverFlags();
        return 0;
    }
    if (logPath != NULL && request == TIOCSSERIAL) {
        const struct serial_struct* settings = argument;
        FILE* log = fopen(logPath, "a");
        if (log != NULL) {
            fprintf(log, "TIOCSSERIAL flags=%x\n", (unsigned)settings->flags);
            fclose(log);
        }
        const char* accept = getenv("CABLEMETER_IOCTL_ACCEPT");
        if (accept != NULL && strcmp(accept, "1") == 0) {
            char flags[16];
            snprintf(flags, sizeof flags, "%x", (unsigned)settings->flags);
            setenv(kFlagsVariable, flags, 1);
            return 0;
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
