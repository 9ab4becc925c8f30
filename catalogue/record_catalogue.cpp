#include "catalogue/record_catalogue.h"

#include "screens/background_picture.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/catalogue_line.h"
#include "link/page_reader.h"
#include "platform/picture.h"
#include "platform/saved_file.h"
#include "platform/window_controls.h"
#include "screens/renderers.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace cablemeter {

namespace {

constexpr int kDownloadProgressStep = 3;
constexpr int kListingProgressStep = 2;

const QString kReadFailedTitle = QStringLiteral("Read failed");
const QString kListKept = QStringLiteral("The record list was left as it was.");

// The full path: the catalogue file goes to the current folder, which the user may not know.
QString shownPath(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

static_assert(kSlotCount <= RecordCatalogue::kListKindEntries &&
                  kSlotCount <= RecordCatalogue::kListSlotEntries,
              "every slot must have room for a list line");

} // namespace

RecordCatalogue::RecordCatalogue(WindowControls& controls, PageReader& reader, Picture& picture,
                                 QString catalogueFilePath, QString programFolder,
                                 RendererTable renderers)
    : m_controls(controls), m_reader(reader), m_picture(picture),
      m_catalogueFilePath(std::move(catalogueFilePath)), m_programFolder(std::move(programFolder)),
      m_renderers(std::move(renderers))
{
}

void RecordCatalogue::Command7_Click()
{
    BusyScope busy(m_controls);
    m_controls.setProgressVisible(true);
    m_controls.setProgressMaximum(kProgressMaximum);
    m_controls.setProgressValue(0);
    m_controls.setStatusText(QStringLiteral("Read Files ..."));
    if (!MadeIndex()) {
        m_controls.setStatusText(kReadFailedTitle);
        return;
    }
    m_controls.setStatusText(QStringLiteral("Read OK "));
    if (!ProcDat()) {
        m_controls.setStatusText(kReadFailedTitle);
        return;
    }
    m_controls.setStatusText(QStringLiteral(" OK "));
}

bool RecordCatalogue::MadeIndex()
{
    // Something other than a file under the catalogue file's name is told before the meter is
    // asked for anything; the file is checked again when it is written.
    if (const std::optional<QString> refusal = refusalToWrite(shownPath(m_catalogueFilePath))) {
        m_controls.reportError(kReadFailedTitle,
                               {*refusal + QLatin1Char('.'),
                                QStringLiteral("Move it away, or start the program from another "
                                               "folder, then try again."),
                                kListKept});
        return false;
    }
    // The file is written only once every page is in, so a Read that stops part-way leaves the
    // previous catalogue whole.
    QByteArray contents(kCatalogueFileSize, '\0');
    m_reader.beginOperation();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        m_controls.setProgressValue(kDownloadProgressStep * slot);
        const int page = headerPage(slot);
        if (!m_reader.ReadFlash(page)) {
            reportFailedRead();
            return false;
        }
        const PageBuffer& buffer = m_reader.pageBuffer();
        std::copy(buffer.begin() + 1, buffer.end(),
                  contents.begin() + qsizetype(slot) * kCatalogueBlockSize);
    }
    // The last header page is checked like the others before anything is written.
    if (!m_reader.endOperation()) {
        reportFailedRead();
        return false;
    }
    QString error;
    if (!writeCatalogueFile(m_catalogueFilePath, contents, error)) {
        m_controls.reportError(
            kReadFailedTitle,
            {error + QLatin1Char('.'),
             QStringLiteral("Make room on the disk, or start the program from a folder you may "
                            "write, then try again."),
             QStringLiteral("The earlier %1 and the record list were left as they were.")
                 .arg(QLatin1String(kCatalogueFileName))});
        return false;
    }
    return true;
}

void RecordCatalogue::reportFailedRead()
{
    // The reader's message names the page, the slot and the port, and says what to do.
    m_controls.reportError(kReadFailedTitle,
                           m_reader.failure().withDetail(
                               QStringLiteral("%1 and the record list were left as they were.")
                                   .arg(shownPath(m_catalogueFilePath))));
}

bool RecordCatalogue::ProcDat()
{
    QByteArray blocks;
    QString error;
    if (!readCatalogueBlocks(m_catalogueFilePath, blocks, error)) {
        m_controls.reportError(kReadFailedTitle,
                               {error + QLatin1Char('.'),
                                QStringLiteral("Check that nothing else changes the file, then "
                                               "try again."),
                                kListKept});
        return false;
    }
    m_controls.clearList();
    int position = 0; // equals the list's line count: the list was just cleared
    for (int slot = 0; slot < kSlotCount; ++slot) {
        m_controls.setProgressValue(kListingProgressStep * slot);
        const QByteArrayView block(blocks.constData() + qsizetype(slot) * kCatalogueBlockSize,
                                   kCatalogueBlockSize);
        const int kind = std::uint8_t(block[kKindOffset]);
        if (kind > kLastListedKind)
            continue;
        m_listKind[position] = std::int16_t(kind);
        m_listSlot[position] = slot;
        m_controls.appendListLine(catalogueLine(block));
        ++position;
    }
    return true;
}

void RecordCatalogue::List1_Click()
{
    const int line = m_controls.selectedListLine();
    if (line < 0 || line >= m_controls.listCount() || line >= kListSlotEntries)
        return;
    const auto renderer = m_renderers.find(m_listKind[line]);
    if (renderer == m_renderers.end())
        return;
    const int slot = m_listSlot[line];

    BusyScope busy(m_controls);
    m_picture.setBackground(loadBackground());
    ScreenContext context{m_reader, m_picture,
                          [this](const QString& text) { m_controls.setStatusText(text); }};
    m_reader.beginOperation();
    const bool drawn = renderer->second(context, slot);
    const bool checked = drawn && m_reader.endOperation();
    // A page read before this one proved wrong: what was drawn from it must not be saved.
    if (drawn && !checked)
        m_picture.clear();
    if (!checked)
        m_controls.reportError(
            QStringLiteral("Record not shown"),
            m_reader.failure().withDetail(
                QStringLiteral("The record in slot %1 was not drawn.").arg(slot)));
}

QImage RecordCatalogue::loadBackground()
{
    const BackgroundPicture background = findBackgroundPicture(m_programFolder);
    if (background.image.isNull() && !m_backgroundReported) {
        m_backgroundReported = true;
        m_controls.reportError(
            QStringLiteral("Background picture missing"),
            UserMessage(background.error)
                .withDetail(QStringLiteral("Screens are drawn on a plain picture until then.")));
    }
    return background.image;
}

} // namespace cablemeter
