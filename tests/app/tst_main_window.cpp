#include "app/cable_meter_app.h"
#include "app/indicator_shape.h"
#include "app/main_window.h"
#include "app/screen_view.h"
#include "catalogue/catalogue_pages.h"
#include "catalogue/record_catalogue.h"
#include "link/meter_link.h"
#include "platform/listed_port_discovery.h"
#include "platform/port_names.h"
#include "platform/screen_picture.h"
#include "support/fake_page_reader.h"
#include "support/fake_serial_port.h"

#include <QApplication>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace cablemeter;

namespace {

constexpr int kTwipsPerPixel = 15;

QWidget* control(const MainWindow& window, const QString& name)
{
    return window.findChild<QWidget*>(name);
}

// True when every pixel of `area` in `image` has the same colour.
bool isPlain(const QImage& image, const QRect& area)
{
    const QRgb first = image.pixel(area.topLeft());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

const QColor kRed(255, 0, 0);
const QColor kCyan(0, 255, 255);
constexpr int kLevelKind = 3;

// The window wired to the record catalogue over a fake meter, as the program wires them. The
// meter holds Level records in a few slots; every other slot is empty.
struct WindowWithRecords {
    static inline const QList<int> kRecordSlots = {0, 3, 7, 12};

    QTemporaryDir folder;
    MainWindow window;
    testing::FakePageReader meter;
    ScreenPicture picture;
    RecordCatalogue catalogue{window, meter, picture,
                              folder.filePath(QStringLiteral("MeterDat.dat")), folder.path()};

    WindowWithRecords()
    {
        for (int slot : kRecordSlots)
            meter.setPage(headerPage(slot), testing::makeHeader(kLevelKind));
        window.setErrorReporter([](const QString&, const QString&) {});
        QObject::connect(&window, &MainWindow::readRequested, &window,
                         [this] { catalogue.Command7_Click(); });
        QObject::connect(&window, &MainWindow::listLineClicked, &window,
                         [this] { catalogue.List1_Click(); });
    }

    QListWidget& list() { return *window.findChild<QListWidget*>(QStringLiteral("List1")); }
    QWidget& button(const char* name) { return *window.findChild<QPushButton*>(name); }

    // The list lines whose records were drawn, in order: each drawing starts with its slot's
    // first data page.
    QList<int> drawnRows() const
    {
        QList<int> rows;
        for (int page : meter.requestedPages()) {
            for (int row = 0; row < kRecordSlots.size(); ++row) {
                if (page == dataPage(kRecordSlots[row], 1))
                    rows << row;
            }
        }
        return rows;
    }
    qsizetype pagesRequested() const { return meter.requestedPages().size(); }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void captionAndFixedSize();
    void controlGeometry_data();
    void controlGeometry();
    void captions_data();
    void captions();
    void startState();
    void pictureShowsImagePixelForPixel();
    void indicatorColour();
    void busyDisablesMeterControlsButNotQuit();
    void listControls();
    void listClickSignalsOnlyWithSelectedLine();
    void buttonsRaiseTheirSignals_data();
    void buttonsRaiseTheirSignals();
    void closingByTheFrameRequestsQuit();
    void portSelectorReadsTypedText();
    void portDescriptionIsShownAsTooltip();
    void reportErrorGoesToTheReporterOncePerCall();
    void messageBoxKeepsTheDetailsBehindShowDetails();
    void navigationKeysDrawTheLineTheyMoveTo_data();
    void navigationKeysDrawTheLineTheyMoveTo();
    void focusChangesAndReadDrawNothing();
    void failedOpenTurnsTheIndicatorRed_data();
    void failedOpenTurnsTheIndicatorRed();
};

void TestMainWindow::cleanup() {}

void TestMainWindow::captionAndFixedSize()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Marlo-CABLE METER"));
    QCOMPARE(window.objectName(), QStringLiteral("Form1"));
    const QSize client(10935 / kTwipsPerPixel, 5625 / kTwipsPerPixel);
    QCOMPARE(client, QSize(729, 375));
    QCOMPARE(window.size(), client);
    QCOMPARE(window.minimumSize(), client);
    QCOMPARE(window.maximumSize(), client);
}

void TestMainWindow::controlGeometry_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    // name: container, position and size in twips
    QTest::newRow("Frame1") << "Form1" << 120 << 120 << 5055 << 735;
    QTest::newRow("Shape1") << "Frame1" << 360 << 240 << 255 << 375;
    QTest::newRow("Combo1") << "Frame1" << 720 << 240 << 975 << 300;
    QTest::newRow("Command1") << "Frame1" << 1800 << 240 << 735 << 375;
    QTest::newRow("Command2") << "Frame1" << 2640 << 240 << 735 << 375;
    QTest::newRow("Command4") << "Frame1" << 3840 << 240 << 735 << 375;
    QTest::newRow("Frame2") << "Form1" << 120 << 960 << 5055 << 3855;
    QTest::newRow("List1") << "Frame2" << 120 << 240 << 4815 << 2940;
    QTest::newRow("Command7") << "Frame2" << 240 << 3360 << 1095 << 375;
    QTest::newRow("Text2") << "Frame2" << 2640 << 3360 << 2175 << 375;
    QTest::newRow("ProgressBar1") << "Form1" << 120 << 4920 << 5055 << 255;
    QTest::newRow("Frame3") << "Form1" << 5280 << 120 << 5415 << 5055;
    QTest::newRow("Picture1") << "Frame3" << 240 << 360 << 4935 << 3735;
    QTest::newRow("Command6") << "Frame3" << 240 << 4320 << 975 << 495;
    QTest::newRow("Command3") << "Frame3" << 4200 << 4320 << 975 << 495;
}

