#include "platform/regular_file.h"

#include "platform/system_file.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cablemeter {

namespace {

const QString kDanglingLink =
    QStringLiteral("it is a link to a file that does not exist; nothing was written there");

QString typeOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("a special file");
}

// What the name leads to, by stat() alone: nothing is opened. Empty when it is a regular file,
// or (when `newNameAllowed`) nothing at all.
std::optional<QString> refusalByType(const QByteArray& name, bool newNameAllowed)
{
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        if (S_ISREG(status.st_mode))
            return std::nullopt;
        return notARegularFileReason(typeOf(status.st_mode));
    }
    const int error = errno;
    if (error != ENOENT || !newNameAllowed)
        return systemErrorText(unsigned(error));
    // A link whose target is missing would create that target, wherever it points.
    struct stat linkStatus {};
    if (::lstat(name.constData(), &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode))
        return kDanglingLink;
    return std::nullopt;
}

} // namespace

bool openRegularFile(QFile& file, const QString& path, FileOpening opening, QString& reason)
{
    const QByteArray name = QFile::encodeName(path);
    const bool writing = opening == FileOpening::ReadWriteCreate;
    if (const std::optional<QString> refusal = refusalByType(name, writing)) {
        reason = *refusal;
        return false;
    }
    constexpr mode_t kNewFileMode = 0666; // narrowed by the user's umask
    const int flags = (writing ? O_RDWR | O_CREAT : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int descriptor = ::open(name.constData(), flags, kNewFileMode);
    if (descriptor < 0) {
        reason = systemErrorText(unsigned(errno));
        return false;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = notARegularFileReason(typeOf(status.st_mode));
        ::close(descriptor);
        return false;
    }
    // Blocking or not makes no difference to a regular file; reads and writes are plain again.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    const QIODevice::OpenMode mode = writing ? QIODevice::ReadWrite : QIODevice::ReadOnly;
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(descriptor);
        return false;
    }
    return true;
}

std::optional<QString> refusalToReplace(const QString& path)
{
    return refusalByType(QFile::encodeName(path), true);
}

} // namespace cablemeter
