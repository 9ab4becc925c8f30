#pragma once

#include "export/catalogue_entry.h"

#include "platform/user_message.h"

#include <QList>
#include <QString>

#include <functional>

namespace cablemeter {

class PageReader;

// Reads the stored records from the meter page by page: first the 32 header pages (the
// catalogue), then the data pages of every listed record.
class RecordDownload {
public:
    static constexpr int kDataPagesPerSlot = kPagesPerSlot - 1;

    using Progress = std::function<void(int pagesDone, int pagesTotal)>;
    using StopRequested = std::function<bool()>;

    explicit RecordDownload(PageReader& reader) : m_reader(reader) {}

    // Called after every page that arrived.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Asked before and after every page; true ends the download (the user pressed Ctrl-C).
    void setStopRequested(StopRequested stopRequested)
    {
        m_stopRequested = std::move(stopRequested);
    }

    // Reads the header page of every slot. False when a page did not arrive (see error()) or the
    // download was stopped.
    bool readCatalogue();
    // Reads the data pages of every listed record; call after readCatalogue().
    bool readRecords();

    // Every slot's entry, in slot order, once the catalogue is read.
    const QList<CatalogueEntry>& entries() const { return m_entries; }
    QList<CatalogueEntry> listedEntries() const;
    // The pages the whole download reads as far as known: all headers, plus the data pages of the
    // listed records found so far.
    int pageCount() const;

    bool wasStopped() const { return m_stopped; }
    // Which page of which slot did not arrive, and the reader's reason.
    UserMessage error() const { return m_error; }

private:
    bool readPage(int page);

    PageReader& m_reader;
    Progress m_progress;
    StopRequested m_stopRequested;
    QList<CatalogueEntry> m_entries;
    int m_pagesDone = 0;
    bool m_stopped = false;
    UserMessage m_error;
};

} // namespace cablemeter
