#include "export/report_reading.h"

#include "export/record_download.h"
#include "link/page_reader.h"

#include <utility>

namespace cablemeter {

ReportReading::ReportReading(PageReader& reader, QImage background, Limits limits)
    : m_reader(reader), m_drawing(std::move(background)), m_limits(std::move(limits))
{
}

bool ReportReading::read()
{
    m_records.clear();
    m_reader.beginOperation();
    RecordDownload catalogue(m_reader);
    catalogue.setStopRequested([this] { return stopRequested(); });
    // Header pages count one each, then records one each once their number is known.
    catalogue.setProgress([this](int done, int) {
        if (m_progress)
            m_progress(done, kSlotCount);
    });
    if (!catalogue.readCatalogue()) {
        m_stopped = catalogue.wasStopped();
        m_error = catalogue.error();
        return false;
    }
    const QList<CatalogueEntry> listed = catalogue.listedEntries();
    const int total = kSlotCount + int(listed.size());
    for (const CatalogueEntry& entry : listed) {
        if (!readRecord(entry))
            return false;
        if (m_progress)
            m_progress(kSlotCount + int(m_records.size()), total);
    }
    // The last page is checked like the others before anything is written.
    if (!m_reader.endOperation()) {
        m_stopped = stopRequested();
        m_error = m_reader.lastError();
        return false;
    }
    return true;
}

bool ReportReading::stopRequested()
{
    if (m_stopRequested && m_stopRequested())
        m_stopped = true;
    return m_stopped;
}

bool ReportReading::readRecord(const CatalogueEntry& entry)
{
    if (stopRequested())
        return false;
    ReportedRecord record{entry, {}, {}, {}};
    bool arrived = true;
    if (m_drawing.hasScreen(entry.kind)) {
        record.screen = m_drawing.draw(m_reader, entry.kind, entry.slot);
        arrived = !record.screen.isNull();
    }
    arrived = arrived && decodeRecordValues(m_reader, entry, record.values);
    // A read cut short by a stop fails too; that is a stop, not a fault of the meter.
    if (stopRequested())
        return false;
    if (!arrived) {
        m_error = QStringLiteral("The record in slot %1 could not be read: %2")
                      .arg(entry.slot)
                      .arg(m_reader.lastError());
        return false;
    }
    record.checks = checkLimits(entry.kind, record.values.measured, m_limits);
    m_records.append(record);
    return true;
}

} // namespace cablemeter
