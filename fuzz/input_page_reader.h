#pragma once

#include "fuzz_check.h"
#include "link/page_reader.h"

#include <cstddef>
#include <cstdint>
#include <map>

namespace cablemeter::fuzzing {

// Serves the fuzz input as one record's data pages in the order they are asked for: each read
// takes the next 254 bytes, and bytes past the end of the input read as erased flash. Like the
// meter, it never delivers page bytes 255 and 256: they read as 0. One chosen read can fail.
class InputPageReader : public PageReader {
public:
    static constexpr int kNoFailure = -1;

    InputPageReader(const std::uint8_t* data, std::size_t size, int slot, int failingRead)
        : m_data(data), m_size(size), m_slot(slot), m_failingRead(failingRead)
    {
    }

    bool ReadFlash(int flashPage) override
    {
        const int k = flashPage - headerPage(m_slot);
        fuzzCheck(k >= 1 && k < kPagesPerSlot, "a renderer reads only its own record's data pages");
        const int index = m_readCount++;
        if (index == m_failingRead) {
            m_failed = true;
            m_error = QStringLiteral("page %1 did not arrive").arg(flashPage);
            return false;
        }
        for (int n = 1; n <= kPageSize; ++n) {
            const std::size_t offset = m_nextOffset + std::size_t(n - 1);
            const bool delivered = n <= kDeliveredBytes;
            m_buffer[std::size_t(n)] = !delivered        ? 0
                                       : offset < m_size ? m_data[offset]
                                                         : kErasedByte;
        }
        m_nextOffset += kDeliveredBytes;
        m_servedPages[k] = m_buffer;
        return true;
    }

    const PageBuffer& pageBuffer() const override { return m_buffer; }
    QString lastError() const override { return m_error; }

    int readCount() const { return m_readCount; }
    bool failed() const { return m_failed; }
    // The data page k as served, or null when it was not read.
    const PageBuffer* servedPage(int k) const
    {
        const auto page = m_servedPages.find(k);
        return page == m_servedPages.end() ? nullptr : &page->second;
    }

private:
    static constexpr int kDeliveredBytes = kPageSize - 2;
    static constexpr std::uint8_t kErasedByte = 0xFF;

    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    int m_slot = 0;
    int m_failingRead = kNoFailure;

    std::size_t m_nextOffset = 0;
    int m_readCount = 0;
    bool m_failed = false;
    PageBuffer m_buffer{};
    std::map<int, PageBuffer> m_servedPages;
    QString m_error;
};

} // namespace cablemeter::fuzzing
