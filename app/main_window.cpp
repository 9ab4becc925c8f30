#include "app/main_window.h"

#include "app/indicator_shape.h"
#include "app/message_box.h"
#include "app/record_list.h"
#include "app/screen_view.h"
#include "app/twips.h"
#include "platform/port_names.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

namespace cablemeter {

namespace {

constexpr char kCaption[] = "Marlo-CABLE METER";
constexpr int kClientWidthTwips = 10935;
constexpr int kClientHeightTwips = 5625;
constexpr int kProgressMaximum = 100;
// The fixed control sizes were laid out for an 8-point dialog font; larger fonts crowd them.
constexpr int kWindowFontPoints = 8;

// Creates a control of type T named `name` at `geometry` inside `container`.
template <typename T> T* place(QWidget* container, const char* name, const QRect& geometry)
{
    T* control = new T(container);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

QPushButton* placeButton(QWidget* container, const char* name, const char* caption,
                         const QRect& geometry)
{
    auto* button = place<QPushButton>(container, name, geometry);
    button->setText(QLatin1String(caption));
    button->setAutoDefault(false);
    return button;
}

QGroupBox* placeFrame(QWidget* container, const char* name, const char* caption,
                      const QRect& geometry)
{
    auto* frame = place<QGroupBox>(container, name, geometry);
    frame->setTitle(QLatin1String(caption));
    return frame;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(kCaption));
    QFont windowFont = font();
    windowFont.setPointSize(kWindowFontPoints);
    setFont(windowFont);

    buildPortFrame();
    buildRecordFrame();

    m_progress = place<QProgressBar>(this, "ProgressBar1", twipsRect(120, 4920, 5055, 255));
    m_progress->setRange(0, kProgressMaximum);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    buildScreenFrame();
    buildRecordMenu();
    connectControls();

    setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
}

void MainWindow::buildPortFrame()
{
    m_portFrame = placeFrame(this, "Frame1", "Select Com Port", twipsRect(120, 120, 5055, 735));
    m_indicator = place<IndicatorShape>(m_portFrame, "Shape1", twipsRect(360, 240, 255, 375));
    m_portSelector = place<QComboBox>(m_portFrame, "Combo1", twipsRect(720, 240, 975, 300));
    m_portSelector->setEditable(true);
    m_portSelector->addItems(selectablePortNames());
    // Typed names are read as they stand, never added to the list.
    m_portSelector->setInsertPolicy(QComboBox::NoInsert);
    // Port names are exact: a typed "com3" must stay "com3", not be completed to "COM3".
    m_portSelector->completer()->setCaseSensitivity(Qt::CaseSensitive);
    m_portSelector->setCurrentText(selectablePortNames().constFirst());
    // The tooltip names the device the chosen port leads to, before the user presses Open.
    connect(m_portSelector, &QComboBox::currentTextChanged, this, &MainWindow::portSelectorChanged);
    m_openButton = placeButton(m_portFrame, "Command1", "Open", twipsRect(1800, 240, 735, 375));
    m_closeButton = placeButton(m_portFrame, "Command2", "Close", twipsRect(2640, 240, 735, 375));
    m_beepButton = placeButton(m_portFrame, "Command4", "Beep", twipsRect(3840, 240, 735, 375));
}

void MainWindow::buildRecordFrame()
{
    m_recordFrame = placeFrame(this, "Frame2", "ReadFiles", twipsRect(120, 960, 5055, 3855));
    m_recordList = place<RecordList>(m_recordFrame, "List1", twipsRect(120, 240, 4815, 2940));
    m_recordList->setSelectionMode(QAbstractItemView::SingleSelection);
    // The lines are laid out in fixed-width fields: a fixed-pitch font shows them as columns, at
    // the window's size so that the list shows as many lines as it has room for.
    QFont listFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    listFont.setPointSize(kWindowFontPoints);
    m_recordList->setFont(listFont);
    m_readButton = placeButton(m_recordFrame, "Command7", "Read", twipsRect(240, 3360, 1095, 375));
    m_statusLine = place<QLineEdit>(m_recordFrame, "Text2", twipsRect(2640, 3360, 2175, 375));
    m_statusLine->setReadOnly(true);
}

void MainWindow::buildScreenFrame()
{
    m_screenFrame = placeFrame(this, "Frame3", "DispPlay", twipsRect(5280, 120, 5415, 5055));
    m_picture = place<ScreenView>(m_screenFrame, "Picture1", twipsRect(240, 360, 4935, 3735));
    m_saveAsButton =
        placeButton(m_screenFrame, "Command6", "Save As", twipsRect(240, 4320, 975, 495));
    m_quitButton = placeButton(m_screenFrame, "Command3", "Quit", twipsRect(4200, 4320, 975, 495));
}

QAction* MainWindow::addRecordMenuAction(const QString& text, const QKeySequence& shortcut)
{
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setShortcutVisibleInContextMenu(true);
    // The shortcut works in the whole window, not only while the menu is open.
    addAction(action);
    return action;
}

void MainWindow::buildRecordMenu()
{
    // Not Ctrl+E: on X11 the status line and the port selector take it as End of line.
    m_exportAllAction = addRecordMenuAction(QStringLiteral("Export all records..."),
                                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(m_exportAllAction, &QAction::triggered, this, &MainWindow::exportRequested);
    m_createReportAction =
        addRecordMenuAction(QStringLiteral("Create report..."), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_createReportAction, &QAction::triggered, this, &MainWindow::reportRequested);
    // A right-click, the menu key or Shift+F10 on the list opens its menu; it selects nothing.
    m_recordList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_recordList, &QWidget::customContextMenuRequested, this, &MainWindow::showRecordMenu);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &MainWindow::cancelRequested);
}

void MainWindow::showRecordMenu(const QPoint& position)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("RecordMenu"));
    menu.addAction(m_exportAllAction);
    menu.addAction(m_createReportAction);
    menu.exec(m_recordList->viewport()->mapToGlobal(position));
}

