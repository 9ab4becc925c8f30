#pragma once

#include "link/page_reader.h"

#include <QByteArray>

#include <vector>

namespace cablemeter {

// Reads pages through another reader (the meter) once and keeps them in a flash image laid out
// as the simulator serves it: page p at offset 256 * p, pages not read erased (0xFF). A page asked
// for again comes from the image, exactly as the page buffer held it, without a second request.
class RecordingPageReader : public PageReader {
public:
    // Slots end at page 1023: the image holds the pages up to there.
    static constexpr int kImagePages = kFirstSlotPage + kSlotCount * kPagesPerSlot;

    explicit RecordingPageReader(PageReader& source);

    bool ReadFlash(int flashPage) override;
    const PageBuffer& pageBuffer() const override { return m_buffer; }
    QString lastError() const override { return m_lastError; }
    void beginOperation() override { m_source.beginOperation(); }
    bool endOperation() override;

    const QByteArray& image() const { return m_image; }
    // Pages fetched from the source so far.
    int fetchedPageCount() const { return m_fetchedPages; }

private:
    PageReader& m_source;
    QByteArray m_image;
    std::vector<bool> m_recorded;
    PageBuffer m_buffer{};
    QString m_lastError;
    int m_fetchedPages = 0;
};

} // namespace cablemeter
