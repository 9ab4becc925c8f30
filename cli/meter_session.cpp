#include "cli/meter_session.h"

#include "cli/interrupt_watch.h"
#include "link/meter_link.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "platform/serial_port_factory.h"

namespace cablemeter::cli {

namespace {

PortChoice choiceOf(const QString& port)
{
    if (const std::optional<int> number = namedPortNumber(port, Qt::CaseInsensitive))
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

UserMessage MeterSession::openFailure() const
{
    return m_link->failure();
}

} // namespace cablemeter::cli
