#pragma once

#include <QByteArray>
#include <QString>

namespace cablemeter {

// Writes the catalogue file in place: an existing file is not truncated, its first bytes are
// overwritten with contents and anything past them stays. Returns false with a message naming the
// path and the system's reason when any step fails (open, write, flush or close).
bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error);

// Reads the 32 catalogue blocks back. Returns false with a message naming the path and the reason
// when the file cannot be opened or read, or is too short to hold them.
bool readCatalogueBlocks(const QString& path, QByteArray& blocks, QString& error);

} // namespace cablemeter
