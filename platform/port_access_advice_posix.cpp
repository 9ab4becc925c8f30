#include "platform/port_access_advice.h"

#include <QFile>
#include <QStringList>

#include <grp.h>
#include <sys/stat.h>

namespace cablemeter {

namespace {

// Groups whose members can do far more than use a serial port: never advise joining them.
const QStringList kGroupsWithWiderPowers = {QStringLiteral("root"), QStringLiteral("wheel"),
                                            QStringLiteral("sudo"), QStringLiteral("adm"),
                                            QStringLiteral("disk")};

} // namespace

DeviceGroup deviceGroupOf(const QString& device)
{
    DeviceGroup group;
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return group;
    if (const struct group* entry = ::getgrgid(info.st_gid))
        group.name = QString::fromLocal8Bit(entry->gr_name);
    group.mayReadWrite = (info.st_mode & S_IRGRP) != 0 && (info.st_mode & S_IWGRP) != 0;
    group.hasWiderPowers = info.st_gid == 0 || kGroupsWithWiderPowers.contains(group.name);
    return group;
}

} // namespace cablemeter
