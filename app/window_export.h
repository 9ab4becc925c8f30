#pragma once

#include "app/menu_task.h"

#include <QString>

#include <optional>

namespace cablemeter {

class FileDialog;
class PageReader;
class WindowControls;
struct ExportResult;

// The record list's "Export all records...": asks for a folder, reads every record through the
// link as Read does (each page once), with progress in the progress bar and the status line,
// and writes there what `cablemeter-cli export` writes: a PNG picture of every record with a
// screen, records.csv, points.csv and their list. An earlier export in the folder is replaced
// only when the user says Yes; an export that does not complete removes what it wrote. The
// window's picture, its list and the catalogue file are left alone.
class WindowExport {
public:
    // programFolder: where the screens' background is looked up, as for the window's screens.
    WindowExport(FileDialog& dialog, WindowControls& controls, PageReader& reader,
                 QString programFolder, MenuTask::TellDone tellDone);

    // The folder written, or nothing when the user cancelled or it failed (the user was told why).
    std::optional<QString> exportAll();
    // Esc or Quit: the reading under way ends and what was written is removed. The caller also
    // cancels the link's wait.
    void cancel() { m_task.cancel(); }
    bool isRunning() const { return m_task.isRunning(); }

private:
    // Whether the export may go into the folder: yes when it holds no earlier export, or when the
    // user agrees to replace it.
    bool mayWriteInto(const QString& folder, bool& replaceEarlierExport);
    void tellWritten(const ExportResult& result, const QString& folder);
    void tellNotWritten(const ExportResult& result, const QString& folder);

    FileDialog& m_dialog;
    WindowControls& m_controls;
    PageReader& m_reader;
    QString m_programFolder;
    MenuTask m_task;
};

} // namespace cablemeter
