// The record list's menu against the simulated meter over a pty: it opens on a right-click and
// offers "Export all records..." and "Create report..." with their shortcuts. Both read through
// the link and leave the picture, the list and MeterDat.dat alone. The export writes what
// cablemeter-cli export writes from the same meter, replaces an earlier export only after a Yes,
// writes nothing beside a file of the user's under one of its names, and leaves nothing when Esc
// or Quit stops it. A broken limits file reads nothing, Esc writes no report, and Read and the
// list wait while either runs.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "app/window_export.h"
#include "app/window_report.h"
#include "link/page.h"
#include "app/file_dialog.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/test_port_map.h"
#include "tests/cli/cli_process.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace cablemeter;
using cablemeter::sim::MeterSimulator;
using cablemeter::sim::Pacing;

namespace {

const QString kExampleLimits =
    QStringLiteral(CABLEMETER_TEST_DATA "/../../packaging/data/example-limits.txt");

const QString kExportAll = QStringLiteral("Export all records...");
const QString kCreateReport = QStringLiteral("Create report...");
const QString kExportList = QStringLiteral("cablemeter-export.txt");

// Answers the save, limits and folder dialogs as a user would.
class ScriptedDialog : public FileDialog {
public:
    std::optional<QString> saveAnswer;
    std::optional<QString> limitsAnswer;
    std::optional<QString> folderAnswer;
    QStringList asked;

    std::optional<QString> askSaveFileName(const QString& filter, const QString&) override
    {
        asked << filter;
        return saveAnswer;
    }
    std::optional<QString> askOpenFileName(const QString& title, const QString&) override
    {
        asked << title;
        return limitsAnswer;
    }
    std::optional<QString> askFolderName(const QString& title) override
    {
        asked << title;
        return folderAnswer;
    }
};

struct Message {
    QString title;
    QString text;
};

// An entry of the record list's menu as the user sees it.
struct MenuEntry {
    QString text;
    QKeySequence shortcut;
    bool shortcutShown = false;
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every entry of a folder with its bytes; a test compares folders before and after.
QMap<QString, QByteArray> folderContents(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        contents.insert(name, fileBytes(dir.filePath(name)));
    return contents;
}

} // namespace

class WindowReportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MeterSimulator> meter;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<CableMeterApp> program;
    ScriptedDialog* dialog = nullptr;
    QList<Message> errors;
    QList<Message> done;
    QString startFolder = QDir::currentPath();

    QListWidget& list()
    {
        return *program->window().findChild<QListWidget*>(QStringLiteral("List1"));
    }
    QPushButton& button(const char* name)
    {
        return *program->window().findChild<QPushButton*>(QLatin1String(name));
    }
    QString inFolder(const QString& name) const { return folder->filePath(name); }

