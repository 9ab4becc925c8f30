#pragma once

#include <QStringList>

namespace cablemeter {
struct ExportResult;
}

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
    // Tells the user how the export ended, in the command's words; returns the exit status.
    int finished(const ExportResult& result, const QString& folder) const;
    // What became of the files an export that did not complete had written.
    static QString cleanUpText(const ExportResult& result, const QString& folder);

    InterruptWatch& m_watch;
};

} // namespace cablemeter::cli