void TestMainWindow::controlGeometry()
{
    QFETCH(QString, container);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QWidget* widget = control(window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), QRect(left / kTwipsPerPixel, top / kTwipsPerPixel,
                                       width / kTwipsPerPixel, height / kTwipsPerPixel));
    QVERIFY(widget->isVisible());
}

void TestMainWindow::captions_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("Frame1") << "Select Com Port";
    QTest::newRow("Frame2") << "ReadFiles";
    QTest::newRow("Frame3") << "DispPlay";
    QTest::newRow("Command1") << "Open";
    QTest::newRow("Command2") << "Close";
    QTest::newRow("Command4") << "Beep";
    QTest::newRow("Command7") << "Read";
    QTest::newRow("Command6") << "Save As";
    QTest::newRow("Command3") << "Quit";
}

void TestMainWindow::captions()
{
    QFETCH(QString, caption);
    MainWindow window;
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    if (const auto* frame = window.findChild<QGroupBox*>(name))
        QCOMPARE(frame->title(), caption);
    else if (const auto* button = window.findChild<QPushButton*>(name))
        QCOMPARE(button->text(), caption);
    else
        QFAIL("no frame or button of that name");
}

void TestMainWindow::startState()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* indicator = window.findChild<IndicatorShape*>("Shape1");
    QVERIFY(indicator);
    QCOMPARE(indicator->colour(), QColor(255, 0, 0));
    const QImage shapePixels = indicator->grab().toImage();
    QCOMPARE(QColor(shapePixels.pixel(shapePixels.rect().center())), QColor(255, 0, 0));

    auto* selector = window.findChild<QComboBox*>("Combo1");
    QVERIFY(selector);
    QVERIFY(selector->isEditable());
    QCOMPARE(selector->currentText(), QStringLiteral("COM1"));
    QCOMPARE(window.portSelectorText(), QStringLiteral("COM1"));
    QCOMPARE(selector->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(selector->itemText(i), QStringLiteral("COM%1").arg(i + 1));

    auto* list = window.findChild<QListWidget*>("List1");
    QVERIFY(list);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(window.listCount(), 0);
    QCOMPARE(window.selectedListLine(), -1);

    auto* status = window.findChild<QLineEdit*>("Text2");
    QVERIFY(status);
    QVERIFY(status->isReadOnly());
    QCOMPARE(window.statusText(), QString());

    auto* progress = window.findChild<QProgressBar*>("ProgressBar1");
    QVERIFY(progress);
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->value(), 0);
    QVERIFY(!progress->isTextVisible());

    ScreenView* picture = window.screenView();
    QCOMPARE(picture->objectName(), QStringLiteral("Picture1"));
    QVERIFY(picture->image().isNull());
    QVERIFY(isPlain(picture->grab().toImage(), picture->contentsRect()));
}

