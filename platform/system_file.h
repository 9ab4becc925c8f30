#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>

namespace cablemeter {

// One file opened for writing straight through the system's calls, so that every write, sync
// and close is checked and a failure carries the system's own reason ("No space left on
// device"), taken from the call that failed. Closed (unchecked) by the destructor when close()
// was not called. Reasons never name the path.
class SystemFile {
public:
    // Why opening failed, where the caller acts on it.
    enum class OpenFailure {
        None,
        NameTaken,  // createNew(): something already has the name
        NotAllowed, // the folder or the file may not be written by this user
        Other,
    };

    SystemFile() = default;
    ~SystemFile();
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    // Creates a new regular file, never opening anything already there; it gets the permissions
    // a new file gets (0666 narrowed by the umask).
    bool createNew(const QString& path, QString& reason);
    // Opens an existing regular file for writing without truncating it.
    bool openExisting(const QString& path, QString& reason);
    OpenFailure openFailure() const { return m_openFailure; }
    bool isOpen() const;

    // Sets aside `size` bytes on the disk from offset 0, without changing the bytes already
    // there, so that a disk without room says so before anything is written. A file system that
    // cannot reserve space is not a failure: its writes are checked all the same.
    bool reserve(std::int64_t size, QString& reason);
    // Writes all the bytes at the current position; a short write is continued, and the error
    // that stops it is the reason.
    bool write(QByteArrayView bytes, QString& reason);
    bool truncate(std::int64_t size, QString& reason);
    // Waits until the bytes are on the disk, where a disk that filled late still says so.
    bool sync(QString& reason);
    bool close(QString& reason);

    // Gives the file the permission bits, and where this user may the owner, of `original`.
    void takePermissionsOf(const QString& original);

private:
    // The open file's handle, kept as a number so that one header serves every system: a file
    // descriptor, or a Windows HANDLE. Both systems mean "none" by -1 (INVALID_HANDLE_VALUE).
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t m_handle = kNoHandle;
    OpenFailure m_openFailure = OpenFailure::None;
};

// The system's text for an error code (errno, or GetLastError() on Windows).
QString systemErrorText(unsigned long code);

// Whether this user may write the existing file `path`; the reason when not.
bool mayWriteExisting(const QString& path, QString& reason);

// `path` as std::filesystem takes it: wide characters on Windows, the bytes of
// QFile::encodeName() elsewhere.
std::filesystem::path filesystemPath(const QString& path);

// Makes the folder `path` and those missing above it; an existing folder is fine. False with the
// system's reason when one cannot be made.
bool makeFolders(const QString& path, QString& reason);

// Renames a complete file into place. With `replace` false an existing file of the new name is
// never replaced and the rename fails instead.
bool moveIntoPlace(const QString& from, const QString& to, bool replace, QString& reason);

} // namespace cablemeter
