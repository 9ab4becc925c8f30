#include "app/cable_meter_app.h"
#include "app/main_window.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cablemeter"));
    cablemeter::CableMeterApp program;
    program.window().show();
    return QApplication::exec();
}
