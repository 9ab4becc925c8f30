#pragma once

#include "export/catalogue_entry.h"
#include "export/record_values.h"
#include "export/screen_drawing.h"

#include "platform/user_message.h"

#include <QImage>
#include <QList>
#include <QString>

#include <functional>

namespace cablemeter {

class PageReader;

// Reads the stored records the way an export and a report need them: the 32 header pages first,
// then every listed record in turn, drawn offscreen as the window draws it and its values
// decoded, each handed on as soon as it is read. All of it is one operation of the reader, whose
// last page is checked before readRecords() returns. Give it a reader that keeps the pages it
// fetched (RecordingPageReader), so that drawing and decoding a record ask the meter once.
class RecordReading {
public:
    using Progress = std::function<void(int done, int total)>;
    using StopRequested = std::function<bool()>;
    // Takes one record as it is read; `screen` is null when its kind has no screen. False ends the
    // reading: what the taker did with it failed.
    using TakeRecord = std::function<bool(const CatalogueEntry& entry, const QImage& screen,
                                          const RecordValues& values)>;

    // background: the screens' background; a null image draws on a plain picture, as the window.
    RecordReading(PageReader& reader, QImage background);

    // Called after every header page and every record: header pages count one each, then the
    // records one each once their number is known.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Asked before and after every page and record; true ends the reading (Ctrl-C, Esc, Quit).
    void setStopRequested(StopRequested stopRequested)
    {
        m_stopRequested = std::move(stopRequested);
    }

    bool hasScreen(int kind) const { return m_drawing.hasScreen(kind); }

    // Begins the reader's operation and reads every header page. False when a page did not
    // arrive (error()) or the reading was stopped (wasStopped()).
    bool readCatalogue();
    // The records the catalogue lists, in slot order.
    const QList<CatalogueEntry>& listedEntries() const { return m_listed; }
    // Reads every listed record and hands it to `take`, then ends the reader's operation. False
    // when a page did not arrive or the last one proved wrong (error()), when the reading was
    // stopped (wasStopped()), or when `take` refused a record (neither).
    bool readRecords(const TakeRecord& take);

    bool wasStopped() const { return m_stopped; }
    UserMessage error() const { return m_error; }

private:
    bool stopRequested();
    // False when a page of the record did not arrive (or the reading was stopped meanwhile).
    bool readRecord(const CatalogueEntry& entry, QImage& screen, RecordValues& values);

    PageReader& m_reader;
    ScreenDrawing m_drawing;
    Progress m_progress;
    StopRequested m_stopRequested;
    QList<CatalogueEntry> m_listed;
    bool m_stopped = false;
    UserMessage m_error;
};

} // namespace cablemeter
