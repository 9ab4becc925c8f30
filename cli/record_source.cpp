#include "cli/record_source.h"

#include "screens/background_picture.h"
#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/meter_session.h"
#include "export/recording_page_reader.h"
#include "link/meter_link.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace cablemeter::cli {

RecordSource::RecordSource(InterruptWatch& watch)
    : m_watch(watch),
      m_imageOption(QStringLiteral("image"),
                    QStringLiteral("Read the records from a flash image file (as dump writes it)."),
                    QStringLiteral("FILE")),
      m_portOption(QStringLiteral("port"),
                   QStringLiteral("Read the records from the meter on this serial device (or "
                                  "COM1 to COM4)."),
                   QStringLiteral("DEVICE")),
      m_verifyOption(verifyOption())
{
}

RecordSource::~RecordSource() = default;

void RecordSource::addOptions(QCommandLineParser& parser) const
{
    parser.addOptions({m_imageOption, m_portOption, m_verifyOption});
}

bool RecordSource::takeOptions(const QCommandLineParser& parser, const QString& usage,
                               int& exitCode)
{
    exitCode = kExitUsage;
    if (parser.isSet(m_imageOption) == parser.isSet(m_portOption)) {
        printProblem(QStringLiteral("give either --image FILE or --port DEVICE\nUsage: ") + usage);
        return false;
    }
    if (parser.isSet(m_imageOption) && parser.isSet(m_verifyOption)) {
        printProblem(QStringLiteral("--verify checks what is read from the meter: it goes with "
                                    "--port, not --image\nUsage: ") +
                     usage);
        return false;
    }
    if (parser.isSet(m_portOption) && !requirePortName(parser.value(m_portOption), exitCode))
        return false;
    m_imagePath = parser.value(m_imageOption);
    m_port = parser.value(m_portOption);
    m_verify = parser.isSet(m_verifyOption);
    exitCode = kExitSuccess;
    return true;
}

bool RecordSource::open(int& exitCode)
{
    if (readsImage()) {
        if (!m_imageReader.load(m_imagePath)) {
            printProblem(m_imageReader.lastError());
            exitCode = kExitFileFailed;
            return false;
        }
        return true;
    }
    m_session = std::make_unique<MeterSession>(m_port, m_watch, false, m_verify);
    if (!m_session->open()) {
        printProblem(m_session->openError());
        exitCode = kExitPortNotOpened;
        return false;
    }
    // Each page comes from the meter once; drawing and decoding a record read the same pages.
    m_meterPages = std::make_unique<RecordingPageReader>(m_session->link());
    return true;
}

PageReader& RecordSource::reader()
{
    if (m_meterPages)
        return *m_meterPages;
    return m_imageReader;
}

QString RecordSource::portName() const
{
    return m_session ? m_session->link().portName() : QString();
}

QImage screenBackground()
{
    const BackgroundPicture background =
        findBackgroundPicture(QCoreApplication::applicationDirPath());
    if (background.image.isNull())
        printProblem(background.error + QStringLiteral("\nScreens are drawn on a plain picture."));
    return background.image;
}

} // namespace cablemeter::cli
