#include "platform/regular_file.h"

#include "platform/system_file.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cablemeter {

namespace {

QString notARegularFile(const QString& what)
{
    return QStringLiteral("it is %1, not a regular file; nothing was read or written there")
        .arg(what);
}

const QString kDanglingLink =
    QStringLiteral("it is a link to a file that does not exist; nothing was written there");

} // namespace

#ifdef Q_OS_WIN

namespace {

// Windows opens these names as devices in any folder and with any extension ("nul.txt").
bool isReservedDeviceName(const QString& path)
{
    static const QStringList plainNames = {QStringLiteral("CON"),    QStringLiteral("PRN"),
                                           QStringLiteral("AUX"),    QStringLiteral("NUL"),
                                           QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    constexpr int kNumberedPorts = 9;
    const QString stem =
        QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    if (plainNames.contains(stem))
        return true;
    for (int n = 1; n <= kNumberedPorts; ++n) {
        if (stem == QStringLiteral("COM%1").arg(n) || stem == QStringLiteral("LPT%1").arg(n))
            return true;
    }
    return false;
}

const QString kReservedName =
    QStringLiteral("Windows reserves this name for a device; nothing was read or written there");

// Opens the name with the given access; a handle that is not a file on a disk is closed and
// refused.
HANDLE openDiskFile(const QString& path, DWORD access, DWORD disposition, QString& reason)
{
    const std::wstring name = QFileInfo(path).absoluteFilePath().toStdWString();
    HANDLE handle =
        CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = systemErrorText(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        reason = notARegularFile(QStringLiteral("a device or a folder"));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

} // namespace

bool openRegularFile(QFile& file, const QString& path, FileOpening opening, QString& reason)
{
    if (isReservedDeviceName(path)) {
        reason = kReservedName;
        return false;
    }
    const DWORD attributes =
        GetFileAttributesW(QFileInfo(path).absoluteFilePath().toStdWString().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = notARegularFile(QStringLiteral("a folder"));
        return false;
    }
    const bool writing = opening == FileOpening::ReadWriteCreate;
    const HANDLE handle = openDiskFile(path, writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                       writing ? OPEN_ALWAYS : OPEN_EXISTING, reason);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                           (writing ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        reason = QStringLiteral("the file could not be opened");
        return false;
    }
    const QIODevice::OpenMode mode = writing ? QIODevice::ReadWrite : QIODevice::ReadOnly;
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        _close(descriptor);
        reason = file.errorString();
        return false;
    }
    return true;
}

std::optional<QString> refusalToReplace(const QString& path)
{
    if (isReservedDeviceName(path))
        return kReservedName;
    const DWORD attributes =
        GetFileAttributesW(QFileInfo(path).absoluteFilePath().toStdWString().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt; // a new name
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return notARegularFile(QStringLiteral("a folder"));
    QString reason;
    const HANDLE handle = openDiskFile(path, 0, OPEN_EXISTING, reason);
    if (handle == INVALID_HANDLE_VALUE)
        return reason;
    CloseHandle(handle);
    return std::nullopt;
}

#else

namespace {

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
        return notARegularFile(typeOf(status.st_mode));
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
        reason = notARegularFile(typeOf(status.st_mode));
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

#endif

} // namespace cablemeter
