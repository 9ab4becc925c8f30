#include "platform/regular_file.h"

#include "platform/system_file.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace cablemeter {

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
        reason = notARegularFileReason(QStringLiteral("a device or a folder"));
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
        reason = notARegularFileReason(QStringLiteral("a folder"));
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
        return notARegularFileReason(QStringLiteral("a folder"));
    QString reason;
    const HANDLE handle = openDiskFile(path, 0, OPEN_EXISTING, reason);
    if (handle == INVALID_HANDLE_VALUE)
        return reason;
    CloseHandle(handle);
    return std::nullopt;
}

} // namespace cablemeter
