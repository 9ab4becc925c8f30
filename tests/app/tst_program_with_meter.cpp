// The whole program against the simulated meter over a pty, as a user meets it: Read, the list,
// a click on a record, and the ways the meter and the cable fail. Whatever fails, the user is
// told once, the program stays usable, and the catalogue file, the list and the picture are kept.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "catalogue/record_catalogue.h"
#include "link/meter_link.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/message_shape.h"
#include "support/test_port_map.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace cablemeter;
using cablemeter::sim::MeterSimulator;
using cablemeter::sim::Pacing;
using cablemeter::sim::ReplyFault;
using cablemeter::testing::checkMessageShape;

namespace {

constexpr int kHighestListedKind = 48;
constexpr int kLevelKind = 3;

// What "MeterDat.dat" must hold after a Read of this image: each slot's header page as the meter
// delivers it (bytes 255 and 256 never arrive and are 0), then one 0.
QByteArray expectedCatalogue(const QByteArray& image)
{
    QByteArray file;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QByteArray page = MeterSimulator::pageOf(image, headerPage(slot));
        file.append(page.left(kPageSize - 2));
        file.append(2, '\0');
    }
    file.append('\0');
    return file;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Reported {
    QString title;
    QString message;
};

} // namespace

class ProgramWithMeterTest : public QObject {
    Q_OBJECT

    QByteArray image = sim::makeDemoImage();
    std::unique_ptr<MeterSimulator> meter;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<CableMeterApp> program;
    QList<Reported> reported;
    QString startFolder = QDir::currentPath();

    void startMeter(Pacing pacing = Pacing::Unpaced)
    {
        meter = std::make_unique<MeterSimulator>(image, pacing);
        QVERIFY2(meter->start(), qPrintable(meter->errorString()));
    }

    QListWidget& list()
    {
        return *program->window().findChild<QListWidget*>(QStringLiteral("List1"));
    }
    QPushButton& button(const char* name)
    {
        return *program->window().findChild<QPushButton*>(QLatin1String(name));
    }
    QString catalogueFile() const { return folder->filePath(QStringLiteral("MeterDat.dat")); }

    QStringList listLines()
    {
        QStringList lines;
        for (int row = 0; row < list().count(); ++row)
            lines << list().item(row)->text();
        return lines;
    }

