#include "app/qt_file_dialog.h"

#include <QFileDialog>
#include <QStringList>

namespace cablemeter {

QString qtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "bmp files(*.bmp)" already names its pattern the way Qt reads it; show it as it is.
        const QString suffix = QLatin1Char('(') + patterns + QLatin1Char(')');
        entries << (parts[i].endsWith(suffix) ? parts[i] : parts[i] + QLatin1Char(' ') + suffix);
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<QString> QtFileDialog::askSaveFileName(const QString& filter,
                                                     const QString& proposedName)
{
    // Title and starting folder are left to the dialog; only the name and the filter are given.
    const QString accepted =
        QFileDialog::getSaveFileName(m_parent, QString(), proposedName, qtNameFilters(filter));
    if (accepted.isEmpty())
        return std::nullopt;
    return accepted;
}

std::optional<QString> QtFileDialog::askOpenFileName(const QString& title, const QString& filter)
{
    const QString chosen =
        QFileDialog::getOpenFileName(m_parent, title, QString(), qtNameFilters(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

std::optional<QString> QtFileDialog::askFolderName(const QString& title)
{
    const QString chosen = QFileDialog::getExistingDirectory(m_parent, title);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace cablemeter
