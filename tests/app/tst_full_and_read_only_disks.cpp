// The catalogue file and saved pictures on disks that fail as real ones do: a full disk and a
// read-only one, made as small tmpfs mounts. Needs root (as CI runs); skipped elsewhere.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace cablemeter;
using cablemeter::sim::MeterSimulator;
using cablemeter::sim::Pacing;

namespace {

// Too small for a fresh 8193-byte catalogue file once a filler has taken what it can.
constexpr char kTinyDiskSize[] = "size=12k";

bool run(const QString& program, const QStringList& arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes zeros until the disk is full.
void fillDisk(const QString& folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(1024, '\0');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

} // namespace

class FullAndReadOnlyDisksTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString mountPoint;
    QString startFolder = QDir::currentPath();
    std::unique_ptr<MeterSimulator> meter;
    std::unique_ptr<CableMeterApp> program;
    QStringList reported;

    void mountTmpfs(const QString& options)
    {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        mountPoint = scratch.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(mountPoint));
        if (!run(QStringLiteral("mount"),
                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                  QStringLiteral("tmpfs"), mountPoint}))
            QSKIP("this machine does not allow mounting a tmpfs");
    }
    void remountReadOnly()
    {
        QVERIFY(run(QStringLiteral("mount"),
                    {QStringLiteral("-o"), QStringLiteral("remount,ro"), mountPoint}));
    }

    void startProgram()
    {
        meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Unpaced);
        QVERIFY(meter->start());
        qputenv("CABLEMETER_COM1", meter->devicePath().toLocal8Bit());
        program = std::make_unique<CableMeterApp>();
        program->window().setErrorReporter(
            [this](const QString&, const QString& message) { reported << message; });
    }
    void pressRead()
    {
        QTest::mouseClick(program->window().findChild<QPushButton*>(QStringLiteral("Command7")),
                          Qt::LeftButton);
    }

private slots:
    void cleanup()
    {
        program.reset();
        meter.reset();
        QDir::setCurrent(startFolder);
        if (!mountPoint.isEmpty())
            run(QStringLiteral("umount"), {mountPoint});
        mountPoint.clear();
        reported.clear();
        qunsetenv("CABLEMETER_COM1");
    }

    void catalogueOnAFullDiskIsReportedAndNothingListed()
    {
        mountTmpfs(QString::fromLatin1(kTinyDiskSize));
        fillDisk(mountPoint);
        QVERIFY(QDir::setCurrent(mountPoint));
        startProgram();

        pressRead();

        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(QStringLiteral("MeterDat.dat")), qPrintable(reported[0]));
        QVERIFY2(reported[0].contains(QStringLiteral("No space left on device")),
                 qPrintable(reported[0]));
        QCOMPARE(program->window().listCount(), 0);
    }

    void catalogueInAReadOnlyFolderKeepsTheOldFileAndList()
    {
        mountTmpfs(QStringLiteral("size=1m"));
        QVERIFY(QDir::setCurrent(mountPoint));
        startProgram();
        pressRead(); // a good Read while the disk is writable
        QVERIFY(reported.isEmpty());
        const QByteArray fileBefore = readFile(QStringLiteral("MeterDat.dat"));
        QCOMPARE(fileBefore.size(), 8193);
        const int linesBefore = program->window().listCount();

        remountReadOnly();
        pressRead();

        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(QStringLiteral("Read-only file system")),
                 qPrintable(reported[0]));
        QCOMPARE(readFile(QStringLiteral("MeterDat.dat")), fileBefore);
        QCOMPARE(program->window().listCount(), linesBefore);
    }
};

QTEST_MAIN(FullAndReadOnlyDisksTest)
#include "tst_full_and_read_only_disks.moc"
