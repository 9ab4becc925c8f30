#pragma once

#include "link/page_reader.h"

#include <QByteArray>
#include <QString>

namespace cablemeter {

// Serves flash pages from an image of the meter's flash instead of the meter: page p at offset
// 256 * p, page byte N at 256 * p + N - 1 (the layout the simulator serves and a dump writes).
// Pages come out exactly as the meter delivers them: page bytes 1 to 254 from the image, 255 and
// 256 zero; a page past the image's end reads as erased flash (0xFF).
class FlashImageReader : public PageReader {
public:
    // The meter's page numbers end at 0x7FFF, so no image is larger than this.
    static constexpr qsizetype kLargestImageSize = qsizetype(0x8000) * kPageSize;
    // A dump holds pages 0 to 1023 at least: everything up to the last record slot's last page.
    static constexpr qsizetype kSmallestImageSize = qsizetype(1024) * kPageSize;

    explicit FlashImageReader(QByteArray image = {});

    // Replaces the image with the contents of a file. False (the image unchanged, the reason in
    // lastError()) when the file cannot be read, is not a regular file, or its size is not a
    // whole number of pages from kSmallestImageSize to kLargestImageSize. The content is not
    // judged: an empty meter's dump is a valid image.
    bool load(const QString& path);
    const QByteArray& image() const { return m_image; }

    bool ReadFlash(int flashPage) override;
    const PageBuffer& pageBuffer() const override { return m_buffer; }
    QString lastError() const override { return m_lastError; }

private:
    QByteArray m_image;
    PageBuffer m_buffer{};
    QString m_lastError;
};

} // namespace cablemeter
