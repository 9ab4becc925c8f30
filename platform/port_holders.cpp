#include "platform/port_holders.h"

namespace cablemeter {

QString PortHolder::text() const
{
    QString name = program.isEmpty() ? QStringLiteral("a program") : program;
    if (isWindow())
        name = QStringLiteral("another cablemeter window");
    return QStringLiteral("%1 (process %2)").arg(name, process);
}

} // namespace cablemeter