void TestMainWindow::pictureShowsImagePixelForPixel()
{
    MainWindow window;
    ScreenView* picture = window.screenView();
    // The drawing area holds the whole 320 x 240 screen inside the border.
    QVERIFY(picture->contentsRect().width() >= 320);
    QVERIFY(picture->contentsRect().height() >= 240);

    QImage screen(320, 240, QImage::Format_RGB32);
    screen.fill(Qt::white);
    for (int x = 0; x < 320; x += 2)
        screen.setPixel(x, 17, qRgb(0, 0, 255)); // a dotted line: scaling or smoothing blurs it
    screen.setPixel(0, 0, qRgb(255, 0, 0));
    screen.setPixel(319, 239, qRgb(0, 128, 0));
    window.showPicture(screen);
    QCOMPARE(picture->image(), screen);

    const QImage shown = picture->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = picture->contentsRect().topLeft();
    QCOMPARE(shown.copy(QRect(origin, screen.size())), screen);

    window.showPicture(QImage());
    QVERIFY(isPlain(picture->grab().toImage(), picture->contentsRect()));
}

void TestMainWindow::indicatorColour()
{
    MainWindow window;
    auto* indicator = window.findChild<IndicatorShape*>("Shape1");
    window.showIndicator(QColor(0, 255, 255));
    QCOMPARE(indicator->colour(), QColor(0, 255, 255));
    const QImage pixels = indicator->grab().toImage();
    QCOMPARE(QColor(pixels.pixel(pixels.rect().center())), QColor(0, 255, 255));
    window.showIndicator(QColor(255, 0, 0));
    QCOMPARE(indicator->colour(), QColor(255, 0, 0));
}

void TestMainWindow::busyDisablesMeterControlsButNotQuit()
{
    MainWindow window;
    const QStringList meterControls = {"Command7", "List1",    "Command1",
                                       "Command2", "Command4", "Command6"};
    {
        BusyScope busy(window);
        for (const QString& name : meterControls)
            QVERIFY2(!control(window, name)->isEnabled(), qPrintable(name));
        QVERIFY(control(window, "Command3")->isEnabled());
        QVERIFY(control(window, "Combo1")->isEnabled());
    }
    for (const QString& name : meterControls)
        QVERIFY2(control(window, name)->isEnabled(), qPrintable(name));
}

void TestMainWindow::listControls()
{
    MainWindow window;
    window.appendListLine(QStringLiteral("FIRST  Level 06/12/26"));
    window.appendListLine(QStringLiteral("second Tilt "));
    QCOMPARE(window.listCount(), 2);
    QCOMPARE(window.listLine(1), QStringLiteral("second Tilt "));
    QCOMPARE(window.listLine(2), QString());

    auto* list = window.findChild<QListWidget*>("List1");
    list->setCurrentRow(1);
    QCOMPARE(window.selectedListLine(), 1);
    window.clearList();
    QCOMPARE(window.listCount(), 0);
    QCOMPARE(window.selectedListLine(), -1);

    window.setStatusText(QStringLiteral(" OK "));
    QCOMPARE(window.statusText(), QStringLiteral(" OK "));

    auto* progress = window.findChild<QProgressBar*>("ProgressBar1");
    window.setProgressMaximum(50);
    window.setProgressValue(31);
    QCOMPARE(progress->maximum(), 50);
    QCOMPARE(progress->value(), 31);
    window.setProgressVisible(false);
    QVERIFY(progress->isHidden());
}

