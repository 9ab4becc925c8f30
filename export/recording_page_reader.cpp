#include "export/recording_page_reader.h"

#include <algorithm>

namespace cablemeter {

namespace {
constexpr char kErasedByte = char(0xFF);
}

RecordingPageReader::RecordingPageReader(PageReader& source)
    : m_source(source), m_image(qsizetype(kImagePages) * kPageSize, kErasedByte),
      m_recorded(kImagePages, false)
{
}

bool RecordingPageReader::ReadFlash(int flashPage)
{
    const bool inImage = flashPage >= 0 && flashPage < kImagePages;
    char* const imagePage = inImage ? m_image.data() + qsizetype(flashPage) * kPageSize : nullptr;
    if (inImage && m_recorded[std::size_t(flashPage)]) {
        std::copy(imagePage, imagePage + kPageSize, m_buffer.begin() + 1);
        m_lastError.clear();
        return true;
    }
    if (!m_source.ReadFlash(flashPage)) {
        m_lastError = m_source.lastError();
        return false;
    }
    ++m_fetchedPages;
    m_buffer = m_source.pageBuffer();
    if (inImage) {
        std::copy(m_buffer.begin() + 1, m_buffer.end(), imagePage);
        m_recorded[std::size_t(flashPage)] = true;
    }
    m_lastError.clear();
    return true;
}

bool RecordingPageReader::endOperation()
{
    if (m_source.endOperation())
        return true;
    m_lastError = m_source.lastError();
    return false;
}

} // namespace cablemeter
