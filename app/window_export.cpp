#include "app/window_export.h"

#include "screens/background_picture.h"
#include "export/export_manifest.h"
#include "export/record_export.h"
#include "export/recording_page_reader.h"
#include "app/file_dialog.h"
#include "platform/window_controls.h"

#include <QFileInfo>

#include <utility>

namespace cablemeter {

namespace {

const QString kPictureFormat = QStringLiteral("png");
const QString kFailedTitle = QStringLiteral("Export not written");

// What became of the files of an export that did not complete.
QString cleanUpText(const ExportResult& result, const QString& folder)
{
    if (!result.leftFiles.isEmpty())
        return QStringLiteral("These %1 files it wrote could not be removed; remove them "
                              "yourself:\n%2")
            .arg(result.leftFiles.size())
            .arg(result.leftFiles.join(QLatin1Char('\n')));
    if (result.unfinishedFiles > 0)
        return QStringLiteral("The %1 files it had written into %2 were removed.")
            .arg(result.unfinishedFiles)
            .arg(shownPath(folder));
    return QStringLiteral("Nothing was written into %1.").arg(shownPath(folder));
}

} // namespace

WindowExport::WindowExport(FileDialog& dialog, WindowControls& controls, PageReader& reader,
                           QString programFolder, MenuTask::TellDone tellDone)
    : m_dialog(dialog), m_controls(controls), m_reader(reader),
      m_programFolder(std::move(programFolder)), m_task(controls, std::move(tellDone))
{
}

std::optional<QString> WindowExport::exportAll()
{
    if (m_task.isRunning())
        return std::nullopt;
    const std::optional<QString> folder =
        m_dialog.askFolderName(QStringLiteral("Export all records into a folder"));
    bool replaceEarlierExport = false;
    if (!folder || !mayWriteInto(*folder, replaceEarlierExport))
        return std::nullopt;

    const MenuTask::Running running(m_task, QStringLiteral("Export ..."));
    // Each page comes from the meter once; drawing and decoding a record read the same pages.
    RecordingPageReader pages(m_reader);
    RecordExport recordExport(pages,
                              {*folder, kPictureFormat, false,
                               findBackgroundPicture(m_programFolder).image, replaceEarlierExport});
    recordExport.setProgress([this](int done, int total) { m_task.showProgress(done, total); });
    recordExport.setStopRequested([this] { return m_task.isCancelled(); });
    const ExportResult result = recordExport.run();
    if (result.outcome != ExportOutcome::Written) {
        tellNotWritten(result, *folder);
        return std::nullopt;
    }
    tellWritten(result, *folder);
    return folder;
}

bool WindowExport::mayWriteInto(const QString& folder, bool& replaceEarlierExport)
{
    const ExportManifest earlier(folder);
    replaceEarlierExport = earlier.earlierExportPresent();
    return !replaceEarlierExport ||
           m_controls.askYesNo(
               QStringLiteral("Replace the earlier export?"),
               QStringLiteral("%1 already holds an export. Replace it with this one?\n\nOnly the "
                              "files listed in its %2 are removed; nothing else in the folder is "
                              "touched.")
                   .arg(shownPath(folder), QLatin1String(ExportManifest::kFileName)));
}

void WindowExport::tellWritten(const ExportResult& result, const QString& folder)
{
    QStringList tables;
    int pictures = 0;
    for (const QString& path : result.writtenFiles) {
        if (path.endsWith(QLatin1Char('.') + kPictureFormat))
            ++pictures;
        else
            tables << QFileInfo(path).fileName();
    }
    QString message = QStringLiteral("%1 pictures, %2 were written into\n%3\nand listed in %4.")
                          .arg(pictures)
                          .arg(tables.join(QStringLiteral(" and ")), shownPath(folder),
                               QLatin1String(ExportManifest::kFileName));
    if (result.removedEarlierFiles)
        message += QStringLiteral("\n\nThe %1 files of the earlier export there were removed "
                                  "first.")
                       .arg(*result.removedEarlierFiles);
    m_task.succeed(QStringLiteral("Export written"), message);
}

void WindowExport::tellNotWritten(const ExportResult& result, const QString& folder)
{
    UserMessage message = result.problem;
    switch (result.outcome) {
    case ExportOutcome::Written:
        return;
    case ExportOutcome::Stopped:
        if (result.leftFiles.isEmpty()) {
            m_task.showStatus(QStringLiteral("Export cancelled"));
            return;
        }
        message =
            UserMessage(QStringLiteral("The export into %1 was cancelled.").arg(shownPath(folder)),
                        QStringLiteral("Remove the files it left yourself."));
        break;
    case ExportOutcome::EarlierExport:
        message.todo = QStringLiteral("Export again to replace it, or choose another folder.");
        break;
    case ExportOutcome::NamesTaken:
        // Found before anything was written; it says so, and what to do.
        m_task.fail(kFailedTitle, message);
        return;
    case ExportOutcome::MeterFailed:
        break; // the link's message says what to do
    case ExportOutcome::WriteFailed:
        message.todo =
            QStringLiteral("Make room, or choose a folder you may write, then export again.");
        break;
    }
    m_task.fail(kFailedTitle, message.withDetail(cleanUpText(result, folder)));
}

} // namespace cablemeter