void TestMainWindow::listClickSignalsOnlyWithSelectedLine()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const char* line : {"zero", "one", "two"})
        window.appendListLine(QLatin1String(line));
    auto* list = window.findChild<QListWidget*>("List1");
    QSignalSpy clicks(&window, &MainWindow::listLineClicked);

    const QPoint onLine1 = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onLine1);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.takeFirst().at(0).toInt(), 1);

    // A control-click on the selected line deselects it: nothing to show, no signal.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, onLine1);
    QCOMPARE(window.selectedListLine(), -1);
    QCOMPARE(clicks.count(), 0);

    // Below the last line there is nothing to click.
    const QPoint belowLines = list->visualItemRect(list->item(2)).bottomLeft() + QPoint(5, 20);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, belowLines);
    QCOMPARE(clicks.count(), 0);
}

void TestMainWindow::buttonsRaiseTheirSignals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("Open") << "Command1" << QByteArray(SIGNAL(openRequested()));
    QTest::newRow("Close") << "Command2" << QByteArray(SIGNAL(closeRequested()));
    QTest::newRow("Beep") << "Command4" << QByteArray(SIGNAL(beepRequested()));
    QTest::newRow("Read") << "Command7" << QByteArray(SIGNAL(readRequested()));
    QTest::newRow("Save As") << "Command6" << QByteArray(SIGNAL(saveAsRequested()));
    QTest::newRow("Quit") << "Command3" << QByteArray(SIGNAL(quitRequested()));
}

void TestMainWindow::buttonsRaiseTheirSignals()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, signal);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QList<QByteArray> allSignals = {SIGNAL(openRequested()),   SIGNAL(closeRequested()),
                                          SIGNAL(beepRequested()),   SIGNAL(readRequested()),
                                          SIGNAL(saveAsRequested()), SIGNAL(quitRequested())};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const QByteArray& each : allSignals)
        spies.push_back(std::make_unique<QSignalSpy>(&window, each.constData()));

    QTest::mouseClick(control(window, button), Qt::LeftButton);
    for (qsizetype i = 0; i < allSignals.size(); ++i)
        QCOMPARE(spies[i]->count(), allSignals[i] == signal ? 1 : 0);
}

void TestMainWindow::closingByTheFrameRequestsQuit()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy quit(&window, &MainWindow::quitRequested);
    QVERIFY(window.close());
    QCOMPARE(quit.count(), 1);
}

void TestMainWindow::portSelectorReadsTypedText()
{
    MainWindow window;
    auto* selector = window.findChild<QComboBox*>("Combo1");
    selector->lineEdit()->clear();
    QTest::keyClicks(selector->lineEdit(), QStringLiteral("com3"));
    QTest::keyClick(selector->lineEdit(), Qt::Key_Return);
    QCOMPARE(window.portSelectorText(), QStringLiteral("com3"));
    QCOMPARE(selector->count(), 4); // typed names do not join the list

    selector->setCurrentIndex(2);
    QCOMPARE(window.portSelectorText(), QStringLiteral("COM3"));
}

void TestMainWindow::portDescriptionIsShownAsTooltip()
{
    QString plugged = QStringLiteral("/dev/ttyS0|uart|||console,"
                                     "/dev/ttyUSB0|usb|usb-FTDI_A|FT232R USB UART");
    PortMap::Overrides overrides;
    overrides[1] = QStringLiteral("/dev/pts/7"); // as CABLEMETER_COM2 names it
    testing::FakeSerialPort port;
    CableMeterApp program(
        PortMap(overrides, [&plugged] { return ListedPortDiscovery(plugged).findPorts(); }), &port);
    MainWindow& window = program.window();
    QCOMPARE(control(window, "Combo1")->toolTip(),
             QStringLiteral("COM1 (/dev/ttyUSB0, FT232R USB UART)"));
    const QString description = QStringLiteral("COM1 -> /dev/ttyUSB0");
    window.showPortDescription(description);
    QCOMPARE(control(window, "Combo1")->toolTip(), description);
    QCOMPARE(control(window, "Shape1")->toolTip(), description);

    // Picking another port names its device at once: found, named by its variable, or none.
    auto* selector = qobject_cast<QComboBox*>(control(window, "Combo1"));
    selector->setCurrentIndex(1);
    QCOMPARE(selector->toolTip(), QStringLiteral("COM2 (/dev/pts/7)"));
    selector->setCurrentIndex(3);
    QCOMPARE(control(window, "Shape1")->toolTip(), QStringLiteral("COM4 (no serial port)"));
    selector->setCurrentIndex(0);
    QCOMPARE(selector->toolTip(), QStringLiteral("COM1 (/dev/ttyUSB0, FT232R USB UART)"));

    // An adapter plugged in while the program runs is found when the selector changes.
    plugged = QStringLiteral("/dev/ttyUSB0|usb|usb-FTDI_A|FT232R USB UART,"
                             "/dev/ttyACM0|acm|usb-Arduino_B|Arduino Uno");
    selector->setCurrentIndex(2);
    QCOMPARE(selector->toolTip(), QStringLiteral("COM3 (no serial port)"));
    selector->setCurrentIndex(0);
    QCOMPARE(selector->toolTip(), QStringLiteral("COM1 (/dev/ttyACM0, Arduino Uno)"));
}

