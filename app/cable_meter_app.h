#pragma once

#include "app/file_dialog.h"
#include "platform/port_map.h"

#include <QObject>

#include <memory>

namespace cablemeter {

class MainWindow;
class MeterLink;
class PictureSaver;
class RecordCatalogue;
class ScreenPicture;
class WindowExport;
class WindowReport;
class SerialPort;

// The whole program: the window, the screen picture, the meter link and the catalogue, wired
// together. The window only shows and forwards; the handlers live in the link and the catalogue.
class CableMeterApp : public QObject {
    Q_OBJECT
public:
    // `ports`: where COM1 to COM4 lead (PortMap::current() for the user's computer). The port
    // and the dialog default to the platform's; tests pass their own.
    explicit CableMeterApp(PortMap ports, SerialPort* port = nullptr,
                           std::unique_ptr<FileDialog> dialog = {}, QObject* parent = nullptr);
    ~CableMeterApp() override;

    MainWindow& window() { return *m_window; }
    MeterLink& link() { return *m_link; }
    RecordCatalogue& catalogue() { return *m_catalogue; }
    ScreenPicture& picture() { return *m_picture; }
    WindowExport& recordExport() { return *m_export; }
    WindowReport& report() { return *m_report; }

    // Quit: ends the program at once, also while a page read waits for the meter.
    void quit();

private:
    // Esc and Quit: the export or report under way stops, its page read at once.
    void cancelMenuTasks();

    PortMap m_ports;
    std::unique_ptr<MainWindow> m_window;
    ScreenPicture* m_picture = nullptr;
    SerialPort* m_port = nullptr;
    std::unique_ptr<FileDialog> m_dialog;
    std::unique_ptr<MeterLink> m_link;
    std::unique_ptr<RecordCatalogue> m_catalogue;
    std::unique_ptr<PictureSaver> m_saver;
    std::unique_ptr<WindowExport> m_export;
    std::unique_ptr<WindowReport> m_report;
    bool m_quitting = false;
};

} // namespace cablemeter
