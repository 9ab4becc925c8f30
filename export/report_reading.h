#pragma once

#include "export/catalogue_entry.h"
#include "export/limit_checks.h"
#include "export/record_reading.h"
#include "export/record_values.h"

#include <QImage>
#include <QList>
#include <QString>

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
    ReportReading(PageReader& reader, QImage background, Limits limits);

    // Called after every header page and every record.
    void setProgress(RecordReading::Progress progress)
    {
        m_reading.setProgress(std::move(progress));
    }
    // Asked before and after every page and record; true ends the reading (Ctrl-C, Esc, Quit).
    void setStopRequested(RecordReading::StopRequested stopRequested)
    {
        m_reading.setStopRequested(std::move(stopRequested));
    }

    // False when a page did not arrive (see error()) or the reading was stopped.
    bool read();

    const QList<ReportedRecord>& records() const { return m_records; }
    bool wasStopped() const { return m_reading.wasStopped(); }
    UserMessage error() const { return m_reading.error(); }

private:
    RecordReading m_reading;
    Limits m_limits;
    QList<ReportedRecord> m_records;
};

} // namespace cablemeter
