#pragma once

#include <QStringList>

namespace cablemeter::cli {

class InterruptWatch;

// `report`: one PDF or HTML file with every stored record: a summary with a verdict against the
// technician's limits, then one section per record with its screen, values and limits.
class ReportCommand {
public:
    static constexpr char kName[] = "report";

    explicit ReportCommand(InterruptWatch& watch) : m_watch(watch) {}
    int run(const QStringList& arguments);

private:
    InterruptWatch& m_watch;
};

} // namespace cablemeter::cli
