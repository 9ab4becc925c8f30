#include "catalogue/catalogue_file.h"

#include "catalogue/catalogue_layout.h"

#include <QFile>

namespace cablemeter {

namespace {

QString describe(const QString& what, const QString& path, const QString& reason)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, reason);
}

} // namespace

bool writeCatalogueFile(const QString& path, const QByteArray& contents, QString& error)
{
    const QString what = QStringLiteral("Cannot write");
    QFile file(path);
    // ReadWrite creates a missing file and, unlike WriteOnly, never truncates an existing one.
    if (!file.open(QIODevice::ReadWrite)) {
        error = describe(what, path, file.errorString());
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = describe(what, path, file.errorString());
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
