/* Preloaded into a test (or a program a test starts): makes files in one folder fail as on a full
 * disk, so that the program's handling of it can be tested without root. Set by the test:
 *   CABLEMETER_FAIL_FOLDER  the folder; only files below it are touched (none when unset)
 *   CABLEMETER_FAIL_CALL    "write" (the default): writes take CABLEMETER_FAIL_AFTER bytes in
 *                           all, the one that reaches the limit is cut short, every later one
 *                           fails; "fsync" or "close": writes succeed and that call fails, as a
 *                           network share that reports a full disk late does; "fallocate":
 *                           reserving room fails
 *   CABLEMETER_FAIL_AFTER   the bytes writes may take (0 when unset)
 * Every failure is ENOSPC. The count starts anew whenever the folder changes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static char countedFolder[PATH_MAX];
static long long bytesTaken;

/* Whether the descriptor is a file below the folder, and `call` is the one that fails. */
static int strikes(int descriptor, const char* call)
{
    const char* folder = getenv("CABLEMETER_FAIL_FOLDER");
    if (folder == NULL || folder[0] == '\0')
        return 0;
    const char* failingCall = getenv("CABLEMETER_FAIL_CALL");
    if (strcmp(failingCall != NULL ? failingCall : "write", call) != 0)
        return 0;
    if (strcmp(folder, countedFolder) != 0) {
        snprintf(countedFolder, sizeof countedFolder, "%s", folder);
        bytesTaken = 0;
    }
    char link[64];
    char path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';
    const size_t folderLength = strlen(folder);
    return strncmp(path, folder, folderLength) == 0 && path[folderLength] == '/';
}

/* How many of `size` bytes a write may take; -1 (ENOSPC) when none. */
static ssize_t allowedBytes(size_t size)
{
    const char* after = getenv("CABLEMETER_FAIL_AFTER");
    const long long limit = after != NULL ? atoll(after) : 0;
    const long long left = limit - bytesTaken;
    if (left <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const ssize_t allowed = (long long)size < left ? (ssize_t)size : (ssize_t)left;
    bytesTaken += allowed;
    return allowed;
}

static void* real(const char* name)
{
    return dlsym(RTLD_NEXT, name);
}

ssize_t write(int descriptor, const void* bytes, size_t size)
{
    typedef ssize_t (*Write)(int, const void*, size_t);
    static Write realWrite = NULL;
    if (realWrite == NULL)
        realWrite = (Write)real("write");
    if (size > 0 && strikes(descriptor, "write")) {
        const ssize_t allowed = allowedBytes(size);
        if (allowed < 0)
            return -1;
        return realWrite(descriptor, bytes, (size_t)allowed);
    }
    return realWrite(descriptor, bytes, size);
}

ssize_t pwrite64(int descriptor, const void* bytes, size_t size, off_t offset)
{
    typedef ssize_t (*PositionedWrite)(int, const void*, size_t, off_t);
    static PositionedWrite realWrite = NULL;
    if (realWrite == NULL)
        realWrite = (PositionedWrite)real("pwrite64");
    if (size > 0 && strikes(descriptor, "write")) {
        const ssize_t allowed = allowedBytes(size);
        if (allowed < 0)
            return -1;
        return realWrite(descriptor, bytes, (size_t)allowed, offset);
    }
    return realWrite(descriptor, bytes, size, offset);
}

ssize_t pwrite(int descriptor, const void* bytes, size_t size, off_t offset)
{
    return pwrite64(descriptor, bytes, size, offset);
}

int fsync(int descriptor)
{
    typedef int (*Sync)(int);
    static Sync realSync = NULL;
    if (realSync == NULL)
        realSync = (Sync)real("fsync");
    if (strikes(descriptor, "fsync")) {
        errno = ENOSPC;
        return -1;
    }
    return realSync(descriptor);
}

int close(int descriptor)
{
    typedef int (*Close)(int);
    static Close realClose = NULL;
    if (realClose == NULL)
        realClose = (Close)real("close");
    const int fails = strikes(descriptor, "close");
    const int closed = realClose(descriptor); /* the descriptor is released either way */
    if (fails) {
        errno = ENOSPC;
        return -1;
    }
    return closed;
}

int posix_fallocate64(int descriptor, off_t offset, off_t length)
{
    typedef int (*Reserve)(int, off_t, off_t);
    static Reserve realReserve = NULL;
    if (realReserve == NULL)
        realReserve = (Reserve)real("posix_fallocate64");
    if (strikes(descriptor, "fallocate"))
        return ENOSPC; /* returned, not set in errno */
    return realReserve(descriptor, offset, length);
}

int posix_fallocate(int descriptor, off_t offset, off_t length)
{
    return posix_fallocate64(descriptor, offset, length);
}

/* Tells a test that the shim is loaded. */
int cablemeter_write_failure_shim(void)
{
    return 1;
}
