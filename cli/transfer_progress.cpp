#include "cli/transfer_progress.h"

#include "cli/console_output.h"
#include "link/page.h"

#include <algorithm>

namespace cablemeter::cli {

namespace {

constexpr int kBarWidth = 20;
constexpr double kBytesPerKiB = 1024.0;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr qint64 kSecondsPerMinute = 60;

QString timeText(qint64 seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / kSecondsPerMinute)
        .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0'));
}

} // namespace

TransferProgress::TransferProgress(bool visible) : m_visible(visible)
{
    m_clock.start();
}

void TransferProgress::update(int pagesDone, int pagesTotal)
{
    if (!m_visible)
        return;
    printProgress(QLatin1Char('\r') + barText(pagesDone, pagesTotal, m_clock.elapsed()));
    m_drawn = true;
}

void TransferProgress::finish()
{
    if (m_drawn)
        printProgress(QStringLiteral("\n"));
    m_drawn = false;
}

QString TransferProgress::barText(int pagesDone, int pagesTotal, qint64 elapsedMs)
{
    const int total = std::max(pagesTotal, 1);
    const int done = std::clamp(pagesDone, 0, total);
    const int filled = done * kBarWidth / total;
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('-'));

    const double kib = double(done) * kPageSize / kBytesPerKiB;
    const double seconds = double(elapsedMs) / kMillisecondsPerSecond;
    QString rate = QStringLiteral("--- KiB/s");
    QString left = QStringLiteral("-:-- left");
    if (done > 0 && elapsedMs > 0) {
        rate = QStringLiteral("%1 KiB/s").arg(kib / seconds, 5, 'f', 1);
        const double secondsPerPage = seconds / done;
        left = timeText(qint64(secondsPerPage * (total - done) + 0.5)) + QStringLiteral(" left");
    }
    return QStringLiteral("[%1] %2/%3 pages  %4 KiB  %5  %6")
        .arg(bar)
        .arg(done, 4)
        .arg(pagesTotal)
        .arg(kib, 6, 'f', 1)
        .arg(rate, left);
}

} // namespace cablemeter::cli
