#pragma once

// Files in one folder that fail as on a full disk, through the write-failure shim
// (write_failure.c). CTest preloads the shim into the tests that use it in-process; a program a
// test starts gets it through environment().

#include <QByteArray>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QString>

#include <dlfcn.h>

namespace cablemeter::testing {

class FullDisk {
public:
    // failingCall: "write" (writes may take `bytesLeft` bytes in all, then fail), "fsync" or
    // "close" (they fail, as a network share reports a full disk late), "fallocate" (reserving
    // room fails).
    FullDisk(const QString& folder, const QByteArray& failingCall, qint64 bytesLeft = 0)
        : m_folder(QFileInfo(folder).canonicalFilePath()), m_failingCall(failingCall),
          m_bytesLeft(bytesLeft)
    {
        // The shim sees the paths the system resolved.
        if (m_folder.isEmpty())
            m_folder = folder;
    }

    // Whether the shim is loaded into this process.
    static bool isPreloaded()
    {
        return dlsym(RTLD_DEFAULT, "cablemeter_write_failure_shim") != nullptr;
    }

    // The environment that makes a program the test starts fail so.
    QProcessEnvironment environment(const QString& shimPath) const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("LD_PRELOAD"), shimPath);
        environment.insert(QStringLiteral("CABLEMETER_FAIL_FOLDER"), m_folder);
        environment.insert(QStringLiteral("CABLEMETER_FAIL_CALL"),
                           QString::fromLatin1(m_failingCall));
        environment.insert(QStringLiteral("CABLEMETER_FAIL_AFTER"), QString::number(m_bytesLeft));
        // A sanitized program checks that its runtime is loaded first; the shim comes before it.
        QString sanitizer = qEnvironmentVariable("ASAN_OPTIONS");
        sanitizer += QStringLiteral(":verify_asan_link_order=0");
        environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizer);
        return environment;
    }

    // Makes this process's files fail so while the scope lives.
    class InThisProcess {
    public:
        explicit InThisProcess(const FullDisk& disk)
        {
            qputenv("CABLEMETER_FAIL_CALL", disk.m_failingCall);
            qputenv("CABLEMETER_FAIL_AFTER", QByteArray::number(disk.m_bytesLeft));
            qputenv("CABLEMETER_FAIL_FOLDER", disk.m_folder.toLocal8Bit());
        }
        ~InThisProcess()
        {
            qunsetenv("CABLEMETER_FAIL_FOLDER");
            qunsetenv("CABLEMETER_FAIL_CALL");
            qunsetenv("CABLEMETER_FAIL_AFTER");
        }
        InThisProcess(const InThisProcess&) = delete;
        InThisProcess& operator=(const InThisProcess&) = delete;
    };

private:
    QString m_folder;
    QByteArray m_failingCall;
    qint64 m_bytesLeft;
};

} // namespace cablemeter::testing
