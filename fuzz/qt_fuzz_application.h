#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace cablemeter::fuzzing {

// Creates the one Qt application object a fuzz target needs (App is QCoreApplication or
// QGuiApplication), headless, for the whole run. libFuzzer's own arguments are not handed to Qt,
// which would take some of them for itself.
template <typename App> void startQtApplication()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "cablemeter-fuzz";
    static char* argv[] = {name, nullptr};
    // Kept until the process ends: destroying it among the static destructors at exit would
    // race Qt's own global teardown.
    static App* const application = new App(argc, argv);
    Q_UNUSED(application);
}

} // namespace cablemeter::fuzzing
