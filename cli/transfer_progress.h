#pragma once

#include "link/page.h"

#include <QString>

#include <functional>

namespace cablemeter::cli {

// A progress bar for a download in two phases, redrawn in place on the terminal: first the
// catalogue (a known number of pages), then the record pages, whose number is known only once
// the catalogue is in. Each phase has a line of its own with its pages done of its total, the
// bytes read and the rate; the time left is told in the record phase, from its own rate.
class TransferProgress {
public:
    enum class Phase { Catalogue, Records };
    // Puts text on the terminal as it stands (no newline added).
    using Draw = std::function<void(const QString& text)>;
    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;

    // visible: draw (only when stderr is a terminal; a log file gets no bar). cataloguePages:
    // the pages of the first phase, one header page a record slot. The bar goes to stderr and
    // is timed by a steady clock unless `draw` and `clock` say otherwise.
    explicit TransferProgress(bool visible, int cataloguePages = kSlotCount, Draw draw = {},
                              Clock clock = {});

    // Pages done and the total as far as known, both counted over the whole download.
    void update(int pagesDone, int pagesTotal);
    // Ends the bar's line so that what follows starts on a line of its own.
    void finish();

    // A phase's bar after `elapsedMs` milliseconds of that phase, e.g.
    // "records   [#######-------------]  140/375 pages   35.0 KiB   1.9 KiB/s   2:03 left".
    static QString barText(Phase phase, int pagesDone, int pagesTotal, qint64 elapsedMs);

private:
    void drawBar(const QString& text);
    void beginRecords();

    bool m_visible = false;
    int m_cataloguePages = 0;
    Draw m_draw;
    Clock m_clock;
    Phase m_phase = Phase::Catalogue;
    bool m_drawn = false;
    qint64 m_phaseStart = 0;
};

} // namespace cablemeter::cli
