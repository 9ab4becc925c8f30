#pragma once

#include <QString>

#include <optional>

namespace cablemeter {

// The platform's file dialogs, narrowed to what Save As, the report and the export need. Tests
// use a scripted fake.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // Shows a save dialog. `filter` is "description|pattern" pairs joined by "|" (for example
    // "bmp files(*.bmp)|*.bmp"); `proposedName` is the file name the dialog starts with. Returns
    // the name the user accepted, exactly as accepted (no extension added), or nothing on cancel.
    virtual std::optional<QString> askSaveFileName(const QString& filter,
                                                   const QString& proposedName) = 0;

    // Shows an open dialog for an existing file, with `title` and a filter as above. Returns the
    // chosen file, or nothing on cancel. A dialog that only saves chooses nothing.
    virtual std::optional<QString> askOpenFileName(const QString& title, const QString& filter)
    {
        Q_UNUSED(title);
        Q_UNUSED(filter);
        return std::nullopt;
    }

    // Shows a folder dialog with `title`, where the user may also make a new folder. Returns the
    // chosen folder, or nothing on cancel. A dialog that only saves chooses nothing.
    virtual std::optional<QString> askFolderName(const QString& title)
    {
        Q_UNUSED(title);
        return std::nullopt;
    }
};

} // namespace cablemeter
