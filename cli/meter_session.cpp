#include "cli/meter_session.h"

#include "cli/interrupt_watch.h"
#include "link/meter_link.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "platform/serial_port_factory.h"

#include <QFileInfo>

namespace cablemeter::cli {

namespace {

constexpr char kDeviceMapping[] = "CABLEMETER_COM1";
const QString kDevicePort = QStringLiteral("COM1");

// The selector text the link is given; maps a device to COM1 on the way.
QString selectorFor(const QString& port)
{
    if (namedPortNumber(port))
        return port;
    qputenv(kDeviceMapping, port.toLocal8Bit());
    return kDevicePort;
}

} // namespace

MeterSession::MeterSession(const QString& port, InterruptWatch& watch, bool drawProgress,
                           bool verify)
    : m_controls(selectorFor(port), drawProgress), m_port(createSerialPort(nullptr)),
      m_link(std::make_unique<MeterLink>(*m_port, m_controls))
{
    m_link->setVerifyPages(verify);
    QObject::connect(&watch, &InterruptWatch::interrupted, m_link.get(), [this] {
        m_controls.silenceErrors();
        m_link->cancel();
    });
}

MeterSession::~MeterSession() = default;

bool MeterSession::open()
{
    return m_link->OpenCom();
}

QString MeterSession::openError() const
{
    QString error = m_link->lastError();
    // The link's advice is the window's (pick another port in the selector); say it our way too.
    const QString device = deviceForPort(portNumberFromSelector(m_controls.portSelectorText()));
    if (!QFileInfo::exists(device))
        error += QStringLiteral("\n\nGive the meter's device with --port DEVICE; "
                                "\"cablemeter-cli ports\" lists the serial ports.");
    return error;
}

} // namespace cablemeter::cli
