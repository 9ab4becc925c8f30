#include "platform/system_file.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace cablemeter {

#ifdef Q_OS_WIN

namespace {

// A single WriteFile moves at most this much; larger writes are split.
constexpr std::int64_t kLargestWrite = 1 << 30;

std::wstring nativeName(const QString& path)
{
    return QFileInfo(path).absoluteFilePath().toStdWString();
}

SystemFile::OpenFailure failureOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return SystemFile::OpenFailure::NameTaken;
    case ERROR_ACCESS_DENIED:
        return SystemFile::OpenFailure::NotAllowed;
    default:
        return SystemFile::OpenFailure::Other;
    }
}

bool failWithLastError(QString& reason)
{
    reason = systemErrorText(GetLastError());
    return false;
}

bool failToOpen(SystemFile::OpenFailure& failure, QString& reason)
{
    failure = failureOf(GetLastError());
    return failWithLastError(reason);
}

} // namespace

QString systemErrorText(unsigned long code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString reason =
        text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    LocalFree(text);
    return reason;
}

SystemFile::~SystemFile()
{
    if (isOpen())
        CloseHandle(m_handle);
}

bool SystemFile::isOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE;
}

bool SystemFile::createNew(const QString& path, QString& reason)
{
    m_handle = CreateFileW(nativeName(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    return true;
}

bool SystemFile::openExisting(const QString& path, QString& reason)
{
    m_handle = CreateFileW(nativeName(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    if (GetFileType(m_handle) != FILE_TYPE_DISK) {
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        m_openFailure = OpenFailure::Other;
        reason = QStringLiteral("it is not a regular file");
        return false;
    }
    return true;
}

bool SystemFile::reserve(std::int64_t size, QString& reason)
{
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = size;
    if (SetFileInformationByHandle(m_handle, FileAllocationInfo, &allocation, sizeof allocation))
        return true;
    const DWORD code = GetLastError();
    if (code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED)
        return true; // this file system cannot reserve: the writes are checked instead
    reason = systemErrorText(code);
    return false;
}

bool SystemFile::write(QByteArrayView bytes, QString& reason)
{
    const char* next = bytes.data();
    std::int64_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min(left, kLargestWrite));
        if (!WriteFile(m_handle, next, chunk, &written, nullptr))
            return failWithLastError(reason);
        if (written == 0) {
            reason = systemErrorText(ERROR_DISK_FULL);
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

bool SystemFile::truncate(std::int64_t size, QString& reason)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(m_handle, FileEndOfFileInfo, &end, sizeof end))
        return failWithLastError(reason);
    return true;
}

bool SystemFile::sync(QString& reason)
{
    if (!FlushFileBuffers(m_handle))
        return failWithLastError(reason);
    return true;
}

bool SystemFile::close(QString& reason)
{
    const HANDLE handle = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle))
        return failWithLastError(reason);
    return true;
}

void SystemFile::takePermissionsOf(const QString& original)
{
    // Windows gives a new file its folder's inherited access rules, as it gave the original.
    Q_UNUSED(original);
}

bool mayWriteExisting(const QString& path, QString& reason)
{
    const DWORD attributes = GetFileAttributesW(nativeName(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        reason = systemErrorText(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

bool moveIntoPlace(const QString& from, const QString& to, bool replace, QString& reason)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(nativeName(from).c_str(), nativeName(to).c_str(), flags))
        return failWithLastError(reason);
    return true;
}

#else

namespace {

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
        ::close(m_descriptor);
}

bool SystemFile::isOpen() const
{
    return m_descriptor >= 0;
}

bool SystemFile::createNew(const QString& path, QString& reason)
{
    // O_EXCL: a file, a link or anything else already under the name is never opened.
    m_descriptor = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, kNewFileMode);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    return true;
}

bool SystemFile::openExisting(const QString& path, QString& reason)
{
    // Without blocking, so that a FIFO put under the name cannot hold the program.
    m_descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(m_descriptor);
        m_descriptor = -1;
        m_openFailure = OpenFailure::Other;
        reason = QStringLiteral("it is not a regular file");
        return false;
    }
    ::fcntl(m_descriptor, F_SETFL, ::fcntl(m_descriptor, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool SystemFile::reserve(std::int64_t size, QString& reason)
{
    if (size <= 0)
        return true;
    // posix_fallocate() returns its error instead of setting errno.
    const int error = ::posix_fallocate(m_descriptor, 0, off_t(size));
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
        const ssize_t written = ::write(m_descriptor, next, size_t(left));
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
    if (::ftruncate(m_descriptor, off_t(size)) != 0)
        return failWithErrno(reason);
    return true;
}

bool SystemFile::sync(QString& reason)
{
    if (::fsync(m_descriptor) != 0)
        return failWithErrno(reason);
    return true;
}

bool SystemFile::close(QString& reason)
{
    const int descriptor = m_descriptor;
    m_descriptor = -1;
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
    const bool ownerKept = ::fchown(m_descriptor, status.st_uid, status.st_gid) == 0 ||
                           ::fchown(m_descriptor, uid_t(-1), status.st_gid) == 0;
    Q_UNUSED(ownerKept);
    ::fchmod(m_descriptor, status.st_mode & kPermissionBits);
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

#endif

bool makeFolders(const QString& path, QString& reason)
{
#ifdef Q_OS_WIN
    const std::filesystem::path folder(path.toStdWString());
#else
    const std::filesystem::path folder(QFile::encodeName(path).toStdString());
#endif
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error)
        return true;
    reason = QString::fromLocal8Bit(error.message());
    return false;
}

} // namespace cablemeter
