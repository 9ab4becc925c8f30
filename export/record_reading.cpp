#include "export/record_reading.h"

#include "export/record_download.h"
#include "link/page_reader.h"

#include <utility>

namespace cablemeter {

RecordReading::RecordReading(PageReader& reader, QImage background)
    : m_reader(reader), m_drawing(std::move(background))
{
}

bool RecordReading::readCatalogue()
{
    m_listed.clear();
    m_reader.beginOperation();
    RecordDownload catalogue(m_reader);
    catalogue.setStopRequested([this] { return stopRequested(); });
    catalogue.setProgress([this](int done, int) {
        if (m_progress)
            m_progress(done, kSlotCount);
    });
    if (!catalogue.readCatalogue()) {
        m_error = catalogue.error();
        return false;
    }
    m_listed = catalogue.listedEntries();
    return true;
}

bool RecordReading::readRecords(const TakeRecord& take)
{
    const int total = kSlotCount + int(m_listed.size());
    int done = kSlotCount;
    for (const CatalogueEntry& entry : m_listed) {
        QImage screen;
        RecordValues values;
        if (!readRecord(entry, screen, values) || !take(entry, screen, values))
            return false;
        if (m_progress)
            m_progress(++done, total);
    }
    // The last page is checked like the others before the caller takes the records as final.
    if (!m_reader.endOperation()) {
        if (!stopRequested())
            m_error = m_reader.failure();
        return false;
    }
    return true;
}

bool RecordReading::stopRequested()
{
    if (m_stopRequested && m_stopRequested())
        m_stopped = true;
    return m_stopped;
}

bool RecordReading::readRecord(const CatalogueEntry& entry, QImage& screen, RecordValues& values)
{
    if (stopRequested())
        return false;
    bool arrived = true;
    if (m_drawing.hasScreen(entry.kind)) {
        screen = m_drawing.draw(m_reader, entry.kind, entry.slot);
        arrived = !screen.isNull();
    }
    arrived = arrived && decodeRecordValues(m_reader, entry, values);
    // A read cut short by a stop fails too; that is a stop, not a fault of the meter.
    if (stopRequested())
        return false;
    if (!arrived) {
        m_error = m_reader.failure();
        return false;
    }
    return true;
}

} // namespace cablemeter
