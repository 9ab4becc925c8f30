// The catalogue file and saved pictures on disks that fail as real ones do: a full disk and a
// read-only one, made as small tmpfs mounts, and a folder the user may not write (a step run
// as another user, where the write-failure shim stands in for a full disk). Needs root (as CI
// runs); skipped elsewhere.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "app/save_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/full_disk.h"
#include "support/small_disk.h"
#include "support/test_port_map.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace cablemeter;
using cablemeter::sim::MeterSimulator;
using cablemeter::sim::Pacing;
using cablemeter::testing::FullDisk;
using cablemeter::testing::SmallDisk;

namespace {

// Too small for a fresh 8193-byte catalogue file once a filler has taken what it can.
constexpr char kTinyDiskSize[] = "size=12k";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                  QDir::System);
}

const QString kNoSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));

QImage drawnScreen()
{
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    QImage screen(kWidth, kHeight, QImage::Format_RGB32);
    screen.fill(QColor(Qt::darkCyan));
    return screen;
}

} // namespace

class FullAndReadOnlyDisksTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString mountPoint;
    SmallDisk disk;
    QString startFolder = QDir::currentPath();
    std::unique_ptr<MeterSimulator> meter;
    std::unique_ptr<CableMeterApp> program;
    QStringList reported;

    void mountTmpfs(const QString& options)
    {
        mountPoint = scratch.filePath(QStringLiteral("disk"));
        QString why;
        if (!disk.mount(mountPoint, options, why))
            QSKIP(qPrintable(why));
    }

    void startProgram()
    {
        meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Unpaced);
        QVERIFY(meter->start());
        program = std::make_unique<CableMeterApp>(testing::testPortMap(meter->devicePath()));
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
        disk.unmount();
        reported.clear();
    }

    void catalogueOnAFullDiskLeavesTheEarlierFile_data()
    {
        QTest::addColumn<bool>("earlierRead"); // a good Read while the disk had room
        QTest::newRow("no earlier file") << false;
        QTest::newRow("an earlier file") << true;
    }

    void catalogueOnAFullDiskLeavesTheEarlierFile()
    {
        QFETCH(bool, earlierRead);
        mountTmpfs(QString::fromLatin1(kTinyDiskSize));
        QVERIFY(QDir::setCurrent(mountPoint));
        startProgram();
        if (earlierRead)
            pressRead();
        QVERIFY(reported.isEmpty());
        const QByteArray fileBefore = readFile(QStringLiteral("MeterDat.dat"));
        const int linesBefore = program->window().listCount();
        disk.fill();
        const QStringList entriesBefore = entriesOf(mountPoint);

        pressRead();

        QCOMPARE(reported.size(), 1);
        // The whole path: the user may not know which folder the program was started in.
        QVERIFY2(reported[0].contains(mountPoint + QStringLiteral("/MeterDat.dat")),
                 qPrintable(reported[0]));
        QVERIFY2(reported[0].contains(kNoSpace), qPrintable(reported[0]));
        QCOMPARE(QFile::exists(QStringLiteral("MeterDat.dat")), earlierRead);
        QCOMPARE(readFile(QStringLiteral("MeterDat.dat")), fileBefore);
        QCOMPARE(entriesOf(mountPoint), entriesBefore);
        QCOMPARE(program->window().listCount(), linesBefore);
    }

    void savedPictureOnAFullDiskLeavesTheEarlierOne_data()
    {
        QTest::addColumn<QByteArray>("earlier"); // empty: a new name
        QTest::newRow("new name") << QByteArray();
        QTest::newRow("an earlier picture") << QByteArray("an earlier picture");
    }

    void savedPictureOnAFullDiskLeavesTheEarlierOne()
    {
        QFETCH(QByteArray, earlier);
        mountTmpfs(QString::fromLatin1(kTinyDiskSize));
        const QString path = mountPoint + QStringLiteral("/picture.bmp");
        if (!earlier.isEmpty())
            writeFile(path, earlier);
        disk.fill();
        const QStringList entriesBefore = entriesOf(mountPoint);

        const std::optional<QString> reason = writeBitmap(drawnScreen(), path);

        QVERIFY(reason);
        QVERIFY2(reason->contains(kNoSpace), qPrintable(*reason));
        QCOMPARE(readFile(path), earlier);
        QCOMPARE(entriesOf(mountPoint), entriesBefore);
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

        QVERIFY(disk.remountReadOnly());
        pressRead();

        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(QStringLiteral("Read-only file system")),
                 qPrintable(reported[0]));
        QCOMPARE(readFile(QStringLiteral("MeterDat.dat")), fileBefore);
        QCOMPARE(program->window().listCount(), linesBefore);
    }

    // A user who may write a file but not its folder (run as "nobody" through setpriv): the
    // picture replaces the file in place; a new name or a FIFO there is refused. On a full disk
    // the file stays as it was when its room cannot be reserved, and is left empty, not half
    // overwritten, when a write fails after that.
    void savedPictureReplacesAWritableFileInAFolderThatMayNotChange()
    {
        if (geteuid() != 0)
            QSKIP("running a step as another user needs root");
        const QString folder = scratch.filePath(QStringLiteral("not-ours"));
        QVERIFY(QDir().mkpath(folder));
        const QString earlier = folder + QStringLiteral("/earlier.bmp");
        const QString unreserved = folder + QStringLiteral("/unreserved.bmp");
        const QString cutShort = folder + QStringLiteral("/cut-short.bmp");
        const QString fifo = folder + QStringLiteral("/fifo.bmp");
        for (const QString& path : {earlier, unreserved, cutShort})
            writeFile(path, "an earlier picture");
        constexpr QFile::Permissions kEveryoneMayWrite =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
        constexpr QFile::Permissions kOthersMayLook = QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther;
        for (const QString& path : {earlier, unreserved, cutShort})
            QVERIFY(QFile::setPermissions(path, kEveryoneMayWrite));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
        QVERIFY(QFile::setPermissions(scratch.path(), kOthersMayLook));
        QVERIFY(QFile::setPermissions(folder, kOthersMayLook));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CABLEMETER_SAVE_AS_OTHER_USER"), folder);
        // The other user may not reach the build folder (a clone in a private folder): the step
        // preloads a copy of the shim from the folder it may look into.
        const QString shim = qEnvironmentVariable("LD_PRELOAD");
        if (!shim.isEmpty()) {
            const QString shimCopy = scratch.filePath(QFileInfo(shim).fileName());
            QVERIFY(QFile::copy(shim, shimCopy));
            QVERIFY(QFile::setPermissions(shimCopy, kOthersMayLook));
            environment.insert(QStringLiteral("LD_PRELOAD"), shimCopy);
        }
        QProcess step;
        step.setProcessEnvironment(environment);
        step.start(QStringLiteral("setpriv"),
                   {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                    QStringLiteral("--clear-groups"), QStringLiteral("--"),
                    QCoreApplication::applicationFilePath(), QStringLiteral("saveAsOtherUser")});
        if (!step.waitForStarted())
            QSKIP("setpriv is not available");
        QVERIFY(step.waitForFinished(60000));
        QVERIFY2(step.exitStatus() == QProcess::NormalExit && step.exitCode() == 0,
                 step.readAllStandardOutput().constData());

        QCOMPARE(QImage(earlier, "BMP").convertToFormat(QImage::Format_RGB32), drawnScreen());
        QCOMPARE(readFile(unreserved), QByteArray("an earlier picture"));
        QCOMPARE(readFile(cutShort), QByteArray());
        QStringList entries = entriesOf(folder);
        entries.sort();
        QCOMPARE(entries,
                 (QStringList{QStringLiteral("cut-short.bmp"), QStringLiteral("earlier.bmp"),
                              QStringLiteral("fifo.bmp"), QStringLiteral("unreserved.bmp")}));
        struct stat status {};
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &status) == 0 &&
                S_ISFIFO(status.st_mode));
    }

    // The step above, run as the other user.
    void saveAsOtherUser()
    {
        const QString folder = qEnvironmentVariable("CABLEMETER_SAVE_AS_OTHER_USER");
        if (folder.isEmpty())
            QSKIP("run only as a step of the test above");
        QCOMPARE(writeBitmap(drawnScreen(), folder + QStringLiteral("/earlier.bmp")), std::nullopt);
        QVERIFY(writeBitmap(drawnScreen(), folder + QStringLiteral("/new.bmp")));
        const std::optional<QString> refusal =
            writeBitmap(drawnScreen(), folder + QStringLiteral("/fifo.bmp"));
        QVERIFY(refusal);
        QVERIFY2(refusal->contains(QStringLiteral("FIFO")), qPrintable(*refusal));

        if (!FullDisk::isPreloaded())
            QFAIL("needs the write-failure shim preloaded (as CTest runs it)");
        std::optional<QString> reason;
        {
            const FullDisk::InThisProcess fullDisk(FullDisk(folder, "fallocate"));
            reason = writeBitmap(drawnScreen(), folder + QStringLiteral("/unreserved.bmp"));
        }
        QVERIFY(reason);
        QVERIFY2(reason->contains(kNoSpace), qPrintable(*reason));
        {
            const FullDisk::InThisProcess fullDisk(FullDisk(folder, "write", 1000));
            reason = writeBitmap(drawnScreen(), folder + QStringLiteral("/cut-short.bmp"));
        }
        QVERIFY(reason);
        QVERIFY2(reason->contains(kNoSpace) && reason->contains(QStringLiteral("left empty")),
                 qPrintable(*reason));
    }
};

QTEST_MAIN(FullAndReadOnlyDisksTest)
#include "tst_full_and_read_only_disks.moc"