void TestMainWindow::reportErrorGoesToTheReporterOncePerCall()
{
    MainWindow window;
    QList<QStringList> reported;
    window.setErrorReporter([&](const QString& title, const QString& message) {
        reported.append({title, message});
    });
    window.reportError(QStringLiteral("Open"), QStringLiteral("COM2: permission denied"));
    window.reportError(QStringLiteral("Read"), QStringLiteral("no answer"));
    QCOMPARE(reported.size(), 2);
    QCOMPARE(reported[0], (QStringList{"Open", "COM2: permission denied"}));
    QCOMPARE(reported[1], (QStringList{"Read", "no answer"}));
}

void TestMainWindow::messageBoxKeepsTheDetailsBehindShowDetails()
{
    MainWindow window;
    const UserMessage message(QStringLiteral("COM1 (/dev/ttyUSB0) is in use by minicom (process "
                                             "4711)."),
                              QStringLiteral("Close that program, then press Open."),
                              QStringLiteral("Other serial ports on this computer:\n  COM2 leads "
                                             "to /dev/ttyUSB1"));
    QStringList shown;
    QTimer::singleShot(0, &window, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown << box->windowTitle() << box->text() << box->informativeText() << box->detailedText();
        box->accept();
    });
    window.reportError(QStringLiteral("Port not opened"), message);
    QCOMPARE(shown, (QStringList{"Port not opened", message.what, message.todo, message.details}));
}

void TestMainWindow::navigationKeysDrawTheLineTheyMoveTo_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QList<int>>("drawn"); // rows drawn after the first line's click

    QTest::newRow("Down") << QList<int>{Qt::Key_Down} << false << QList<int>{1};
    QTest::newRow("Down, Down, Up")
        << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << false << QList<int>{1, 2, 1};
    QTest::newRow("End, Home") << QList<int>{Qt::Key_End, Qt::Key_Home} << false
                               << QList<int>{3, 0};
    QTest::newRow("Page Down, Page Up")
        << QList<int>{Qt::Key_PageDown, Qt::Key_PageUp} << false << QList<int>{3, 0};
    QTest::newRow("Up on the first line moves nowhere")
        << QList<int>{Qt::Key_Up, Qt::Key_Home} << false << QList<int>();
    QTest::newRow("End on the last line moves nowhere")
        << QList<int>{Qt::Key_End, Qt::Key_End, Qt::Key_Down} << false << QList<int>{3};
    QTest::newRow("busy: the list takes no keys")
        << QList<int>{Qt::Key_Down, Qt::Key_End} << true << QList<int>();
}

void TestMainWindow::navigationKeysDrawTheLineTheyMoveTo()
{
    QFETCH(QList<int>, keys);
    QFETCH(bool, busy);
    QFETCH(QList<int>, drawn);

    WindowWithRecords program;
    program.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&program.window));
    program.catalogue.Command7_Click();
    QCOMPARE(program.window.listCount(), WindowWithRecords::kRecordSlots.size());
    QListWidget& list = program.list();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.item(0)).center());
    QCOMPARE(program.drawnRows(), QList<int>{0});

    std::optional<BusyScope> busyScope;
    if (busy)
        busyScope.emplace(program.window);
    for (int key : keys)
        QTest::keyClick(&list, Qt::Key(key));
    QCOMPARE(program.drawnRows().mid(1), drawn);
    if (!drawn.isEmpty())
        QCOMPARE(program.window.selectedListLine(), drawn.last());
}

