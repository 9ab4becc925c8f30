#pragma once

#include <QStringList>

namespace cablemeter::cli {

// `ports`: the serial ports of this computer, and the device each of the window's COM1 to COM4
// leads to.
class PortsCommand {
public:
    static constexpr char kName[] = "ports";

    int run(const QStringList& arguments);
};

} // namespace cablemeter::cli
