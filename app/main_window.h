#pragma once

#include "link/link_observer.h"
#include "platform/window_controls.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QAction;
class QComboBox;
class QGroupBox;
class QImage;
class QKeySequence;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace cablemeter {

class IndicatorShape;
class RecordList;
class ScreenView;

// The program's one window, "Form1": the port frame, the record frame with the list and the
// status line, the progress bar, and the screen frame with the picture, Save As and Quit. Every
// control sits at a fixed position; the window cannot be resized.
class MainWindow : public QWidget, public WindowControls, public LinkObserver {
    Q_OBJECT
public:
    // Gets a message's title and its plain text (UserMessage::text()).
    using ErrorReporter = std::function<void(const QString& title, const QString& message)>;
    using QuestionAnswerer = std::function<bool(const QString& title, const QString& question)>;

    explicit MainWindow(QWidget* parent = nullptr);

    // Replaces the warning box that reportError() shows, for example to record errors in tests.
    void setErrorReporter(ErrorReporter reporter) { m_errorReporter = std::move(reporter); }
    // Replaces the message box that reportDone() shows.
    void setDoneReporter(ErrorReporter reporter) { m_doneReporter = std::move(reporter); }
    // Replaces the question box that askYesNo() shows, for example to answer it in tests.
    void setQuestionAnswerer(QuestionAnswerer answerer)
    {
        m_questionAnswerer = std::move(answerer);
    }
    // Tells the user what a finished task wrote.
    void reportDone(const QString& title, const QString& message);

    // WindowControls
    void setStatusText(const QString& text) override;
    QString statusText() const override;
    void setProgressVisible(bool visible) override;
    void setProgressMaximum(int maximum) override;
    void setProgressValue(int value) override;
    void clearList() override;
    int listCount() const override;
    void appendListLine(const QString& line) override;
    QString listLine(int row) const override;
    int selectedListLine() const override;
    void setBusy(bool busy) override;
    void reportError(const QString& title, const UserMessage& message) override;
    bool askYesNo(const QString& title, const QString& question) override;

    // LinkObserver
    void showIndicator(const QColor& colour) override;
    // Shown as the selector's and the indicator's tooltip, so the user sees the real device.
    void showPortDescription(const QString& description) override;
    void reportLinkFailure(const QString& title, const UserMessage& message) override;

    // The port selector's text (Combo1), read when the port is opened.
    QString portSelectorText() const;

    ScreenView* screenView() const { return m_picture; }
    // The record list's menu entries "Export all records..." and "Create report...", with their
    // keyboard shortcuts.
    QAction* exportAllAction() const { return m_exportAllAction; }
    QAction* createReportAction() const { return m_createReportAction; }

public slots:
    // Shows the persistent screen picture; call again whenever the picture has changed.
    void showPicture(const QImage& picture);

signals:
    void openRequested();  // Open (Command1)
    void closeRequested(); // Close (Command2)
    void beepRequested();  // Beep (Command4)
    void readRequested();  // Read (Command7)
    // A click on List1 that leaves a line selected, or a navigation key that selects another.
    void listLineClicked(int row);
    void portSelectorChanged(); // another port was picked or typed in the selector
    void saveAsRequested();     // Save As (Command6)
    void quitRequested();       // Quit (Command3) or the window closed by its frame
    void exportRequested(); // "Export all records..." in the record list's menu, or its shortcut
    void reportRequested(); // "Create report..." in the record list's menu, or its shortcut
    void cancelRequested(); // Esc: ends the export or the report under way

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPortFrame();
    void buildRecordFrame();
    void buildScreenFrame();
    void connectControls();
    void buildRecordMenu();
    // A menu entry of the record list whose shortcut works in the whole window.
    QAction* addRecordMenuAction(const QString& text, const QKeySequence& shortcut);
    void showRecordMenu(const QPoint& position);

    QGroupBox* m_portFrame = nullptr;
    IndicatorShape* m_indicator = nullptr;
    QComboBox* m_portSelector = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_beepButton = nullptr;

    QGroupBox* m_recordFrame = nullptr;
    RecordList* m_recordList = nullptr;
    QPushButton* m_readButton = nullptr;
    QLineEdit* m_statusLine = nullptr;

    QProgressBar* m_progress = nullptr;

    QGroupBox* m_screenFrame = nullptr;
    ScreenView* m_picture = nullptr;
    QPushButton* m_saveAsButton = nullptr;
    QPushButton* m_quitButton = nullptr;

    QAction* m_exportAllAction = nullptr;
    QAction* m_createReportAction = nullptr;

    ErrorReporter m_errorReporter;
    ErrorReporter m_doneReporter;
    QuestionAnswerer m_questionAnswerer;
    QPointer<QWidget> m_focusBeforeBusy;
};

} // namespace cablemeter
