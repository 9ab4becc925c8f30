#pragma once

#include "export/catalogue_entry.h"
#include "export/limit_checks.h"
#include "export/record_values.h"
#include "export/screen_drawing.h"

#include <QImage>
#include <QList>
#include <QString>

#include <functional>

namespace cablemeter {

class PageReader;

// One listed record as the report shows it.
struct ReportedRecord {
    CatalogueEntry entry;
    QImage screen; // null when the kind has no screen
    RecordValues values;
    QList<LimitCheck> checks;
};

// Reads what a report shows: the catalogue, then every listed record's screen (drawn offscreen as
// the window draws it) and values, checked against the limits. Give it a reader that keeps the
// pages it fetched (RecordingPageReader) so that each page comes from the meter once.
class ReportReading {
public:
    using Progress = std::function<void(int done, int total)>;
    using StopRequested = std::function<bool()>;

    ReportReading(PageReader& reader, QImage background, Limits limits);

    // Called after every header page and every record.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Asked before and after every page and record; true ends the reading (Ctrl-C, Esc, Quit).
    void setStopRequested(StopRequested stopRequested)
    {
        m_stopRequested = std::move(stopRequested);
    }

    // False when a page did not arrive (see error()) or the reading was stopped.
    bool read();

    const QList<ReportedRecord>& records() const { return m_records; }
    bool wasStopped() const { return m_stopped; }
    QString error() const { return m_error; }

private:
    bool stopRequested();
    bool readRecord(const CatalogueEntry& entry);

    PageReader& m_reader;
    ScreenDrawing m_drawing;
    Limits m_limits;
    Progress m_progress;
    StopRequested m_stopRequested;
    QList<ReportedRecord> m_records;
    bool m_stopped = false;
    QString m_error;
};

} // namespace cablemeter
