#pragma once

#include <QElapsedTimer>
#include <QString>

namespace cablemeter::cli {

// A progress bar for a page download, redrawn in place on the terminal: pages done of the total,
// the bytes read, the rate and the time left.
class TransferProgress {
public:
    // visible: draw on stderr (only when it is a terminal; a log file gets no bar).
    explicit TransferProgress(bool visible);

    void update(int pagesDone, int pagesTotal);
    // Ends the bar's line so that what follows starts on a line of its own.
    void finish();

    // The bar's text after `elapsedMs` milliseconds, e.g.
    // "[#######-------------]  140/407 pages   35.0 KiB   1.9 KiB/s   0:37 left".
    static QString barText(int pagesDone, int pagesTotal, qint64 elapsedMs);

private:
    bool m_visible = false;
    bool m_drawn = false;
    QElapsedTimer m_clock;
};

} // namespace cablemeter::cli
