// The cablemeter-sim program as a user (or an end-to-end test) runs it.

#include "pty_client.h"
#include "sim/demo_image.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
    QVERIFY(!QFileInfo::exists(linkPath) && !QFileInfo(linkPath).isSymLink());
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
#include "test_sim_executable.moc"
