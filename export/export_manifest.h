#pragma once

#include <QString>
#include <QStringList>

namespace cablemeter {

// The list of files an export wrote into its folder, kept in the folder beside them and
// written last. It tells a later export that the folder holds an earlier one, and it is all
// that an export replacing it removes: nothing the user put in the folder is ever touched.
class ExportManifest {
public:
    static constexpr char kFileName[] = "cablemeter-export.txt";

    explicit ExportManifest(QString folder);

    QString path() const;
    // Whether the folder holds the list of an earlier export.
    bool earlierExportPresent() const;
    // The files of the earlier export that removeEarlierExport() removes, by their names in the
    // folder: those it listed that carry a name an export gives its files and are regular files.
    // False with `error` when its list cannot be read.
    bool earlierExportFiles(QStringList& fileNames, QString& error) const;
    // Removes those files, then the list itself. False with `error` when one cannot be removed.
    bool removeEarlierExport(int& removedFiles, QString& error) const;

    // A file this export has written, by its name in the folder.
    void add(const QString& fileName) { m_written.append(fileName); }
    const QStringList& written() const { return m_written; }
    // Writes the list of the files added so far; it never replaces a file already there.
    bool write(QString& error) const;
    // Removes the files added so far, for an export that does not complete. The names of those
    // that could not be removed are left in written().
    void removeWritten();

    // The names an export gives its files: pictures "slotNN-screen[-name].png|bmp" and the
    // tables. Anything else in a list is not ours and is left alone.
    static bool isExportFileName(const QString& fileName);

private:
    QString m_folder;
    QStringList m_written;
};

} // namespace cablemeter
