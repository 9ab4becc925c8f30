#include "platform/port_holders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace cablemeter {

namespace {

// The simulator plays the meter on a pseudo-terminal and holds its device all along.
constexpr char kMeterSimulatorProgram[] = "cablemeter-sim";

} // namespace

QList<PortHolder> programsHolding(const QString& device, const QString& processRoot)
{
    QList<PortHolder> holders;
    const QString node = QFileInfo(device).canonicalFilePath();
    if (node.isEmpty())
        return holders;
    const QDir processes(processRoot);
    for (const QString& process : processes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isProcess = false;
        process.toLongLong(&isProcess);
        if (!isProcess)
            continue;
        const QDir descriptors(processes.filePath(process + QStringLiteral("/fd")));
        const QStringList links =
            descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const bool holds = std::any_of(links.begin(), links.end(), [&](const QString& link) {
            return QFileInfo(descriptors.filePath(link)).symLinkTarget() == node;
        });
        if (!holds)
            continue;
        QFile name(processes.filePath(process + QStringLiteral("/comm")));
        const QString program = name.open(QIODevice::ReadOnly)
                                    ? QString::fromLocal8Bit(name.readAll()).trimmed()
                                    : QString();
        if (program != QLatin1String(kMeterSimulatorProgram))
            holders.append({program, process});
    }
    return holders;
}

} // namespace cablemeter
