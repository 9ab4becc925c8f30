#include "link/flash_image_reader.h"

#include "link/request_frame.h"
#include "platform/regular_file.h"
#include "platform/user_message.h"

#include <QFile>

#include <utility>

namespace cablemeter {

namespace {

constexpr std::uint8_t kErasedByte = 0xFF;
// The meter's reply carries page bytes 1 to 254; the last two never arrive.
constexpr int kLastDeliveredByte = kPageSize - 2;

static_assert(FlashImageReader::kLargestImageSize == qsizetype(kHighestPage + 1) * kPageSize);

const QString kGiveAnImage =
    QStringLiteral("Give a flash image file as dump writes it, then run the command again.");

QString cannotRead(const QString& path, const QString& reason)
{
    return UserMessage(QStringLiteral("Cannot read %1: %2.").arg(path, reason), kGiveAnImage)
        .text();
}

} // namespace

FlashImageReader::FlashImageReader(QByteArray image) : m_image(std::move(image)) {}

bool FlashImageReader::load(const QString& path)
{
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, FileOpening::ReadOnly, reason)) {
        m_lastError = cannotRead(path, reason);
        return false;
    }
    const qint64 size = file.size();
    if (size % kPageSize != 0 || size < kSmallestImageSize || size > kLargestImageSize) {
        m_lastError =
            UserMessage(
                QStringLiteral("%1 holds %2 bytes: it is not a flash image.").arg(path).arg(size),
                kGiveAnImage,
                QStringLiteral("A flash image (as dump writes it) is a whole "
                               "number of %1-byte pages, from %2 bytes (pages "
                               "0 to 1023) to %3 bytes (%4 pages).")
                    .arg(kPageSize)
                    .arg(kSmallestImageSize)
                    .arg(kLargestImageSize)
                    .arg(kLargestImageSize / kPageSize))
                .text();
        return false;
    }
    // Read no more than the size checked, whatever the file grows to meanwhile.
    const QByteArray contents = file.read(size);
    if (file.error() != QFileDevice::NoError || contents.size() != size) {
        m_lastError = cannotRead(path, file.error() != QFileDevice::NoError
                                           ? file.errorString()
                                           : QStringLiteral("the file shrank while it was read"));
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
