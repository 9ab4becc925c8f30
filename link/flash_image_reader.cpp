#include "link/flash_image_reader.h"

#include "link/request_frame.h"

#include <QFile>

#include <utility>

namespace cablemeter {

namespace {

constexpr std::uint8_t kErasedByte = 0xFF;
// The meter's reply carries page bytes 1 to 254; the last two never arrive.
constexpr int kLastDeliveredByte = kPageSize - 2;

static_assert(FlashImageReader::kLargestImageSize == qsizetype(kHighestPage + 1) * kPageSize);

} // namespace

FlashImageReader::FlashImageReader(QByteArray image) : m_image(std::move(image)) {}

bool FlashImageReader::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_lastError = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kLargestImageSize) {
        m_lastError = QStringLiteral("%1 holds %2 bytes, more than a meter's flash (%3 bytes): it "
                                     "is not a flash image.")
                          .arg(path)
                          .arg(file.size())
                          .arg(kLargestImageSize);
        return false;
    }
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_lastError = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (contents.isEmpty()) {
        m_lastError = QStringLiteral("%1 is empty: it is not a flash image.").arg(path);
        return false;
    }
    m_image = contents;
    m_lastError.clear();
    return true;
}

bool FlashImageReader::ReadFlash(int flashPage)
{
    if (flashPage < 0 || flashPage > kHighestPage) {
        m_lastError = QStringLiteral("Page %1 does not exist on the meter.").arg(flashPage);
        return false;
    }
    const qsizetype pageStart = qsizetype(flashPage) * kPageSize;
    for (int n = 1; n <= kPageSize; ++n) {
        const qsizetype offset = pageStart + n - 1;
        if (n > kLastDeliveredByte)
            m_buffer[n] = 0;
        else if (offset < m_image.size())
            m_buffer[n] = std::uint8_t(m_image[offset]);
        else
            m_buffer[n] = kErasedByte;
    }
    m_lastError.clear();
    return true;
}

} // namespace cablemeter
