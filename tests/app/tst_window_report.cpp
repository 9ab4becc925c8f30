// The record list's "Create report..." against the simulated meter over a pty: the menu opens on a
// right-click and offers its shortcut, the report is read through the link and drawn offscreen,
// and the picture, the list and MeterDat.dat are left alone. A broken limits file reads nothing,
// Esc writes nothing, and Read and the list wait while a report runs.
#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "app/window_report.h"
#include "link/page.h"
#include "platform/file_dialog.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/test_port_map.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
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

// Answers the save dialog and the limits dialog as a user would.
class ScriptedDialog : public FileDialog {
public:
    std::optional<QString> saveAnswer;
    std::optional<QString> limitsAnswer;
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
};

struct Message {
    QString title;
    QString text;
};

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

    // Right-clicks the list and lets `act` handle the menu that opens.
    void rightClickList(const std::function<void(QMenu*)>& act)
    {
        bool menuSeen = false;
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menuSeen = menu != nullptr;
            if (!menu)
                return;
            act(menu);
        });
        const QPoint inside = list().viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside,
                                list().viewport()->mapToGlobal(inside));
        QApplication::sendEvent(list().viewport(), &event);
        QVERIFY(menuSeen);
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
        program = std::make_unique<CableMeterApp>(testing::testPortMap(meter->devicePath()), nullptr,
                                                  std::move(scripted));
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

    void menuWritesAReportAndLeavesTheWindowAlone()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        QVERIFY(errors.isEmpty());
        QFile::remove(QStringLiteral("MeterDat.dat"));
        const QStringList linesBefore = [this] {
            QStringList lines;
            for (int row = 0; row < list().count(); ++row)
                lines << list().item(row)->text();
            return lines;
        }();
        const QImage pictureBefore = program->picture().image();
        meter->clearRecords();
        dialog->saveAnswer = inFolder(QStringLiteral("site.pdf"));
        dialog->limitsAnswer = kExampleLimits;

        rightClickList([](QMenu* menu) {
            QCOMPARE(menu->actions().size(), 1);
            QAction* create = menu->actions().first();
            QCOMPARE(create->text(), QStringLiteral("Create report..."));
            QVERIFY(create->isShortcutVisibleInContextMenu());
            QCOMPARE(create->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
            menu->setActiveAction(create);
            QTest::keyClick(menu, Qt::Key_Return);
        });

        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).text));
        QCOMPARE(done.size(), 1);
        QVERIFY2(done[0].text.contains(inFolder(QStringLiteral("site.pdf"))),
                 qPrintable(done[0].text));
        QVERIFY(done[0].text.contains(QStringLiteral("FAIL")));
        QVERIFY(QFile(inFolder(QStringLiteral("site.pdf"))).open(QIODevice::ReadOnly));
        QFile pdf(inFolder(QStringLiteral("site.pdf")));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QCOMPARE(program->window().statusText(), QStringLiteral("Report written"));
        // Read through the link, each page once; nothing of the window changed.
        const QList<int> pages = meter->requestedPages();
        QCOMPARE(QSet<int>(pages.begin(), pages.end()).size(), pages.size());
        QVERIFY(pages.contains(headerPage(0)));
        QCOMPARE(program->picture().image(), pictureBefore);
        QCOMPARE(list().count(), linesBefore.size());
        QVERIFY(!QFile::exists(QStringLiteral("MeterDat.dat")));
        QVERIFY(button("Command7").isEnabled());
    }

    void rightClickReadsAndDrawsNothing()
    {
        QTest::mouseClick(&button("Command7"), Qt::LeftButton);
        const QImage pictureBefore = program->picture().image();
        meter->clearRecords();
        QListWidgetItem* item = list().item(0);
        QTest::mouseClick(list().viewport(), Qt::RightButton, {},
                          list().visualItemRect(item).center());
        rightClickList([](QMenu* menu) { menu->close(); });
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
};

QTEST_MAIN(WindowReportTest)
#include "tst_window_report.moc"
