#pragma once

#include <QString>
#include <QStringList>

namespace cablemeter {

// The programs that have a device open, as "minicom (process 4711)", found through the process
// table under `processRoot` (/proc). Only the user's own processes can be seen; empty on systems
// without such a table.
QStringList programsHolding(const QString& device,
                            const QString& processRoot = QStringLiteral("/proc"));

} // namespace cablemeter
