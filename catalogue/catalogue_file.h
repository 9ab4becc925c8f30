#pragma once

#include <QByteArray>
#include <QString>

namespace cablemeter {

// Writes the catalogue file as a write in place would leave it: its first bytes are the contents
// and anything an earlier, longer file held past them stays. The new file is written whole
// beside the earlier one and takes its place only when complete, so a failure leaves the earlier
// file as it was (and none where there was none). A link to a file has its target replaced.
// Only a regular file (or a new name) is written. Returns false with a message naming the full
// path and the system's reason when any step fails or the path leads to something else (a
// device, a FIFO, a folder).
bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error);

// Reads the 32 catalogue blocks back from a regular file. Returns false with a message naming the
// full path and the reason when the file is not a regular file, cannot be opened or read, or is
// too short to hold them.
bool readCatalogueBlocks(const QString& path, QByteArray& blocks, QString& error);

} // namespace cablemeter
