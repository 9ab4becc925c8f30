#pragma once

#include "platform/system_file.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace cablemeter {

// A file written whole under a temporary name in the folder of the file it becomes, and put in
// place only by commit(), after its bytes are on the disk: nothing shorter than it should be
// ever shows under the name, and an earlier file stays as it was until then. The temporary file
// is created exclusively; a failure, discard() or the destructor removes it. A name that is a
// link to a file replaces the link's target, not the link; an existing file keeps its
// permissions. Reasons are the system's own, without the path.
class ReplacementFile {
public:
    enum class Existing {
        Replace, // an existing regular file this user may write is replaced
        Keep,    // nothing already under the name is ever replaced: commit() fails instead
    };

    explicit ReplacementFile(QString path, Existing existing = Existing::Replace);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Refuses a name that leads to anything but a regular file (or to nothing yet), then makes
    // the temporary file.
    bool open(QString& reason);
    // After a failed open(): the folder takes no new file from this user, though it may hold
    // files this user may write.
    bool folderTakesNoNewFile() const { return m_folderTakesNoNewFile; }

    // Sets aside room for `size` bytes before anything is written (see SystemFile::reserve).
    bool reserve(std::int64_t size, QString& reason);
    bool write(QByteArrayView bytes, QString& reason);
    // Syncs and closes the file and renames it into place, unless something other than a file
    // took the name meanwhile. After a failure nothing of it is left.
    bool commit(QString& reason);
    void discard();

private:
    QString m_path;
    QString m_target; // what m_path leads to
    QString m_temporaryPath;
    Existing m_existing;
    SystemFile m_file;
    std::int64_t m_written = 0;
    std::int64_t m_reserved = 0;
    bool m_folderTakesNoNewFile = false;
};

} // namespace cablemeter
