// Each program's --version, asked where there is no display: the answer must come before any
// window or platform plugin is needed.

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace {

constexpr int kPatienceMs = 10000;

} // namespace

class ProgramVersionTest : public QObject {
    Q_OBJECT

private slots:
    void answersVersionWithoutADisplay_data();
    void answersVersionWithoutADisplay();
};

void ProgramVersionTest::answersVersionWithoutADisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QString version = QStringLiteral(CABLEMETER_VERSION);
    QTest::newRow("window") << "cablemeter" << QStringList{"--version"}
                            << "cablemeter " + version + "\n";
    QTest::newRow("window, among Qt's own options")
        << "cablemeter" << QStringList{"-platform", "xcb", "--version"}
        << "cablemeter " + version + "\n";
    QTest::newRow("simulator") << "cablemeter-sim" << QStringList{"--version"}
                               << "cablemeter-sim " + version + "\n";
}

void ProgramVersionTest::answersVersionWithoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(environment);

    process.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + program, arguments);

    QVERIFY(process.waitForFinished(kPatienceMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), expected);
}

QTEST_GUILESS_MAIN(ProgramVersionTest)
#include "tst_program_version.moc"
