#pragma once

#include <QObject>

class QSocketNotifier;

namespace cablemeter::cli {

// Turns SIGINT and SIGTERM into a Qt signal delivered on the event loop (a signal handler may do
// almost nothing, so it only writes the signal's number into a pipe that a notifier watches).
// One watch at a time; the signals' default actions return when it is destroyed.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool isInterrupted() const { return m_signalNumber != 0; }
    // 128 + the signal's number once interrupted.
    int exitCode() const;

signals:
    void interrupted(int signalNumber);

private:
    void takePendingSignal();

    QSocketNotifier* m_notifier = nullptr;
    int m_signalNumber = 0;
};

} // namespace cablemeter::cli