void MainWindow::connectControls()
{
    connect(m_openButton, &QPushButton::clicked, this, &MainWindow::openRequested);
    connect(m_closeButton, &QPushButton::clicked, this, &MainWindow::closeRequested);
    connect(m_beepButton, &QPushButton::clicked, this, &MainWindow::beepRequested);
    connect(m_readButton, &QPushButton::clicked, this, &MainWindow::readRequested);
    connect(m_saveAsButton, &QPushButton::clicked, this, &MainWindow::saveAsRequested);
    connect(m_quitButton, &QPushButton::clicked, this, &MainWindow::quitRequested);
    connect(m_recordList, &QListWidget::itemClicked, this, [this] {
        const int row = selectedListLine();
        if (row >= 0)
            emit listLineClicked(row);
    });
    connect(m_recordList, &RecordList::lineChosen, this, &MainWindow::listLineClicked);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit quitRequested();
}

void MainWindow::showPicture(const QImage& picture)
{
    m_picture->setImage(picture);
}

void MainWindow::setStatusText(const QString& text)
{
    m_statusLine->setText(text);
}

QString MainWindow::statusText() const
{
    return m_statusLine->text();
}

void MainWindow::setProgressVisible(bool visible)
{
    m_progress->setVisible(visible);
}

void MainWindow::setProgressMaximum(int maximum)
{
    m_progress->setMaximum(maximum);
}

void MainWindow::setProgressValue(int value)
{
    m_progress->setValue(value);
}

void MainWindow::clearList()
{
    m_recordList->clear();
}

int MainWindow::listCount() const
{
    return m_recordList->count();
}

void MainWindow::appendListLine(const QString& line)
{
    m_recordList->addItem(line);
}

QString MainWindow::listLine(int row) const
{
    const QListWidgetItem* item = m_recordList->item(row);
    return item ? item->text() : QString();
}

int MainWindow::selectedListLine() const
{
    return m_recordList->selectedLine();
}

QString MainWindow::portSelectorText() const
{
    return m_portSelector->currentText();
}

void MainWindow::showIndicator(const QColor& colour)
{
    m_indicator->setColour(colour);
}

void MainWindow::reportLinkFailure(const QString& title, const UserMessage& message)
{
    reportError(title, message);
}

void MainWindow::showPortDescription(const QString& description)
{
    m_portSelector->setToolTip(description);
    m_indicator->setToolTip(description);
}

void MainWindow::setBusy(bool busy)
{
    // Save As waits too: the picture is being drawn. Quit stays live.
    const QList<QWidget*> meterControls = {m_readButton,  m_recordList, m_openButton,
                                           m_closeButton, m_beepButton, m_saveAsButton};
    if (busy)
        m_focusBeforeBusy = QApplication::focusWidget();
    for (QWidget* control : meterControls)
        control->setEnabled(!busy);
    m_exportAllAction->setEnabled(!busy);
    m_createReportAction->setEnabled(!busy);
    // Disabling the focused button or list moved the focus away; give it back, so the arrow keys
    // go on walking the list after a record is drawn.
    if (!busy && m_focusBeforeBusy && m_focusBeforeBusy->isEnabled())
        m_focusBeforeBusy->setFocus();
}

void MainWindow::reportDone(const QString& title, const QString& message)
{
    if (m_doneReporter)
        m_doneReporter(title, message);
    else
        QMessageBox::information(this, title, message);
}

bool MainWindow::askYesNo(const QString& title, const QString& question)
{
    if (m_questionAnswerer)
        return m_questionAnswerer(title, question);
    // No is the default: Enter alone replaces nothing.
    return QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void MainWindow::reportError(const QString& title, const UserMessage& message)
{
    if (m_errorReporter) {
        m_errorReporter(title, message.text());
        return;
    }
    QMessageBox box(QMessageBox::Warning, title, QString(), QMessageBox::Ok, this);
    fillMessageBox(box, message);
    box.exec();
}

} // namespace cablemeter
