// The catalogue file and saved pictures on disks that fail as real ones do: a full disk and a
// read-only one, made as small tmpfs mounts, and a folder the user may not write (a step run
// as another user). Needs root (as CI runs); skipped elsewhere.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "app/save_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/test_port_map.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
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
        if (!mountPoint.isEmpty())
            run(QStringLiteral("umount"), {mountPoint});
        mountPoint.clear();
        reported.clear();
    }

    void catalogueOnAFullDiskIsReportedAndNothingListed()
    {
        mountTmpfs(QString::fromLatin1(kTinyDiskSize));
        fillDisk(mountPoint);
        QVERIFY(QDir::setCurrent(mountPoint));
        startProgram();

        pressRead();

        QCOMPARE(reported.size(), 1);
        // The whole path: the user may not know which folder the program was started in.
        QVERIFY2(reported[0].contains(mountPoint + QStringLiteral("/MeterDat.dat")),
                 qPrintable(reported[0]));
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

    // A user who may write a file but not its folder (run as "nobody" through setpriv): the
    // picture replaces the file in place; a new name or a FIFO there is refused.
    void savedPictureReplacesAWritableFileInAFolderThatMayNotChange()
    {
        if (geteuid() != 0)
            QSKIP("running a step as another user needs root");
        const QString folder = scratch.filePath(QStringLiteral("not-ours"));
        QVERIFY(QDir().mkpath(folder));
        const QString earlier = folder + QStringLiteral("/earlier.bmp");
        const QString fifo = folder + QStringLiteral("/fifo.bmp");
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier picture");
        file.close();
        constexpr QFile::Permissions kEveryoneMayWrite =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
        constexpr QFile::Permissions kOthersMayLook = QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther;
        QVERIFY(QFile::setPermissions(earlier, kEveryoneMayWrite));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
        QVERIFY(QFile::setPermissions(scratch.path(), kOthersMayLook));
        QVERIFY(QFile::setPermissions(folder, kOthersMayLook));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CABLEMETER_SAVE_AS_OTHER_USER"), folder);
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
        QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System);
        entries.sort();
        QCOMPARE(entries, (QStringList{QStringLiteral("earlier.bmp"), QStringLiteral("fifo.bmp")}));
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
    }
};

QTEST_MAIN(FullAndReadOnlyDisksTest)
#include "tst_full_and_read_only_disks.moc"
