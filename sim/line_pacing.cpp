#include "sim/line_pacing.h"

#include <cstdint>

namespace cablemeter::sim {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::chrono::nanoseconds tickOf(Pacing pacing)
{
    switch (pacing) {
    case Pacing::Usb:
        return kUsbTick;
    case Pacing::UsbLowLatency:
        return kUsbLowLatencyTick;
    case Pacing::Unpaced:
    case Pacing::Uart:
        break;
    }
    return kUartTick;
}

} // namespace

std::chrono::nanoseconds lineTimeOf(int byteCount)
{
    return std::chrono::nanoseconds(std::int64_t(byteCount) * kBitsPerByte * kNanosecondsPerSecond /
                                    kBaudRate);
}

std::chrono::nanoseconds lineTime(int byteIndex)
{
    return lineTimeOf(byteIndex + 1);
}

QList<PacedChunk> planBurst(int byteCount, Pacing pacing)
{
    QList<PacedChunk> chunks;
    if (byteCount <= 0)
        return chunks;
    if (pacing == Pacing::Unpaced) {
        chunks.append({std::chrono::nanoseconds(0), byteCount});
        return chunks;
    }
    // At every tick the port hands over the bytes that have fully arrived since the last tick;
    // the final partial batch goes at the first tick after the last byte.
    const std::chrono::nanoseconds tick = tickOf(pacing);
    int delivered = 0;
    for (std::chrono::nanoseconds at = tick; delivered < byteCount; at += tick) {
        int arrived = delivered;
        while (arrived < byteCount && lineTime(arrived) <= at)
            ++arrived;
        if (arrived > delivered) {
            chunks.append({at, arrived - delivered});
            delivered = arrived;
        }
    }
    return chunks;
}

std::optional<Pacing> pacingFromName(const QString& name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("unpaced"))
        return Pacing::Unpaced;
    if (lower == QLatin1String("uart"))
        return Pacing::Uart;
    if (lower == QLatin1String("usb"))
        return Pacing::Usb;
    if (lower == QLatin1String("usb-low-latency"))
        return Pacing::UsbLowLatency;
    return std::nullopt;
}

QString pacingName(Pacing pacing)
{
    switch (pacing) {
    case Pacing::Unpaced:
        return QStringLiteral("unpaced");
    case Pacing::Uart:
        return QStringLiteral("uart");
    case Pacing::Usb:
        return QStringLiteral("usb");
    case Pacing::UsbLowLatency:
        return QStringLiteral("usb-low-latency");
    }
    return {};
}

} // namespace cablemeter::sim
