#include "pty_client.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace cablemeter::testing {

PtyClient::PtyClient(const QString& devicePath)
{
    m_fd = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios settings{};
    if (tcgetattr(m_fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(m_fd, TCSANOW, &settings);
    }
}

PtyClient::~PtyClient()
{
    close();
}

void PtyClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool PtyClient::send(const QByteArray& bytes)
{
    return m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QList<QByteArray> PtyClient::readChunks(int count, std::chrono::milliseconds quiet)
{
    QList<QByteArray> chunks;
    int received = 0;
    char buffer[1024];
    while (m_fd >= 0 && received < count) {
        pollfd fds{m_fd, POLLIN, 0};
        const int ready = ::poll(&fds, 1, int(quiet.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds.revents & POLLIN) == 0)
            break;
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        chunks.append(QByteArray(buffer, int(length)));
        received += int(length);
    }
    return chunks;
}

QByteArray PtyClient::read(int count, std::chrono::milliseconds quiet)
{
    QByteArray all;
    for (const QByteArray& chunk : readChunks(count, quiet))
        all += chunk;
    return all;
}

bool PtyClient::waitForHangUp(std::chrono::milliseconds timeout)
{
    if (m_fd < 0)
        return false;
    pollfd fds{m_fd, POLLIN, 0};
    if (::poll(&fds, 1, int(timeout.count())) <= 0)
        return false;
    if ((fds.revents & (POLLHUP | POLLERR)) != 0)
        return true;
    char byte = 0;
    return ::read(m_fd, &byte, 1) <= 0; // end of file or EIO: the line is gone
}

QByteArray pageRequest(int page)
{
    QByteArray frame;
    frame += char(0xAA);
    frame += char(0xFA);
    frame += char(0x02);
    frame += char(page >> 8);
    frame += char(page & 0xFF);
    const int checksum = (0xAA + 0xFA + 0x02 + (page >> 8) + (page & 0xFF)) % 256;
    frame += char(checksum);
    return frame;
}

QByteArray beepRequest()
{
    return QByteArray::fromHex("aa0301ffad");
}

} // namespace cablemeter::testing