    void clickRow(int row)
    {
        QListWidgetItem* item = list().item(row);
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {},
                          list().visualItemRect(item).center());
    }

    int firstRowOfKind(int kind)
    {
        const auto& kinds = program->catalogue().listKind();
        for (int row = 0; row < list().count(); ++row)
            if (kinds[row] == kind)
                return row;
        return -1;
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(folder->path()));
        startMeter();
        program = std::make_unique<CableMeterApp>(testing::testPortMap(meter->devicePath()));
        reported.clear();
        program->window().setErrorReporter([this](const QString& title, const QString& message) {
            reported.append({title, message});
        });
        program->window().show();
    }
    void cleanup()
    {
        program.reset();
        meter.reset();
        QDir::setCurrent(startFolder);
        folder.reset();
    }

    void readListsTheMetersRecords_data()
    {
        QTest::addColumn<int>("pacing");
        QTest::newRow("unpaced") << int(Pacing::Unpaced);
        QTest::newRow("uart") << int(Pacing::Uart);
        QTest::newRow("usb adapter") << int(Pacing::Usb);
    }
    void readListsTheMetersRecords()
    {
        QFETCH(int, pacing);
        meter->setPacing(Pacing(pacing));
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY2(reported.isEmpty(), qPrintable(reported.value(0).message));
        QCOMPARE(program->window().statusText(), QStringLiteral(" OK "));
        QCOMPARE(readFile(catalogueFile()), expectedCatalogue(image));

        QStringList expectedNames;
        for (const sim::DemoRecord& record : sim::demoRecords())
            if (record.kind <= kHighestListedKind)
                expectedNames << QString::fromLatin1(record.name);
        const QStringList lines = listLines();
        QCOMPARE(lines.size(), expectedNames.size());
        for (int row = 0; row < lines.size(); ++row) {
            QVERIFY2(lines[row].startsWith(expectedNames[row] + QStringLiteral("  ")),
                     qPrintable(lines[row]));
            QCOMPARE(lines[row].size(), 36);
        }
    }

    void clickingALevelRecordDrawsIt()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        const int row = firstRowOfKind(kLevelKind);
        QVERIFY(row >= 0);
        const QImage before = program->picture().image();
        meter->clearRecords();
        clickRow(row);
        QVERIFY2(reported.isEmpty(), qPrintable(reported.value(0).message));
        const int slot = program->catalogue().listSlot()[row];
        QCOMPARE(meter->requestedPages(), QList<int>{dataPage(slot, 1)});
        QCOMPARE(program->window().statusText(), QStringLiteral("Page OK "));
        QVERIFY(program->picture().image() != before);
        QVERIFY(!program->picture().printedLines().isEmpty());
    }

    // Each fault strikes the Read after a good one; afterwards the meter behaves again.
    void readSurvivesAMisbehavingMeter_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("meter silent") << "silent";
        QTest::newRow("short reply") << "short:200";
        QTest::newRow("reply split by a long gap") << "split:150:400";
        QTest::newRow("garbage shorter than a reply") << "garbage:100";
        QTest::newRow("meter slower than the limit") << "delay:2300";
    }
    void readSurvivesAMisbehavingMeter()
    {
        QFETCH(QString, fault);
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY(reported.isEmpty());
        const QByteArray fileBefore = readFile(catalogueFile());
        const QStringList linesBefore = listLines();
        clickRow(firstRowOfKind(kLevelKind));
        const QImage pictureBefore = program->picture().image();

        const int handledBefore = meter->handledPageRequestCount();
        meter->setFault(*ReplyFault::parse(fault));
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].message.contains(QStringLiteral("page 512")),
                 qPrintable(reported[0].message));
        // The user reads the message; meanwhile whatever the meter still sends goes by.
        QVERIFY(meter->waitForHandledPageRequests(handledBefore + 1, std::chrono::seconds(3)));
        QTest::qWait(100);
        QVERIFY(reported[0].message.contains(meter->devicePath()));
        QCOMPARE(readFile(catalogueFile()), fileBefore);
        QCOMPARE(listLines(), linesBefore);
        QCOMPARE(program->picture().image(), pictureBefore);
        QVERIFY(button("Command7").isEnabled());

        // A click on a record fails the same way, and leaves the picture alone.
        clickRow(firstRowOfKind(kLevelKind));
        QCOMPARE(reported.size(), 2);
        QCOMPARE(program->picture().image(), pictureBefore);

        meter->setFault(ReplyFault::none());
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QCOMPARE(reported.size(), 2);
        QCOMPARE(program->window().statusText(), QStringLiteral(" OK "));
        QCOMPARE(listLines(), linesBefore);
    }

    // Replies that are odd but the same every time: these still make a catalogue.
    void readTakesOddButCompleteReplies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("pacing");
        QTest::newRow("reply of 300 bytes") << "long:300" << int(Pacing::Uart);
        QTest::newRow("reply of 300 bytes, usb adapter") << "long:300" << int(Pacing::Usb);
        QTest::newRow("meter slow but within the limit") << "delay:300" << int(Pacing::Unpaced);
    }
    void readTakesOddButCompleteReplies()
    {
        QFETCH(QString, fault);
        QFETCH(int, pacing);
        meter->setPacing(Pacing(pacing));
        meter->setFault(*ReplyFault::parse(fault));
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY2(reported.isEmpty(), qPrintable(reported.value(0).message));
        QCOMPARE(readFile(catalogueFile()), expectedCatalogue(image));
    }

    // Glitches on the line in the middle of a Read (the fifth page request): the Read ends with
    // the exact catalogue or with one report and nothing written or listed.
    void readGivesTheRightCatalogueOrOneReport_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("pacing");
        QTest::addColumn<bool>("mustSucceed"); // the link recovers from this glitch by itself
        QTest::addColumn<QString>("failure");  // what the report must say, if there is one
        QTest::newRow("stray bytes 40 ms after a reply")
            << "stray-after:3:40@5" << int(Pacing::Uart) << true << "";
        QTest::newRow("a stray byte before a reply, usb adapter in low-latency mode")
            << "stray-before:1@5" << int(Pacing::UsbLowLatency) << true << "";
        QTest::newRow("a reply twice, again 25 ms later")
            << "repeat:25@5" << int(Pacing::Uart) << false << "(slot ";
        QTest::newRow("noise on the line") << "noise:2500@5" << int(Pacing::Uart) << false
                                           << "never went quiet: another device may be sending";
        QTest::newRow("a stall mid-reply")
            << "stall:128@5" << int(Pacing::Unpaced) << false << "128 of 257 bytes";
    }
    void readGivesTheRightCatalogueOrOneReport()
    {
        QFETCH(QString, fault);
        QFETCH(int, pacing);
        QFETCH(bool, mustSucceed);
        QFETCH(QString, failure);
        meter->setPacing(Pacing(pacing));
        meter->setFault(*ReplyFault::parse(fault));
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        if (reported.isEmpty()) {
            QCOMPARE(program->window().statusText(), QStringLiteral(" OK "));
            QCOMPARE(readFile(catalogueFile()), expectedCatalogue(image));
            return;
        }
        QVERIFY2(!mustSucceed, qPrintable(reported[0].message));
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].message.contains(failure), qPrintable(reported[0].message));
        QVERIFY(reported[0].message.contains(meter->devicePath()));
        QVERIFY(!QFile::exists(catalogueFile()));
        QVERIFY(listLines().isEmpty());
    }

    void pulledCableIsReportedOnceAndTheNextReadWorks()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        const QByteArray fileBefore = readFile(catalogueFile());
        const QStringList linesBefore = listLines();

        meter->setFault(ReplyFault::noAnswer());
        QTimer::singleShot(300, this, [this] { meter->closeLine(); });
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].message.contains(QStringLiteral("went away")),
                 qPrintable(reported[0].message));
        // The port first, then what to do; the catalogue's own note below, not a second advice.
        const UserMessage message(reported[0].message);
        checkMessageShape(message, QStringLiteral("COM1 (%1)").arg(meter->devicePath()),
                          QStringLiteral("press Open"));
        QVERIFY2(message.details.contains(QStringLiteral("MeterDat.dat and the record list were "
                                                         "left as they were.")),
                 qPrintable(reported[0].message));
        QCOMPARE(readFile(catalogueFile()), fileBefore);
        QCOMPARE(listLines(), linesBefore);
        QTest::qWait(100);
        QCOMPARE(reported.size(), 1);

        // The cable is back (a new device): the next Read opens it and works.
        startMeter();
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QCOMPARE(reported.size(), 1);
        QCOMPARE(program->window().statusText(), QStringLiteral(" OK "));
    }

    // A second window on the port the first one holds is told who holds it, not of a
    // permission problem.
    void secondWindowOnTheSamePortIsToldWhoHoldsIt()
    {
        QTest::mouseClick(&button("Command1"), Qt::LeftButton);
        QVERIFY(reported.isEmpty());
        CableMeterApp second(testing::testPortMap(meter->devicePath()));
        QStringList secondReported;
        second.window().setErrorReporter([&secondReported](const QString&, const QString& message) {
            secondReported << message;
        });
        QTest::mouseClick(second.window().findChild<QPushButton*>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        QCOMPARE(secondReported.size(), 1);
        const UserMessage message(secondReported.first());
        checkMessageShape(message, QStringLiteral("COM1 (%1)").arg(meter->devicePath()),
                          QStringLiteral("press Open"));
        QVERIFY2(message.what.contains(QStringLiteral(" is in use by ")),
                 qPrintable(message.text()));
        QVERIFY2(message.what.contains(
                     QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid())),
                 qPrintable(message.text()));
        QVERIFY2(!message.text().contains(QStringLiteral("Permission"), Qt::CaseInsensitive),
                 qPrintable(message.text()));
    }

    void catalogueFileThatCannotBeWrittenIsReported()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        const QStringList linesBefore = listLines();
        // A folder in the file's place: it cannot be opened for writing, even by root.
        QVERIFY(QFile::remove(catalogueFile()));
        QVERIFY(QDir(folder->path()).mkdir(QStringLiteral("MeterDat.dat")));
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].message.contains(QStringLiteral("MeterDat.dat")),
                 qPrintable(reported[0].message));
        QCOMPARE(listLines(), linesBefore);
    }

    void quitDuringAWaitingReadEndsItAtOnce()
    {
        meter->setFault(ReplyFault::noAnswer());
        QTimer::singleShot(200, this,
                           [this] { QTest::mouseClick(&button("Command3"), Qt::LeftButton); });
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY(!program->link().isReading());
        QVERIFY(reported.isEmpty()); // cut short by Quit: nothing to tell
        QCOMPARE(meter->requestedPages(), QList<int>{512});
    }
};

QTEST_MAIN(ProgramWithMeterTest)
#include "tst_program_with_meter.moc"
