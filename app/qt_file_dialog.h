#pragma once

#include "app/file_dialog.h"

class QWidget;

namespace cablemeter {

// Turns "description|pattern|description|pattern" into Qt's "description (pattern);;..." form.
// Several patterns of one entry, separated by ";", become space-separated.
QString qtNameFilters(const QString& filter);

// The save dialog as Qt shows it. It sets no default suffix, so the accepted name comes back as
// the user left it.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr) : m_parent(parent) {}

    std::optional<QString> askSaveFileName(const QString& filter,
                                           const QString& proposedName) override;
    std::optional<QString> askOpenFileName(const QString& title, const QString& filter) override;
    std::optional<QString> askFolderName(const QString& title) override;

private:
    QWidget* m_parent = nullptr;
};

} // namespace cablemeter
