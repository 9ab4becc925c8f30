#include "platform/port_holders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace cablemeter {

QStringList programsHolding(const QString& device, const QString& processRoot)
{
    QStringList programs;
#ifdef Q_OS_WIN
    Q_UNUSED(device)
    Q_UNUSED(processRoot)
#else
    const QString node = QFileInfo(device).canonicalFilePath();
    if (node.isEmpty())
        return programs;
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
        programs << QStringLiteral("%1 (process %2)")
                        .arg(program.isEmpty() ? QStringLiteral("a program") : program, process);
    }
#endif
    return programs;
}

} // namespace cablemeter
