#pragma once

// Things that are not regular files, made in a test's own temporary folder: a FIFO, a folder, a
// device node (a private copy of the null device), links to them. Nothing outside the folder
// is ever opened; the system's /dev/null and /dev/zero are only links' targets, looked at by
// stat().

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace cablemeter::testing {

// The kinds a data table can name.
inline const QStringList& specialFileKinds()
{
    static const QStringList kinds = {QStringLiteral("fifo"),
                                      QStringLiteral("folder"),
                                      QStringLiteral("link to fifo"),
                                      QStringLiteral("device node"),
                                      QStringLiteral("link to /dev/null"),
                                      QStringLiteral("link to /dev/zero"),
                                      QStringLiteral("dangling link")};
    return kinds;
}

// What the program is expected to say about each kind.
inline QString specialFileReason(const QString& kind)
{
    if (kind.contains(QLatin1String("fifo")))
        return QStringLiteral("FIFO");
    if (kind == QLatin1String("folder"))
        return QStringLiteral("a folder");
    if (kind == QLatin1String("dangling link"))
        return QStringLiteral("does not exist");
    return QStringLiteral("character device");
}

// Makes `kind` at `path`. False with `why` when this system does not let the test make it (a
// device node needs root); the test then skips.
inline bool makeSpecialFile(const QString& kind, const QString& path, QString& why)
{
    constexpr mode_t kMode = 0666;
    constexpr unsigned kNullMajor = 1;
    constexpr unsigned kNullMinor = 3;
    const QByteArray name = QFile::encodeName(path);
    const QByteArray fifoTarget = name + ".fifo";
    bool made = false;
    if (kind == QLatin1String("fifo"))
        made = ::mkfifo(name.constData(), kMode) == 0;
    else if (kind == QLatin1String("folder"))
        made = QDir().mkpath(path);
    else if (kind == QLatin1String("link to fifo"))
        made = ::mkfifo(fifoTarget.constData(), kMode) == 0 &&
               ::symlink(fifoTarget.constData(), name.constData()) == 0;
    else if (kind == QLatin1String("device node"))
        made = ::mknod(name.constData(), S_IFCHR | kMode, makedev(kNullMajor, kNullMinor)) == 0;
    else if (kind.startsWith(QLatin1String("link to /dev/")))
        made = ::symlink(QFile::encodeName(kind.section(QLatin1Char(' '), -1)).constData(),
                         name.constData()) == 0;
    else if (kind == QLatin1String("dangling link"))
        made = ::symlink(name.constData() + QByteArray(".missing"), name.constData()) == 0;
    if (!made)
        why = QStringLiteral("cannot make a %1 here").arg(kind);
    return made;
}

// Whether `path` is still what makeSpecialFile() made (not replaced by a regular file).
inline bool isStillSpecial(const QString& kind, const QString& path)
{
    struct stat status {};
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &status) != 0)
        return false;
    if (kind == QLatin1String("fifo"))
        return S_ISFIFO(status.st_mode);
    if (kind == QLatin1String("folder"))
        return S_ISDIR(status.st_mode) && QDir(path).isEmpty();
    if (kind == QLatin1String("device node"))
        return S_ISCHR(status.st_mode);
    if (!S_ISLNK(status.st_mode))
        return false;
    if (kind == QLatin1String("link to fifo"))
        return ::stat(name.constData(), &status) == 0 && S_ISFIFO(status.st_mode);
    if (kind.startsWith(QLatin1String("link to /dev/")))
        return ::stat(name.constData(), &status) == 0 && S_ISCHR(status.st_mode);
    return ::stat(name.constData(), &status) != 0; // the dangling link still leads nowhere
}

} // namespace cablemeter::testing
