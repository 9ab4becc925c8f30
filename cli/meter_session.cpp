#include "cli/meter_session.h"

#include "cli/interrupt_watch.h"
#include "link/meter_link.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "platform/serial_port_factory.h"

#include <QFileInfo>

namespace cablemeter::cli {

namespace {

PortChoice choiceOf(const QString& port)
{
    if (const std::optional<int> number = namedPortNumber(port))
        return PortChoice::com(*number);
    return PortChoice::path(port);
}

} // namespace

MeterSession::MeterSession(const QString& port, InterruptWatch& watch, bool drawProgress,
                           bool verify)
    : m_choice(choiceOf(port)), m_controls(drawProgress), m_port(createSerialPort(nullptr)),
      m_link(std::make_unique<MeterLink>(*m_port, m_ports, m_controls, [this] { return m_choice; }))
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
    if (!QFileInfo::exists(m_ports.deviceFor(m_choice)))
        error += QStringLiteral("\n\nGive the meter's device with --port DEVICE; "
                                "\"cablemeter-cli ports\" lists the serial ports.");
    return error;
}

} // namespace cablemeter::cli
