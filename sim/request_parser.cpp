#include "sim/request_parser.h"

namespace cablemeter::sim {

namespace {

constexpr int kHeaderBytes = 3; // start byte, command, parameter count
constexpr int kCountIndex = 2;

} // namespace

char RequestParser::checksumOf(const QByteArray& bytesBeforeChecksum)
{
    unsigned sum = 0;
    for (const char byte : bytesBeforeChecksum)
        sum += static_cast<unsigned char>(byte);
    return char(sum & 0xFF);
}

QList<RequestFrame> RequestParser::feed(const QByteArray& bytes)
{
    m_pending.append(bytes);
    QList<RequestFrame> frames;
    while (!m_pending.isEmpty()) {
        if (m_pending.front() != kStartByte) {
            m_pending.remove(0, 1);
            ++m_skippedBytes;
            continue;
        }
        if (m_pending.size() < kHeaderBytes)
            break;
        const int parameterCount = static_cast<unsigned char>(m_pending.at(kCountIndex));
        if (parameterCount > kMaxParameters) {
            m_pending.remove(0, 1);
            ++m_skippedBytes;
            continue;
        }
        const int frameLength = kHeaderBytes + parameterCount + 1;
        if (m_pending.size() < frameLength)
            break;
        RequestFrame frame;
        frame.bytes = m_pending.left(frameLength);
        frame.checksumOk = checksumOf(frame.bytes.chopped(1)) == frame.bytes.back();
        // A good frame is consumed whole; of a bad one only its start byte, then search again.
        m_pending.remove(0, frame.checksumOk ? frameLength : 1);
        frames.append(frame);
    }
    return frames;
}

void RequestParser::reset()
{
    m_skippedBytes += int(m_pending.size());
    m_pending.clear();
}

} // namespace cablemeter::sim
