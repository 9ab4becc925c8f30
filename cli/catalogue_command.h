#pragma once

#include <QStringList>

namespace cablemeter::cli {

class InterruptWatch;

// `catalogue`: the window's Read on the command line. Downloads the 32 header pages into
// "MeterDat.dat" in the current folder and prints the record list, line for line as the window
// lists it.
class CatalogueCommand {
public:
    static constexpr char kName[] = "catalogue";

    explicit CatalogueCommand(InterruptWatch& watch) : m_watch(watch) {}
    int run(const QStringList& arguments);

private:
    InterruptWatch& m_watch;
};

} // namespace cablemeter::cli
