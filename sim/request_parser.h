#pragma once

#include <QByteArray>
#include <QList>

namespace cablemeter::sim {

// One request frame as it came over the line: 0xAA, command, parameter count n, n parameters,
// checksum (the sum of the bytes before it, modulo 256).
struct RequestFrame {
    QByteArray bytes;
    bool checksumOk = false;
};

// Cuts the byte stream the meter receives into request frames. Bytes that cannot start a frame are
// skipped; after a frame with a wrong checksum the search for 0xAA starts again right after its
// first byte, so a real request hidden inside a broken one is still found.
class RequestParser {
public:
    static constexpr char kStartByte = char(0xAA);
    // No request carries more parameters; a larger count means we are not at a frame start.
    static constexpr int kMaxParameters = 8;

    // Takes received bytes and returns the frames they complete, in order of arrival.
    QList<RequestFrame> feed(const QByteArray& bytes);
    // Drops a partly received frame (the line was quiet for too long).
    void reset();

    bool hasPartialFrame() const { return !m_pending.isEmpty(); }
    // Bytes dropped while looking for a frame start.
    int skippedBytes() const { return m_skippedBytes; }

    static char checksumOf(const QByteArray& bytesBeforeChecksum);

private:
    QByteArray m_pending;
    int m_skippedBytes = 0;
};

} // namespace cablemeter::sim
