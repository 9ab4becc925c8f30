#include "app/cable_meter_app.h"

#include "app/main_window.h"
#include "app/qt_file_dialog.h"
#include "app/save_picture.h"
#include "app/window_export.h"
#include "app/window_report.h"
#include "catalogue/record_catalogue.h"
#include "link/meter_link.h"
#include "platform/port_advice.h"
#include "platform/port_names.h"
#include "platform/screen_picture.h"
#include "platform/serial_port_factory.h"

#include <QCoreApplication>

namespace cablemeter {

CableMeterApp::CableMeterApp(PortMap ports, SerialPort* port, std::unique_ptr<FileDialog> dialog,
                             QObject* parent)
    : QObject(parent), m_ports(std::move(ports)), m_window(std::make_unique<MainWindow>()),
      m_picture(new ScreenPicture(this)), m_port(port ? port : createSerialPort(this)),
      m_dialog(dialog ? std::move(dialog) : std::make_unique<QtFileDialog>(m_window.get()))
{
    MainWindow* window = m_window.get();
    // The selector's text names the port only at the moment the port is opened.
    m_link = std::make_unique<MeterLink>(*m_port, m_ports, *window, [window] {
        return PortChoice::com(portNumberFromSelector(window->portSelectorText()));
    });
    m_link->describeChosenPort();
    m_catalogue = std::make_unique<RecordCatalogue>(*m_window, *m_link, *m_picture);
    m_saver = std::make_unique<PictureSaver>(*m_dialog, *m_window);
    const auto tellDone = [this](const QString& title, const QString& message) {
        m_window->reportDone(title, message);
    };
    m_export = std::make_unique<WindowExport>(*m_dialog, *m_window, *m_link,
                                              QCoreApplication::applicationDirPath(), tellDone);
    m_report = std::make_unique<WindowReport>(
        *m_dialog, *m_window, *m_link, QCoreApplication::applicationDirPath(), tellDone,
        [this] { return m_link->verifiesPages(); }, [this] { return m_link->portName(); });

    connect(m_picture, &ScreenPicture::changed, window,
            [this] { m_window->showPicture(m_picture->image()); });
    connect(window, &MainWindow::portSelectorChanged, this,
            [this] { m_link->describeChosenPort(); });
    connect(window, &MainWindow::openRequested, this, [this] { m_link->Command1_Click(); });
    connect(window, &MainWindow::closeRequested, this, [this] { m_link->Command2_Click(); });
    connect(window, &MainWindow::beepRequested, this, [this] { m_link->Command4_Click(); });
    connect(window, &MainWindow::readRequested, this, [this] { m_catalogue->Command7_Click(); });
    connect(window, &MainWindow::listLineClicked, this, [this] { m_catalogue->List1_Click(); });
    connect(window, &MainWindow::saveAsRequested, this,
            [this] { m_saver->save(m_picture->image()); });
    connect(window, &MainWindow::quitRequested, this, &CableMeterApp::quit);
    connect(window, &MainWindow::exportRequested, this, [this] { m_export->exportAll(); });
    connect(window, &MainWindow::reportRequested, this, [this] { m_report->create(); });
    connect(window, &MainWindow::cancelRequested, this, [this] {
        if (m_export->isRunning() || m_report->isRunning())
            cancelMenuTasks();
    });
}

CableMeterApp::~CableMeterApp() = default;

void CableMeterApp::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    // A read cut short by Quit is no failure to tell anyone about.
    m_window->setErrorReporter([](const QString&, const QString&) {});
    cancelMenuTasks();
    QCoreApplication::exit(0);
}

void CableMeterApp::cancelMenuTasks()
{
    m_export->cancel();
    m_report->cancel();
    m_link->cancel();
}

} // namespace cablemeter
