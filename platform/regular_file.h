#pragma once

#include <QString>

#include <optional>

class QFile;

namespace cablemeter {

// The program reads and writes plain files only: flash images, the catalogue file, dumps,
// exports and saved pictures. A device node, a FIFO, a socket or a folder under one of those
// names is refused before anything is read or written, and is left as it was. Links are
// followed: what counts is what the name leads to.

enum class FileOpening {
    ReadOnly,        // an existing file
    ReadWriteCreate, // an existing file, or a new one; never truncated
};

// Opens `path` into `file` when it leads to a regular file (or, for ReadWriteCreate, to nothing
// yet). Anything else is refused by its type before it is opened; what is opened is checked
// again on the open descriptor, which is opened without blocking, so a FIFO put in its place
// after the first check can neither block nor be used. False with `reason` (without the path)
// when refused or when the system says no.
bool openRegularFile(QFile& file, const QString& path, FileOpening opening, QString& reason);

// Why a complete new file must not be put in place of `path`: nothing when `path` leads to a
// regular file or to nothing yet; otherwise the reason (without the path). Asked before a
// file is written under a temporary name and again just before it replaces `path`.
std::optional<QString> refusalToReplace(const QString& path);

// The reason given for a name that leads to `what` ("a folder", "a socket") rather than to a
// regular file.
QString notARegularFileReason(const QString& what);

} // namespace cablemeter
