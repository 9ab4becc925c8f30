#pragma once

#include <QObject>

class QSocketNotifier;

namespace cablemeter {

// Turns the console's requests to stop into a Qt signal delivered on the event loop.
// POSIX: SIGINT and SIGTERM; the handler only writes the signal's number into a pipe that a
// notifier watches. Windows: Ctrl-C and Ctrl-Break through the console's control handler, both
// reported as SIGINT; the handler runs on a thread of its own and queues the report.
// One instance at a time; the default actions return when it is destroyed.
class InterruptSignals : public QObject {
    Q_OBJECT
public:
    explicit InterruptSignals(QObject* parent = nullptr);
    ~InterruptSignals() override;
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

signals:
    // SIGINT or SIGTERM as <csignal> numbers them (2 and 15 on every platform we build for).
    void interrupted(int signalNumber);

private:
    QSocketNotifier* m_signalPipeNotifier = nullptr; // POSIX only
};

} // namespace cablemeter
