#include "platform/system_file.h"

#include <QFileInfo>

#include <windows.h>

#include <algorithm>

namespace cablemeter {

namespace {

// SystemFile keeps its HANDLE as a number.
HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t heldAs(HANDLE handle)
{
    return reinterpret_cast<std::intptr_t>(handle);
}

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
        CloseHandle(handleOf(m_handle));
}

bool SystemFile::createNew(const QString& path, QString& reason)
{
    m_handle = heldAs(CreateFileW(nativeName(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    return true;
}

bool SystemFile::openExisting(const QString& path, QString& reason)
{
    m_handle = heldAs(CreateFileW(nativeName(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!isOpen())
        return failToOpen(m_openFailure, reason);
    if (GetFileType(handleOf(m_handle)) != FILE_TYPE_DISK) {
        CloseHandle(handleOf(m_handle));
        m_handle = kNoHandle;
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
    if (SetFileInformationByHandle(handleOf(m_handle), FileAllocationInfo, &allocation,
                                   sizeof allocation))
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
        if (!WriteFile(handleOf(m_handle), next, chunk, &written, nullptr))
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
    if (!SetFileInformationByHandle(handleOf(m_handle), FileEndOfFileInfo, &end, sizeof end))
        return failWithLastError(reason);
    return true;
}

bool SystemFile::sync(QString& reason)
{
    if (!FlushFileBuffers(handleOf(m_handle)))
        return failWithLastError(reason);
    return true;
}

bool SystemFile::close(QString& reason)
{
    const HANDLE handle = handleOf(m_handle);
    m_handle = kNoHandle;
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

std::filesystem::path filesystemPath(const QString& path)
{
    return std::filesystem::path(path.toStdWString());
}

} // namespace cablemeter
