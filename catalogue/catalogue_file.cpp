#include "catalogue/catalogue_file.h"

#include "catalogue/catalogue_layout.h"
#include "platform/regular_file.h"
#include "platform/replacement_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cablemeter {

namespace {

constexpr qint64 kCopyChunkSize = 64 * 1024;

// The full path: the file goes to the current folder, which the user may not know.
QString describe(const QString& what, const QString& path, const QString& reason)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), reason);
}

// Copies what the file at `path` holds past `offset` (nothing when it is shorter) to `copy`.
bool copyBytesPast(qint64 offset, const QString& path, ReplacementFile& copy, QString& reason)
{
    if (QFileInfo(path).size() <= offset)
        return true;
    QFile earlier;
    if (!openRegularFile(earlier, path, FileOpening::ReadOnly, reason))
        return false;
    if (!earlier.seek(offset)) {
        reason = earlier.errorString();
        return false;
    }
    for (;;) {
        const QByteArray chunk = earlier.read(kCopyChunkSize);
        if (earlier.error() != QFileDevice::NoError) {
            reason = earlier.errorString();
            return false;
        }
        if (chunk.isEmpty())
            return true;
        if (!copy.write(chunk, reason))
            return false;
    }
}

} // namespace

bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error)
{
    // Written whole beside the earlier file and renamed over it, so a failure leaves that file
    // as it was; its bytes past the catalogue are carried over, as a write in place keeps them.
    ReplacementFile file(path);
    QString reason;
    if (!file.open(reason) || !file.write(contents, reason) ||
        !copyBytesPast(contents.size(), path, file, reason) || !file.commit(reason)) {
        error = describe(QStringLiteral("Cannot write"), path, reason);
        return false;
    }
    return true;
}

bool readCatalogueBlocks(const QString& path, QByteArray& blocks, QString& error)
{
    const QString what = QStringLiteral("Cannot read");
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, FileOpening::ReadOnly, reason)) {
        error = describe(what, path, reason);
        return false;
    }
    const QByteArray read = file.read(kCatalogueBlocksSize);
    if (file.error() != QFileDevice::NoError) {
        error = describe(what, path, file.errorString());
        return false;
    }
    if (read.size() != kCatalogueBlocksSize) {
        error = describe(what, path,
                         QStringLiteral("the file holds %1 of the %2 bytes of the catalogue")
                             .arg(read.size())
                             .arg(kCatalogueBlocksSize));
        return false;
    }
    blocks = read;
    return true;
}

} // namespace cablemeter
