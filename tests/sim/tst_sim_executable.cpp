// The cablemeter-sim program as a user (or an end-to-end test) runs it.

#include "pty_client.h"
#include "sim/demo_image.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

using cablemeter::testing::beepRequest;
using cablemeter::testing::pageRequest;
using cablemeter::testing::PtyClient;
using namespace std::chrono_literals;

namespace {

constexpr int kPatienceMs = 5000;

QString simulatorPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/cablemeter-sim");
}

} // namespace

class SimExecutableTest : public QObject {
    Q_OBJECT

private slots:
    void writesTheDemoImage();
    void servesAnImageOnThePrintedDevice();
    void tellsAPersonHowToUseTheDevice();
    void refusesBadOptions_data();
    void refusesBadOptions();

private:
    QTemporaryDir m_dir;
};

void SimExecutableTest::writesTheDemoImage()
{
    const QString path = m_dir.filePath(QStringLiteral("demo.bin"));
    QCOMPARE(QProcess::execute(simulatorPath(), {QStringLiteral("--write-demo"), path}), 0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == cablemeter::sim::makeDemoImage());
}

void SimExecutableTest::servesAnImageOnThePrintedDevice()
{
    // Two pages of a recognisable pattern.
    QByteArray image(512, Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + 3);
    const QString imagePath = m_dir.filePath(QStringLiteral("two-pages.bin"));
    QFile imageFile(imagePath);
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    imageFile.write(image);
    imageFile.close();
    const QString linkPath = m_dir.filePath(QStringLiteral("meter-link"));

    QProcess simulator;
    simulator.start(simulatorPath(),
                    {QStringLiteral("--image"), imagePath, QStringLiteral("--pacing"),
                     QStringLiteral("unpaced"), QStringLiteral("--link"), linkPath});
    QVERIFY(simulator.waitForStarted(kPatienceMs));
    while (!simulator.canReadLine())
        QVERIFY(simulator.waitForReadyRead(kPatienceMs));
    const QString device = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(linkPath).symLinkTarget(), device);

    {
        PtyClient client(linkPath);
        QVERIFY(client.isOpen());
        QVERIFY(client.send(beepRequest()));
        QVERIFY(client.send(pageRequest(1)));
        QCOMPARE(client.read(257, 3000ms).toHex(),
                 (QByteArray(1, char(0xFA)) + image.mid(256)).toHex());
    }

    simulator.terminate(); // SIGTERM
    QVERIFY(simulator.waitForFinished(kPatienceMs));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    const QStringList logLines =
        QString::fromLocal8Bit(simulator.readAllStandardError()).split(QLatin1Char('\n'));
    QVERIFY(logLines.contains(QStringLiteral("beep")));
    QVERIFY(logLines.filter(QStringLiteral("page 1:")).size() == 1);
    // Read by scripts: the device and nothing else; the hint is for a person at a terminal.
    QVERIFY(simulator.readAllStandardOutput().isEmpty());
    QVERIFY(logLines.filter(QStringLiteral("CABLEMETER_COM1")).isEmpty());
    QVERIFY(!QFileInfo::exists(linkPath) && !QFileInfo(linkPath).isSymLink());
}

// Started from a terminal, the simulator says in one line how the window and the command line
// reach the meter it plays.
void SimExecutableTest::tellsAPersonHowToUseTheDevice()
{
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0);
    QVERIFY(grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const int terminalSide = ::open(ptsname(terminal), O_RDWR | O_NOCTTY);
    QVERIFY(terminalSide >= 0);
    const QString linkPath = m_dir.filePath(QStringLiteral("hinted-meter"));

    QProcess simulator;
    simulator.setChildProcessModifier([terminalSide] { ::dup2(terminalSide, STDERR_FILENO); });
    simulator.start(simulatorPath(), {QStringLiteral("--link"), linkPath});
    QVERIFY(simulator.waitForStarted(kPatienceMs));
    ::close(terminalSide);
    while (!simulator.canReadLine())
        QVERIFY(simulator.waitForReadyRead(kPatienceMs));
    QVERIFY(QString::fromLocal8Bit(simulator.readLine()).startsWith(QStringLiteral("/dev/")));

    QByteArray shown;
    pollfd waiting{terminal, POLLIN, 0};
    while (!shown.contains('\n') && ::poll(&waiting, 1, kPatienceMs) > 0) {
        char chunk[256];
        const ssize_t got = ::read(terminal, chunk, sizeof chunk);
        if (got <= 0)
            break;
        shown.append(chunk, got);
    }
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(kPatienceMs));
    ::close(terminal);

    const QString line = QString::fromLocal8Bit(shown).section(QLatin1Char('\n'), 0, 0).trimmed();
    QVERIFY2(line.contains(QStringLiteral("CABLEMETER_COM1=%1 cablemeter").arg(linkPath)),
             qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("cablemeter-cli catalogue --port %1").arg(linkPath)),
             qPrintable(line));
    QVERIFY(simulator.readAllStandardOutput().isEmpty());
}

void SimExecutableTest::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown pacing") << QStringList{"--pacing", "fast"};
    QTest::newRow("zero-length short reply") << QStringList{"--fault", "short:0"};
    QTest::newRow("unknown fault") << QStringList{"--fault", "wobble"};
}

void SimExecutableTest::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QProcess simulator;
    simulator.start(simulatorPath(), arguments);
    QVERIFY(simulator.waitForFinished(kPatienceMs));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY(simulator.readAllStandardOutput().isEmpty()); // no device was offered
}

QTEST_GUILESS_MAIN(SimExecutableTest)
#include "tst_sim_executable.moc"
