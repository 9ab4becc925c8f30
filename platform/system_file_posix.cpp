#include "platform/system_file.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cablemeter {

namespace {

// SystemFile keeps its file descriptor as a number wide enough for any system's handle.
int descriptorOf(std::intptr_t handle)
{
    return int(handle);
}

constexpr mode_t kNewFileMode = 0666; // narrowed by the user's umask
constexpr mode_t kPermissionBits = 0777;

SystemFile::OpenFailure failureOf(int error)
{
    switch (error) {
    case EEXIST:
        return SystemFile::OpenFailure::NameTaken;
    case EACCES:
    case EPERM:
        return SystemFile::OpenFailure::NotAllowed;
    default:
        return SystemFile::OpenFailure::Other;
    }
}

bool failWithErrno(QString& reason)
{
    reason = systemErrorText(unsigned(errno));
    return false;
}

bool failToOpen(SystemFile::OpenFailure& failure, QString& reason)
{
    failure = failureOf(errno);
    return failWithErrno(reason);
}

} // namespace

QString systemErrorText(unsigned long code)
{
    return QString::fromLocal8Bit(std::strerror(int(code)));
}

SystemFile::~SystemFile()
{
    if (isOpen())
        ::close(descriptorOf(m_handle));
}

bool SystemFile::createNew(const QString& path, QString& reason)
{
    // O_EXCL: a file, a link or anything else already under the name is never opened.
    m_handle = ::open(QFile::encodeName(path).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, kNewFileMode);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    return true;
}

bool SystemFile::openExisting(const QString& path, QString& reason)
{
    // Without blocking, so that a FIFO put under the name cannot hold the program.
    m_handle =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    const int descriptor = descriptorOf(m_handle);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        m_handle = kNoHandle;
        m_openFailure = OpenFailure::Other;
        reason = QStringLiteral("it is not a regular file");
        return false;
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool SystemFile::reserve(std::int64_t size, QString& reason)
{
    if (size <= 0)
        return true;
    // posix_fallocate() returns its error instead of setting errno.
    const int error = ::posix_fallocate(descriptorOf(m_handle), 0, off_t(size));
    if (error == 0 || error == EOPNOTSUPP || error == EINVAL)
        return true; // EOPNOTSUPP/EINVAL: this file system cannot reserve; writes are checked
    reason = systemErrorText(unsigned(error));
    return false;
}

bool SystemFile::write(QByteArrayView bytes, QString& reason)
{
    const char* next = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptorOf(m_handle), next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failWithErrno(reason);
        if (written == 0) { // a regular file takes nothing only when it has no room
            reason = systemErrorText(ENOSPC);
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

bool SystemFile::truncate(std::int64_t size, QString& reason)
{
    if (::ftruncate(descriptorOf(m_handle), off_t(size)) != 0)
        return failWithErrno(reason);
    return true;
}

bool SystemFile::sync(QString& reason)
{
    if (::fsync(descriptorOf(m_handle)) != 0)
        return failWithErrno(reason);
    return true;
}

bool SystemFile::close(QString& reason)
{
    const int descriptor = descriptorOf(m_handle);
    m_handle = kNoHandle;
    // Not repeated on EINTR: the descriptor is released either way on Linux.
    if (::close(descriptor) != 0 && errno != EINTR)
        return failWithErrno(reason);
    return true;
}

void SystemFile::takePermissionsOf(const QString& original)
{
    struct stat status {};
    if (::stat(QFile::encodeName(original).constData(), &status) != 0)
        return;
    // Only the administrator may give a file away; another user keeps the new file as theirs,
    // as a file saved anew would be. Neither is a write of the contents: failures are let go.
    const bool ownerKept = ::fchown(descriptorOf(m_handle), status.st_uid, status.st_gid) == 0 ||
                           ::fchown(descriptorOf(m_handle), uid_t(-1), status.st_gid) == 0;
    Q_UNUSED(ownerKept);
    ::fchmod(descriptorOf(m_handle), status.st_mode & kPermissionBits);
}

bool mayWriteExisting(const QString& path, QString& reason)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return failWithErrno(reason);
    return true;
}

bool moveIntoPlace(const QString& from, const QString& to, bool replace, QString& reason)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (replace) {
        if (::rename(source.constData(), target.constData()) != 0)
            return failWithErrno(reason);
        return true;
    }
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return failWithErrno(reason);
    // A file system that cannot refuse to replace: look first, then rename.
    struct stat status {};
    if (::lstat(target.constData(), &status) == 0) {
        reason = systemErrorText(EEXIST);
        return false;
    }
    if (::rename(source.constData(), target.constData()) != 0)
        return failWithErrno(reason);
    return true;
}

std::filesystem::path filesystemPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace cablemeter
