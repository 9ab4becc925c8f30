#include "export/picture_file_name.h"

#include "catalogue/record_kinds.h"

namespace cablemeter {

namespace {

constexpr int kSlotDigits = 2;

bool keptInFileName(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('_');
}

} // namespace

QString fileNameSafe(const QString& name)
{
    QString safe = name.trimmed();
    for (QChar& c : safe) {
        if (!keptInFileName(c))
            c = QLatin1Char('_');
    }
    return safe;
}

QString pictureFileName(int slot, int kind, const QString& name, const QString& format)
{
    const KindScreen* screen = kindScreen(kind);
    QString fileName = QStringLiteral("slot%1-%2")
                           .arg(slot, kSlotDigits, 10, QLatin1Char('0'))
                           .arg(QLatin1String(screen ? screen->fileWord : ""));
    const QString safeName = fileNameSafe(name);
    if (!safeName.isEmpty())
        fileName += QLatin1Char('-') + safeName;
    return fileName + QLatin1Char('.') + format;
}

} // namespace cablemeter
