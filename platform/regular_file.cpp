#include "platform/regular_file.h"

namespace cablemeter {

QString notARegularFileReason(const QString& what)
{
    return QStringLiteral("it is %1, not a regular file; nothing was read or written there")
        .arg(what);
}

} // namespace cablemeter
