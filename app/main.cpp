#include "app/cable_meter_app.h"
#include "app/main_window.h"
#include "platform/interrupt_signals.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kDesktopFileName[] = "io.github.cablemeter.cablemeter";
// The window icon's sizes, compiled in as PNGs (see app/CMakeLists.txt): no image plugin needed.
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The window takes no options; --version and --help answer on the terminal before any display is
// needed, so they also work where there is none.
bool answeredWithoutWindow(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("cablemeter %s\n", CABLEMETER_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: cablemeter [--version] [--help]\n"
                        "Opens the cable meter window: pick the port (COM1 is the first USB or\n"
                        "ACM serial adapter), Open, Read, click a record. MeterDat.dat is written\n"
                        "in the current folder. See cablemeter(1).\n");
            return true;
        }
    }
    return false;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : kIconSizes)
        icon.addFile(QStringLiteral(":/cablemeter/icons/cablemeter-%1.png").arg(size));
    return icon;
}

} // namespace

int main(int argc, char* argv[])
{
    if (answeredWithoutWindow(argc, argv))
        return 0;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cablemeter"));
    QApplication::setApplicationVersion(QStringLiteral(CABLEMETER_VERSION));
    QApplication::setDesktopFileName(QLatin1String(kDesktopFileName));
    QApplication::setWindowIcon(programIcon());
    cablemeter::CableMeterApp program(cablemeter::PortMap::current());
    // Ctrl-C or SIGTERM from a terminal ends the program as Quit does, so the port is closed and
    // the serial driver left as it was found.
    cablemeter::InterruptSignals interrupts;
    QObject::connect(&interrupts, &cablemeter::InterruptSignals::interrupted, &program,
                     &cablemeter::CableMeterApp::quit);
    program.window().show();
    return QApplication::exec();
}
