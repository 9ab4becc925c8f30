#pragma once

#include <QObject>

namespace cablemeter::cli {

// Remembers the first request to stop (Ctrl-C, or SIGTERM where there are signals) and passes it
// on once, so that a read in progress can be cancelled and the program can exit as a shell expects.
// One watch at a time; the requests' default actions return when it is destroyed.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject* parent = nullptr);

    bool isInterrupted() const { return m_signalNumber != 0; }
    // The same, once a pending Ctrl-C has been let through: reading an image never waits for
    // events, so a long run asks this between its steps.
    bool interruptedNow();
    // 128 + the signal's number once interrupted.
    int exitCode() const;

signals:
    void interrupted(int signalNumber);

private:
    void takeSignal(int signalNumber);

    int m_signalNumber = 0;
};

} // namespace cablemeter::cli