void TestMainWindow::focusChangesAndReadDrawNothing()
{
    constexpr int kPagesOfRead = kSlotCount;
    WindowWithRecords program;
    program.window.show();
    program.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&program.window));
    QListWidget& list = program.list();

    // A Read started while the list has the focus refills it and gives the focus back to it.
    list.setFocus();
    emit program.window.readRequested();
    QCOMPARE(program.pagesRequested(), kPagesOfRead);
    QCOMPARE(QApplication::focusWidget(), &list);
    QCOMPARE(program.window.listCount(), WindowWithRecords::kRecordSlots.size());

    // A second Read from its button, then Tab from Beep into the list: the list makes a line
    // current, but nothing is chosen.
    QTest::mouseClick(&program.button("Command7"), Qt::LeftButton);
    QCOMPARE(program.pagesRequested(), 2 * kPagesOfRead);
    program.button("Command4").setFocus();
    QTest::keyClick(&program.button("Command4"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &list);
    QCOMPARE(program.pagesRequested(), 2 * kPagesOfRead);
    QVERIFY(program.drawnRows().isEmpty());

    // From there the keys choose, and the refocus after each drawing chooses nothing more.
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(program.drawnRows(), (QList<int>{1, 2}));
    QCOMPARE(QApplication::focusWidget(), &list);
}

void TestMainWindow::failedOpenTurnsTheIndicatorRed_data()
{
    QTest::addColumn<bool>("openBefore");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("said");

    QTest::newRow("closed port, busy adapter")
        << false << "COM1" << int(OpenFailure::Busy)
        << "COM1 (/dev/ttyUSB0, FT232R USB UART) is in use by another program.";
    QTest::newRow("open port, adapter unplugged")
        << true << "COM1" << int(OpenFailure::NotFound)
        << "Cannot open COM1 (/dev/ttyUSB0, FT232R USB UART): the device does not exist";
    QTest::newRow("open port, no device behind COM3")
        << true << "COM3" << int(OpenFailure::None) << "only 1 serial port was found";
}

void TestMainWindow::failedOpenTurnsTheIndicatorRed()
{
    QFETCH(bool, openBefore);
    QFETCH(QString, selector);
    QFETCH(int, failure);
    QFETCH(QString, said);

    MainWindow window;
    QStringList reported;
    window.setErrorReporter([&](const QString&, const QString& message) { reported << message; });
    testing::FakeSerialPort port;
    PortMap ports(PortMap::Overrides{}, [] {
        return ListedPortDiscovery(QStringLiteral("/dev/ttyUSB0|usb|usb-FTDI_A|FT232R USB UART"))
            .findPorts();
    });
    MeterLink link(port, ports, window, [&window] {
        return PortChoice::com(portNumberFromSelector(window.portSelectorText()));
    });
    auto* indicator = window.findChild<IndicatorShape*>("Shape1");

    if (openBefore) {
        link.Command1_Click();
        QCOMPARE(indicator->colour(), kCyan);
    }
    qobject_cast<QComboBox*>(control(window, "Combo1"))->setCurrentText(selector);
    port.nextOpenResult = {OpenFailure(failure), QStringLiteral("the system's reason")};
    const qsizetype opensBefore = port.openedDevices.size();
    link.Command1_Click();

    QCOMPARE(indicator->colour(), kRed);
    QVERIFY(!port.isOpen());
    QCOMPARE(reported.size(), 1);
    QVERIFY2(reported.first().contains(said), qPrintable(reported.first()));
    QVERIFY2(UserMessage(reported.first()).todo.endsWith(QStringLiteral("press Open.")),
             qPrintable(reported.first()));
    // A COM number that leads nowhere is never tried on a device.
    QCOMPARE(port.openedDevices.size() - opensBefore, selector == "COM1" ? 1 : 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
