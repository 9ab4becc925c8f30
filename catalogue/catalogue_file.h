#pragma once

#include <QByteArray>
#include <QString>

namespace cablemeter {

// Writes the catalogue file in place: an existing file is not truncated, its first bytes are
// overwritten with contents and anything past them stays. Only a regular file (or a new name) is
// written. Returns false with a message naming the full path and the reason when any step fails
// (open, write, flush or close) or the path leads to something else (a device, a FIFO, a folder).
bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error);

// Reads the 32 catalogue blocks back from a regular file. Returns false with a message naming the
// full path and the reason when the file is not a regular file, cannot be opened or read, or is
// too short to hold them.
bool readCatalogueBlocks(const QString& path, QByteArray& blocks, QString& error);

} // namespace cablemeter
