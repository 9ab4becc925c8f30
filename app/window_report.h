#pragma once

#include "app/menu_task.h"

#include "platform/user_message.h"

#include <QString>

#include <functional>
#include <optional>

namespace cablemeter {

class FileDialog;
class PageReader;
class WindowControls;

// The record list's "Create report...": asks where to write the report (.pdf or .html) and,
// optionally, which limits to check; reads the records through the link as Read does, with
// progress in the progress bar and the status line; draws them offscreen and writes the file
// whole, or not at all. The window's picture, its list and the catalogue file are left alone.
class WindowReport {
public:
    using PagesVerified = std::function<bool()>;
    using PortName = std::function<QString()>;

    // programFolder: where the screens' background is looked up, as for the window's screens.
    // portName: the meter's port as the user knows it, for the report's first page.
    WindowReport(FileDialog& dialog, WindowControls& controls, PageReader& reader,
                 QString programFolder, MenuTask::TellDone tellDone, PagesVerified pagesVerified,
                 PortName portName);

    // The file written, or nothing when the user cancelled or it failed (the user was told why).
    std::optional<QString> create();
    // Esc or Quit: the reading under way ends and nothing is written. The caller also cancels
    // the link's wait.
    void cancel() { m_task.cancel(); }
    bool isRunning() const { return m_task.isRunning(); }

private:
    std::optional<QString> readAndWrite(const QString& path, const QString& limitsPath);
    void fail(const UserMessage& message);

    FileDialog& m_dialog;
    PageReader& m_reader;
    QString m_programFolder;
    MenuTask m_task;
    PagesVerified m_pagesVerified;
    PortName m_portName;
};

} // namespace cablemeter
