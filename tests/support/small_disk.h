#pragma once

// A small tmpfs mounted for a test, to meet a disk that is really full or read-only. Mounting
// needs root (as CI runs); elsewhere mount() says why not and the test skips.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace cablemeter::testing {

class SmallDisk {
public:
    SmallDisk() = default;
    ~SmallDisk() { unmount(); }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Mounts a tmpfs with mount's `options` ("size=12k") at `mountPoint`, made when missing.
    // False with `why` when this user or machine cannot.
    bool mount(const QString& mountPoint, const QString& options, QString& why)
    {
        if (geteuid() != 0) {
            why = QStringLiteral("mounting a small tmpfs needs root");
            return false;
        }
        if (!QDir().mkpath(mountPoint) ||
            !run({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                  QStringLiteral("tmpfs"), mountPoint})) {
            why = QStringLiteral("this machine does not allow mounting a tmpfs");
            return false;
        }
        m_mountPoint = mountPoint;
        return true;
    }
    void unmount()
    {
        if (!m_mountPoint.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {m_mountPoint});
        m_mountPoint.clear();
    }
    bool remountReadOnly()
    {
        return run({QStringLiteral("-o"), QStringLiteral("remount,ro"), m_mountPoint});
    }

    // Writes zeros into a file "filler" until the disk takes no more.
    void fill() const
    {
        constexpr int kBlockSize = 1024;
        QFile filler(m_mountPoint + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(kBlockSize, '\0');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        // The last block may not have fitted whole: take what is left byte by byte.
        while (filler.write("", 1) == 1 && filler.flush()) {
        }
    }

private:
    static bool run(const QStringList& arguments)
    {
        return QProcess::execute(QStringLiteral("mount"), arguments) == 0;
    }

    QString m_mountPoint;
};

} // namespace cablemeter::testing
