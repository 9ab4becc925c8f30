#include "export/picture_file_name.h"

#include "catalogue/record_kind.h"

#include <map>

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

QString screenName(int kind)
{
    // The kinds of the window's renderer table.
    static const std::map<int, QString> names = {
        {kLevelKind, QStringLiteral("level")}, {kFreqKind, QStringLiteral("freq")},
        {kDigiKind, QStringLiteral("digi")},   {kSpectKind, QStringLiteral("spect")},
        {kScanKind, QStringLiteral("scan")},   {kTiltKind, QStringLiteral("tilt")},
        {kVoltKind, QStringLiteral("volt")},   {kCNKind, QStringLiteral("cn")},
        {kVAKind, QStringLiteral("va")},
    };
    const auto found = names.find(kind);
    return found == names.end() ? QString() : found->second;
}

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
    QString fileName = QStringLiteral("slot%1-%2")
                           .arg(slot, kSlotDigits, 10, QLatin1Char('0'))
                           .arg(screenName(kind));
    const QString safeName = fileNameSafe(name);
    if (!safeName.isEmpty())
        fileName += QLatin1Char('-') + safeName;
    return fileName + QLatin1Char('.') + format;
}

} // namespace cablemeter
