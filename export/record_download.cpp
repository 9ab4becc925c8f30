#include "export/record_download.h"

#include "link/page_reader.h"

namespace cablemeter {

bool RecordDownload::readCatalogue()
{
    m_entries.clear();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (!readPage(headerPage(slot)))
            return false;
        m_entries.append(catalogueEntry(slot, m_reader.pageBuffer()));
    }
    return true;
}

bool RecordDownload::readRecords()
{
    for (const CatalogueEntry& entry : listedEntries()) {
        for (int k = 1; k <= kDataPagesPerSlot; ++k) {
            if (!readPage(dataPage(entry.slot, k)))
                return false;
        }
    }
    return true;
}

QList<CatalogueEntry> RecordDownload::listedEntries() const
{
    QList<CatalogueEntry> listed;
    for (const CatalogueEntry& entry : m_entries) {
        if (entry.listed())
            listed.append(entry);
    }
    return listed;
}

int RecordDownload::pageCount() const
{
    return kSlotCount + kDataPagesPerSlot * int(listedEntries().size());
}

bool RecordDownload::readPage(int page)
{
    if (m_stopRequested && m_stopRequested()) {
        m_stopped = true;
        return false;
    }
    const bool arrived = m_reader.ReadFlash(page);
    // A read cut short by Ctrl-C fails too; that is a stop, not a fault of the meter.
    if (m_stopRequested && m_stopRequested()) {
        m_stopped = true;
        return false;
    }
    if (!arrived) {
        // The reader's message names the page and its slot.
        m_error = m_reader.failure();
        return false;
    }
    ++m_pagesDone;
    if (m_progress)
        m_progress(m_pagesDone, pageCount());
    return true;
}

} // namespace cablemeter
