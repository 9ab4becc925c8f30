#include "catalogue/catalogue_file.h"

#include "catalogue/catalogue_layout.h"
#include "platform/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cablemeter {

namespace {

// The full path: the file goes to the current folder, which the user may not know.
QString describe(const QString& what, const QString& path, const QString& reason)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), reason);
}

} // namespace

bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error)
{
    const QString what = QStringLiteral("Cannot write");
    QFile file;
    QString reason;
    // Creates a missing file and never truncates an existing one.
    if (!openRegularFile(file, path, FileOpening::ReadWriteCreate, reason)) {
        error = describe(what, path, reason);
        return false;
    }
    // A freshly opened file stands at offset 0, so the catalogue overwrites the file's start.
    if (file.write(contents) != contents.size() || !file.flush()) {
        error = describe(what, path, file.errorString());
        return false;
    }
    // close() can still fail (a network share reporting a full disk late); it sets error().
    file.close();
    if (file.error() != QFileDevice::NoError) {
        error = describe(what, path, file.errorString());
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
