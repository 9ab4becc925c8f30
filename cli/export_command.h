#pragma once

#include <QStringList>

namespace cablemeter::cli {

class InterruptWatch;

// `export`: draws every stored record with a screen into a picture file, as the window shows it,
// and writes the records' values as CSV or JSON; from the meter or from a flash image file.
class ExportCommand {
public:
    static constexpr char kName[] = "export";

    explicit ExportCommand(InterruptWatch& watch) : m_watch(watch) {}
    int run(const QStringList& arguments);

private:
    InterruptWatch& m_watch;
};

} // namespace cablemeter::cli
