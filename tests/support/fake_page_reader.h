#pragma once

#include "link/page_reader.h"

#include <QByteArray>
#include <QList>

#include <utility>

namespace cablemeter::testing {

// Serves pages from an in-memory flash image laid out as the simulator's image files are (page p
// at offset 256 * p, page byte N at 256 * p + N - 1), and records the pages asked for. Like the
// meter, it delivers only page bytes 1 to 254; bytes 255 and 256 read as 0.
class FakePageReader : public PageReader {
public:
    explicit FakePageReader(QByteArray image = {}) : m_image(std::move(image)) {}

    void setImage(QByteArray image) { m_image = std::move(image); }
    // Makes the read with this index (0 = first read from now on) fail.
    void failAtRead(int index) { m_failAt = index; }
    // Makes the end of the next operation fail, as when the last page proved wrong.
    void failAtOperationEnd() { m_failAtEnd = true; }
    void setPage(int page, const PageBuffer& bytes)
    {
        const qsizetype end = qsizetype(page + 1) * kPageSize;
        if (m_image.size() < end)
            m_image.resize(end, char(0xFF));
        for (int n = 1; n <= kPageSize; ++n)
            m_image[qsizetype(page) * kPageSize + n - 1] = char(bytes[n]);
    }

    bool ReadFlash(int flashPage) override
    {
        const int index = m_requested.size();
        m_requested.append(flashPage);
        if (index == m_failAt) {
            m_error = QStringLiteral("page %1 did not arrive").arg(flashPage);
            return false;
        }
        for (int n = 1; n <= kPageSize; ++n) {
            const qsizetype offset = qsizetype(flashPage) * kPageSize + n - 1;
            const bool delivered = n <= kPageSize - 2;
            m_buffer[n] = delivered && offset < m_image.size() ? std::uint8_t(m_image[offset])
                          : delivered                          ? 0xFF
                                                               : 0;
        }
        return true;
    }

    const PageBuffer& pageBuffer() const override { return m_buffer; }
    QString lastError() const override { return m_error; }
    void beginOperation() override { ++m_operations; }
    bool endOperation() override
    {
        if (!std::exchange(m_failAtEnd, false))
            return true;
        m_error = QStringLiteral("page %1, read again to check it, came back different")
                      .arg(m_requested.value(m_requested.size() - 1));
        return false;
    }
    int operationsBegun() const { return m_operations; }

    const QList<int>& requestedPages() const { return m_requested; }

private:
    QByteArray m_image;
    PageBuffer m_buffer{};
    QList<int> m_requested;
    int m_failAt = -1;
    bool m_failAtEnd = false;
    int m_operations = 0;
    QString m_error;
};

} // namespace cablemeter::testing
