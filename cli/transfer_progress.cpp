#include "cli/transfer_progress.h"

#include "cli/console_output.h"
#include "link/page.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <utility>

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

TransferProgress::TransferProgress(bool visible, int cataloguePages, Draw draw, Clock clock)
    : m_visible(visible), m_cataloguePages(cataloguePages), m_draw(std::move(draw)),
      m_clock(std::move(clock))
{
    if (!m_draw)
        m_draw = printProgress;
    if (!m_clock) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        m_clock = [started] { return started->elapsed(); };
    }
    m_phaseStart = m_clock();
}

void TransferProgress::update(int pagesDone, int pagesTotal)
{
    if (!m_visible)
        return;
    if (m_phase == Phase::Catalogue && pagesDone <= m_cataloguePages) {
        drawBar(barText(Phase::Catalogue, pagesDone, m_cataloguePages, m_clock() - m_phaseStart));
        if (pagesDone == m_cataloguePages)
            beginRecords();
        return;
    }
    if (m_phase == Phase::Catalogue)
        beginRecords();
    drawBar(barText(Phase::Records, pagesDone - m_cataloguePages, pagesTotal - m_cataloguePages,
                    m_clock() - m_phaseStart));
}

void TransferProgress::beginRecords()
{
    // The record pages are timed from here: the catalogue's pace says nothing of theirs.
    finish();
    m_phase = Phase::Records;
    m_phaseStart = m_clock();
}

void TransferProgress::drawBar(const QString& text)
{
    m_draw(QLatin1Char('\r') + text);
    m_drawn = true;
}

void TransferProgress::finish()
{
    if (m_drawn)
        m_draw(QStringLiteral("\n"));
    m_drawn = false;
}

QString TransferProgress::barText(Phase phase, int pagesDone, int pagesTotal, qint64 elapsedMs)
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
    const QString text = QStringLiteral("%1 [%2] %3/%4 pages  %5 KiB  %6")
                             .arg(phase == Phase::Catalogue ? QStringLiteral("catalogue")
                                                            : QStringLiteral("records  "),
                                  bar)
                             .arg(done, 4)
                             .arg(pagesTotal)
                             .arg(kib, 6, 'f', 1)
                             .arg(rate);
    // Until the catalogue is in, the record pages to come are unknown: no time left is told.
    return phase == Phase::Catalogue ? text : text + QStringLiteral("  ") + left;
}

} // namespace cablemeter::cli
