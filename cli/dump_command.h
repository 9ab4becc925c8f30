#pragma once

#include <QStringList>

namespace cablemeter::cli {

class InterruptWatch;

// `dump`: copies every stored record's pages from the meter into a flash image file that the
// simulator can serve and `export --image` can draw: the 32 header pages, then the 15 data pages
// of each listed record, each at offset 256 * page; pages not read stay erased (0xFF). The file
// appears only when the whole dump is in.
class DumpCommand {
public:
    static constexpr char kName[] = "dump";

    explicit DumpCommand(InterruptWatch& watch) : m_watch(watch) {}
    int run(const QStringList& arguments);

private:
    InterruptWatch& m_watch;
};

} // namespace cablemeter::cli