    // Right-clicks the list, notes the entries of the menu that opens and chooses the one named
    // `choice` (none: the menu is closed).
    QList<MenuEntry> rightClickList(const QString& choice = {})
    {
        QList<MenuEntry> entries;
        bool menuSeen = false;
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menuSeen = menu != nullptr;
            if (!menu)
                return;
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                entries.append(
                    {action->text(), action->shortcut(), action->isShortcutVisibleInContextMenu()});
                if (action->text() == choice)
                    chosen = action;
            }
            if (!chosen) {
                menu->close();
                return;
            }
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const QPoint inside = list().viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside,
                                list().viewport()->mapToGlobal(inside));
        QApplication::sendEvent(list().viewport(), &event);
        if (!menuSeen)
            qWarning("no menu opened");
        return entries;
    }

    QStringList listLines()
    {
        QStringList lines;
        for (int row = 0; row < list().count(); ++row)
            lines << list().item(row)->text();
        return lines;
    }

    // Reads the catalogue as the user would first, so that a picture and a list are there to be
    // left alone, then forgets what the meter was asked.
    void readTheCatalogue()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY(errors.isEmpty());
        QFile::remove(QStringLiteral("MeterDat.dat"));
        meter->clearRecords();
    }

    // Every page the meter was asked for was asked once, the catalogue's included.
    void verifyEachPageReadOnce()
    {
        const QList<int> pages = meter->requestedPages();
        QCOMPARE(QSet<int>(pages.begin(), pages.end()).size(), pages.size());
        QVERIFY(pages.contains(headerPage(0)));
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(folder->path()));
        meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Unpaced);
        QVERIFY2(meter->start(), qPrintable(meter->errorString()));
        auto scripted = std::make_unique<ScriptedDialog>();
        dialog = scripted.get();
        program = std::make_unique<CableMeterApp>(testing::testPortMap(meter->devicePath()),
                                                  nullptr, std::move(scripted));
        errors.clear();
        done.clear();
        program->window().setErrorReporter([this](const QString& title, const QString& text) {
            errors.append({title, text});
        });
        program->window().setDoneReporter([this](const QString& title, const QString& text) {
            done.append({title, text});
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

    void menuOffersExportAndReportWithShortcuts()
    {
        const QList<MenuEntry> entries = rightClickList();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].text, kExportAll);
        QCOMPARE(entries[0].shortcut, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
        QCOMPARE(entries[1].text, kCreateReport);
        QCOMPARE(entries[1].shortcut, QKeySequence(Qt::CTRL | Qt::Key_R));
        for (const MenuEntry& entry : entries)
            QVERIFY2(entry.shortcutShown, qPrintable(entry.text));
        QVERIFY(meter->requestedPages().isEmpty());
        QVERIFY(dialog->asked.isEmpty());
    }

    void menuWritesAReportAndLeavesTheWindowAlone()
    {
        readTheCatalogue();
        const QStringList linesBefore = listLines();
        const QImage pictureBefore = program->picture().image();
        dialog->saveAnswer = inFolder(QStringLiteral("site.pdf"));
        dialog->limitsAnswer = kExampleLimits;

        rightClickList(kCreateReport);

        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).text));
        QCOMPARE(done.size(), 1);
        QVERIFY2(done[0].text.contains(inFolder(QStringLiteral("site.pdf"))),
                 qPrintable(done[0].text));
        QVERIFY(done[0].text.contains(QStringLiteral("FAIL")));
        QCOMPARE(fileBytes(inFolder(QStringLiteral("site.pdf"))).left(5), QByteArray("%PDF-"));
        QCOMPARE(program->window().statusText(), QStringLiteral("Report written"));
        // Read through the link, each page once; nothing of the window changed.
        verifyEachPageReadOnce();
        QCOMPARE(program->picture().image(), pictureBefore);
        QCOMPARE(listLines(), linesBefore);
        QVERIFY(!QFile::exists(QStringLiteral("MeterDat.dat")));
        QVERIFY(button("Command7").isEnabled());
    }

    // The window's export and cablemeter-cli's, from the same meter: the same files, byte for
    // byte, the window's read through the link with each page once.
    void menuExportsWhatTheCommandLineExports()
    {
        readTheCatalogue();
        const QStringList linesBefore = listLines();
        const QImage pictureBefore = program->picture().image();
        const QString windowFolder = inFolder(QStringLiteral("window"));
        QVERIFY(QDir().mkdir(windowFolder));
        dialog->folderAnswer = windowFolder;

        rightClickList(kExportAll);

        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).text));
        QCOMPARE(done.size(), 1);
        QCOMPARE(done[0].title, QStringLiteral("Export written"));
        QCOMPARE(program->window().statusText(), QStringLiteral("Export written"));
        const QMap<QString, QByteArray> written = folderContents(windowFolder);
        const qsizetype pictures =
            QDir(windowFolder).entryList({QStringLiteral("*.png")}, QDir::Files).size();
        QVERIFY(pictures > 0);
        QCOMPARE(written.size(), pictures + 3);
        for (const QString& name :
             {QStringLiteral("records.csv"), QStringLiteral("points.csv"), kExportList})
            QVERIFY2(written.contains(name) && !written.value(name).isEmpty(), qPrintable(name));
        // The message names the folder and what was written.
        for (const QString& said : {windowFolder, QStringLiteral("%1 pictures").arg(pictures),
                                    QStringLiteral("records.csv"), QStringLiteral("points.csv")})
            QVERIFY2(done[0].text.contains(said), qPrintable(done[0].text));
        verifyEachPageReadOnce();
        QCOMPARE(program->picture().image(), pictureBefore);
        QCOMPARE(listLines(), linesBefore);
        QVERIFY(!QFile::exists(QStringLiteral("MeterDat.dat")));
        QVERIFY(button("Command7").isEnabled() && list().isEnabled());

        // The window lets go of the port, as a user would close it before using the other program.
        QTest::mouseClick(&button("Command2"), Qt::LeftButton);
        const QString cliFolder = inFolder(QStringLiteral("cli"));
        const testing::CliRun run =
            testing::runCli({QStringLiteral("export"), QStringLiteral("--port"),
                             meter->devicePath(), QStringLiteral("--dir"), cliFolder});
        QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
        const QMap<QString, QByteArray> cliWritten = folderContents(cliFolder);
        QCOMPARE(written.keys(), cliWritten.keys());
        for (const QString& name : written.keys())
            QVERIFY2(written.value(name) == cliWritten.value(name), qPrintable(name));
    }

    // A folder that already holds files: an earlier export goes only after a Yes, and a file of
    // the user's under a name the export writes stops it before anything is written or removed.
    void exportIntoAFolderThatHoldsFiles_data()
    {
        QTest::addColumn<bool>("earlierExport"); // one listing slot31-level-OLD.png
        QTest::addColumn<QString>("usersFile");  // beside notes.txt, under an export's name
        QTest::addColumn<bool>("answer");        // to the question whether to replace it
        QTest::addColumn<bool>("written");
        QTest::newRow("the user's records.csv") << false << "records.csv" << true << false;
        QTest::newRow("an earlier export, No") << true << "" << false << false;
        QTest::newRow("an earlier export, Yes") << true << "" << true << true;
        QTest::newRow("an earlier export and the user's points.csv, Yes")
            << true << "points.csv" << true << false;
    }

    void exportIntoAFolderThatHoldsFiles()
    {
        QFETCH(bool, earlierExport);
        QFETCH(QString, usersFile);
        QFETCH(bool, answer);
        QFETCH(bool, written);
        const QString target = inFolder(QStringLiteral("target"));
        QVERIFY(QDir().mkdir(target));
        const QDir dir(target);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("notes.txt")), "the user's"));
        if (!usersFile.isEmpty())
            QVERIFY(writeFile(dir.filePath(usersFile), "the user's"));
        if (earlierExport) {
            QVERIFY(writeFile(dir.filePath(QStringLiteral("slot31-level-OLD.png")), "earlier"));
            QVERIFY(writeFile(dir.filePath(kExportList),
                              "# an earlier export\nslot31-level-OLD.png\n"));
        }
        const QMap<QString, QByteArray> before = folderContents(target);
        QStringList questions;
        program->window().setQuestionAnswerer([&](const QString& title, const QString& question) {
            questions << title + QLatin1Char('\n') + question;
            return answer;
        });
        dialog->folderAnswer = target;

        QTest::keyClick(program->window().windowHandle(), Qt::Key_E,
                        Qt::ControlModifier | Qt::ShiftModifier);

        // Asked once, naming the folder, and only when an earlier export is there.
        QCOMPARE(questions.size(), earlierExport ? 1 : 0);
        if (earlierExport)
            QVERIFY2(questions[0].contains(target), qPrintable(questions[0]));
        const QMap<QString, QByteArray> after = folderContents(target);
        QCOMPARE(after.value(QStringLiteral("notes.txt")), QByteArray("the user's"));
        if (!usersFile.isEmpty())
            QCOMPARE(after.value(usersFile), QByteArray("the user's"));
        if (!written) {
            QCOMPARE(after, before);
            QVERIFY(done.isEmpty());
            // No: nothing read. A clash: one message naming the file.
            if (!answer)
                QVERIFY(meter->requestedPages().isEmpty() && errors.isEmpty());
            else {
                QCOMPARE(errors.size(), 1);
                QVERIFY2(errors[0].text.contains(dir.filePath(usersFile)),
                         qPrintable(errors[0].text));
                QVERIFY2(errors[0].text.contains(QStringLiteral("nothing was written")),
                         qPrintable(errors[0].text));
            }
            return;
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).text));
        QCOMPARE(done.size(), 1);
        QVERIFY2(done[0].text.contains(QStringLiteral("earlier export")), qPrintable(done[0].text));
        QVERIFY(!after.contains(QStringLiteral("slot31-level-OLD.png")));
        QVERIFY(after.contains(QStringLiteral("records.csv")));
        QVERIFY(!after.value(kExportList).contains("OLD"));
    }

    void rightClickReadsAndDrawsNothing()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        const QImage pictureBefore = program->picture().image();
        meter->clearRecords();
        QListWidgetItem* item = list().item(0);
        QTest::mouseClick(list().viewport(), Qt::RightButton, {},
                          list().visualItemRect(item).center());
        QCOMPARE(rightClickList().size(), 2);
        QVERIFY(meter->requestedPages().isEmpty());
        QCOMPARE(program->picture().image(), pictureBefore);
        QVERIFY(errors.isEmpty() && done.isEmpty());
    }

    void brokenLimitsReadNothing()
    {
        const QString limits = inFolder(QStringLiteral("limits.txt"));
        QFile file(limits);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[volt]\nac min = 40 V\nac max = 90\n");
        file.close();
        dialog->saveAnswer = inFolder(QStringLiteral("site.html"));
        dialog->limitsAnswer = limits;
        program->window().createReportAction()->trigger();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].text.contains(QStringLiteral("line 3: ")), qPrintable(errors[0].text));
        QVERIFY(meter->requestedPages().isEmpty());
        QVERIFY(!QFile::exists(inFolder(QStringLiteral("site.html"))));
    }

    void escapeCancelsAndReadWaits()
    {
        meter->setPacing(Pacing::Uart);
        dialog->saveAnswer = inFolder(QStringLiteral("cancelled.html"));
        bool readWaited = false;
        QTimer pressEscape;
        connect(&pressEscape, &QTimer::timeout, this, [&] {
            if (meter->handledPageRequestCount() < 3)
                return;
            pressEscape.stop();
            readWaited = !button("Command7").isEnabled() && !list().isEnabled() &&
                         !program->window().createReportAction()->isEnabled();
            QTest::keyClick(program->window().windowHandle(), Qt::Key_Escape);
        });
        pressEscape.start(5);
        QTest::keyClick(program->window().windowHandle(), Qt::Key_R, Qt::ControlModifier);
        QVERIFY(readWaited);
        QVERIFY(errors.isEmpty() && done.isEmpty());
        QCOMPARE(program->window().statusText(), QStringLiteral("Report cancelled"));
        QVERIFY(!QFile::exists(inFolder(QStringLiteral("cancelled.html"))));
        QVERIFY(meter->requestedPages().size() < kSlotCount);
        QVERIFY(button("Command7").isEnabled());
    }

    void listFontHasTheWindowsSize()
    {
        QCOMPARE(list().font().pointSize(), program->window().font().pointSize());
        QVERIFY(list().font().fixedPitch() || QFontInfo(list().font()).fixedPitch());
    }

    // Esc or Quit while the export runs: Read, the list and the menu wait meanwhile, and nothing
    // of the export is left, also when it had written pictures already. Quit ends this process's
    // event loops for good, so its row and this test come last.
    void stoppedExportLeavesNothing_data()
    {
        QTest::addColumn<bool>("quit");          // Quit instead of Esc
        QTest::addColumn<bool>("afterPictures"); // once the first picture is written
        QTest::newRow("Esc while the catalogue is read") << false << false;
        QTest::newRow("Esc after the first picture") << false << true;
        QTest::newRow("Quit after the first picture") << true << true;
    }

    void stoppedExportLeavesNothing()
    {
        QFETCH(bool, quit);
        QFETCH(bool, afterPictures);
        constexpr int kPagesBeforeStop = 3;
        const QString target = inFolder(QStringLiteral("stopped"));
        QVERIFY(QDir().mkdir(target));
        dialog->folderAnswer = target;
        bool stopped = false;
        bool controlsWaited = false;
        QTimer stop;
        connect(&stop, &QTimer::timeout, this, [&] {
            const bool due = afterPictures ? !QDir(target).entryList(QDir::Files).isEmpty()
                                           : meter->handledPageRequestCount() >= kPagesBeforeStop;
            if (!due)
                return;
            stop.stop();
            stopped = true;
            controlsWaited = !button("Command7").isEnabled() && !list().isEnabled() &&
                             !program->window().exportAllAction()->isEnabled() &&
                             !program->window().createReportAction()->isEnabled();
            if (quit)
                QTest::mouseClick(&button("Command3"), Qt::LeftButton);
            else
                QTest::keyClick(program->window().windowHandle(), Qt::Key_Escape);
        });
        stop.start(1);

        program->window().exportAllAction()->trigger();

        QVERIFY(stopped);
        QVERIFY(controlsWaited);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).text));
        QVERIFY(done.isEmpty());
        QCOMPARE(folderContents(target), (QMap<QString, QByteArray>()));
        QVERIFY(!program->recordExport().isRunning());
        if (!quit)
            QCOMPARE(program->window().statusText(), QStringLiteral("Export cancelled"));
        QVERIFY(button("Command7").isEnabled());
    }
};

QTEST_MAIN(WindowReportTest)
#include "tst_window_report.moc"
