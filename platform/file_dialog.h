#pragma once

#include <QString>

#include <optional>

namespace cablemeter {

// The platform's save dialog, narrowed to what Save As needs. Tests use a scripted fake.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // Shows a save dialog. `filter` is "description|pattern" pairs joined by "|" (for example
    // "bmp files(*.bmp)|*.bmp"); `proposedName` is the file name the dialog starts with. Returns
    // the name the user accepted, exactly as accepted (no extension added), or nothing on cancel.
    virtual std::optional<QString> askSaveFileName(const QString& filter,
                                                   const QString& proposedName) = 0;
};

} // namespace cablemeter
