#include "link/request_frame.h"

namespace cablemeter {

QByteArray requestFrame(quint8 command, const QByteArray& parameters)
{
    QByteArray frame;
    frame.append(char(kRequestStart));
    frame.append(char(command));
    frame.append(char(parameters.size()));
    frame.append(parameters);
    quint8 checksum = 0;
    for (char byte : frame)
        checksum = quint8(checksum + quint8(byte));
    frame.append(char(checksum));
    return frame;
}

QByteArray pageRequest(int flashPage)
{
    QByteArray parameters;
    parameters.append(char((flashPage & 0xFF00) >> 8));
    parameters.append(char(flashPage & 0xFF));
    return requestFrame(kReadPageCommand, parameters);
}

QByteArray beepRequest()
{
    return requestFrame(kBeepCommand, QByteArray(1, char(kBeepParameter)));
}

} // namespace cablemeter
