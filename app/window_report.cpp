#include "app/window_report.h"

#include "app/menu_task.h"
#include "screens/background_picture.h"
#include "export/recording_page_reader.h"
#include "export/report_document.h"
#include "export/report_reading.h"
#include "export/report_text.h"
#include "app/file_dialog.h"
#include "platform/saved_file.h"

#include <QFileInfo>

#include <utility>

namespace cablemeter {

namespace {

constexpr char kReportFilter[] = "PDF report (*.pdf)|*.pdf|HTML report (*.html)|*.html";
constexpr char kLimitsFilter[] = "Limits (*.txt *.limits)|*.txt;*.limits|All files (*)|*";
constexpr char kProposedName[] = "report.pdf";
const QString kFailedTitle = QStringLiteral("Report not written");

} // namespace

WindowReport::WindowReport(FileDialog& dialog, WindowControls& controls, PageReader& reader,
                           QString programFolder, MenuTask::TellDone tellDone,
                           PagesVerified pagesVerified, PortName portName)
    : m_dialog(dialog), m_reader(reader), m_programFolder(std::move(programFolder)),
      m_task(controls, std::move(tellDone)), m_pagesVerified(std::move(pagesVerified)),
      m_portName(std::move(portName))
{
}

std::optional<QString> WindowReport::create()
{
    if (m_task.isRunning())
        return std::nullopt;
    const std::optional<QString> path =
        m_dialog.askSaveFileName(QLatin1String(kReportFilter), QLatin1String(kProposedName));
    if (!path)
        return std::nullopt;
    if (!reportFormatFor(*path)) {
        fail(UserMessage(QStringLiteral("%1 is not a name for a report.").arg(shownPath(*path)),
                         QStringLiteral("Give a name ending in .pdf or .html.")));
        return std::nullopt;
    }
    if (const std::optional<QString> refusal = refusalToWrite(*path)) {
        fail(UserMessage(*refusal, QStringLiteral("Choose another name.")));
        return std::nullopt;
    }
    const std::optional<QString> limitsPath = m_dialog.askOpenFileName(
        QStringLiteral("Limits to check (Cancel: a report without limits)"),
        QLatin1String(kLimitsFilter));
    return readAndWrite(*path, limitsPath.value_or(QString()));
}

std::optional<QString> WindowReport::readAndWrite(const QString& path, const QString& limitsPath)
{
    ReportHeading heading;
    heading.title = QFileInfo(path).completeBaseName();
    heading.limits = QStringLiteral("none: every verdict is \"-\"");
    Limits limits;
    if (!limitsPath.isEmpty()) {
        QString error;
        if (loadLimits(limitsPath, limits, error) != LimitsLoading::Loaded) {
            fail(UserMessage(error,
                             QStringLiteral("Correct the limits file, then create the report "
                                            "again."),
                             QStringLiteral("Nothing was read from the meter.")));
            return std::nullopt;
        }
        heading.limits = shownPath(limitsPath);
    }

    const MenuTask::Running running(m_task, QStringLiteral("Report ..."));

    // Each page comes from the meter once; drawing and decoding a record read the same pages.
    RecordingPageReader pages(m_reader);
    ReportReading reading(pages, findBackgroundPicture(m_programFolder).image, limits);
    reading.setProgress([this](int done, int total) { m_task.showProgress(done, total); });
    reading.setStopRequested([this] { return m_task.isCancelled(); });
    if (!reading.read()) {
        if (reading.wasStopped()) {
            m_task.showStatus(QStringLiteral("Report cancelled"));
            return std::nullopt;
        }
        fail(
            reading.error().withDetail(QStringLiteral("%1 was not written.").arg(shownPath(path))));
        return std::nullopt;
    }

    heading.madeAt = QDateTime::currentDateTime();
    heading.source = QStringLiteral("the meter on %1").arg(m_portName());
    heading.verification =
        m_pagesVerified() ? QStringLiteral("yes: every page was read twice and taken only when "
                                           "both reads agreed")
                          : QStringLiteral("no: every page was read once");
    const QByteArray document = reportDocument(*reportFormatFor(path), heading, reading.records());
    if (QString error; !saveBytes(path, document, error)) {
        fail(UserMessage(error, QStringLiteral("Choose a folder you may write that has room.")));
        return std::nullopt;
    }
    m_task.succeed(QStringLiteral("Report written"),
                   QStringLiteral("The report was written to\n%1\n\n%2.")
                       .arg(shownPath(path), resultCountsText(reading.records())));
    return path;
}

void WindowReport::fail(const UserMessage& message)
{
    m_task.fail(kFailedTitle, message);
}

} // namespace cablemeter
