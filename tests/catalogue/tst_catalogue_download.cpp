#include "catalogue/record_catalogue.h"
#include "catalogue_pages.h"
#include "recording_picture.h"
#include "support/fake_page_reader.h"
#include "support/fake_window_controls.h"
#include "support/full_disk.h"
#include "support/message_shape.h"
#include "support/special_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <unistd.h>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

constexpr int kFreshFileSize = 8193;
constexpr int kLongFileSize = 10000;

// Hands every read to whichever reader the test points it at, so one catalogue can meet a meter
// that answers and then one that falls silent.
class SwitchablePageReader : public PageReader {
public:
    explicit SwitchablePageReader(PageReader* target) : m_target(target) {}
    void setTarget(PageReader* target) { m_target = target; }
    bool ReadFlash(int flashPage) override { return m_target->ReadFlash(flashPage); }
    const PageBuffer& pageBuffer() const override { return m_target->pageBuffer(); }
    QString lastError() const override { return m_target->lastError(); }
    void beginOperation() override { m_target->beginOperation(); }
    bool endOperation() override { return m_target->endOperation(); }

private:
    PageReader* m_target;
};

// A flash image whose every byte depends on its page and position, so any misplaced byte shows.
QByteArray patternedFlash(int seed)
{
    QByteArray image(1024 * kPageSize, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = char((i * 31 + i / kPageSize * 17 + seed) & 0xFF);
    return image;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QList<int> steps(int step, int count)
{
    QList<int> values;
    for (int n = 0; n < count; ++n)
        values.append(step * n);
    return values;
}

} // namespace

class CatalogueDownloadTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void freshFileHoldsTheHeaderPagesAndAClosingZero();
    void longerFileKeepsItsBytesPastTheCatalogue();
    void readRunsInOrderWithProgressAndStatus();

    void failedPageLeavesFileAndListAsTheyWere_data();
    void failedPageLeavesFileAndListAsTheyWere();

    void unwritableFileIsReportedAndNothingListed_data();
    void unwritableFileIsReportedAndNothingListed();

    void fullDiskLeavesTheEarlierFile_data();
    void fullDiskLeavesTheEarlierFile();
    void linkAndPermissionsOfTheEarlierFileStay();

    void unreadableFileIsReportedAndListKept_data();
    void unreadableFileIsReportedAndListKept();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void CatalogueDownloadTest::init()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("MeterDat.dat"));
    QDir(m_path).removeRecursively(); // a folder made in its place by an earlier case
    QFile::remove(m_path);
    QFile::remove(m_path + QStringLiteral(".fifo")); // the target of a link made earlier
}

void CatalogueDownloadTest::freshFileHoldsTheHeaderPagesAndAClosingZero()
{
    const QByteArray flash = patternedFlash(5);
    FakePageReader reader(flash);
    FakeWindowControls controls;
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    catalogue.Command7_Click();

    const QByteArray file = fileBytes(m_path);
    QCOMPARE(file.size(), kFreshFileSize);
    QCOMPARE(file.at(kFreshFileSize - 1), '\0');
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const qsizetype pageStart = qsizetype(headerPage(slot)) * kPageSize;
        const QByteArray block = file.mid(qsizetype(slot) * kPageSize, kPageSize);
        // The meter delivers page bytes 1 to 254; 255 and 256 arrive as 0.
        QCOMPARE(block.first(kPageSize - 2), flash.mid(pageStart, kPageSize - 2));
        QCOMPARE(block.sliced(kPageSize - 2), QByteArray(2, '\0'));
    }
    QVERIFY(controls.errors.isEmpty());
}

void CatalogueDownloadTest::longerFileKeepsItsBytesPastTheCatalogue()
{
    QByteArray old(kLongFileSize, '\0');
    for (int i = 0; i < old.size(); ++i)
        old[i] = char(0xA0 + i % 23);
    writeFile(m_path, old);

    const QByteArray flash = patternedFlash(9);
    FakePageReader reader(flash);
    FakeWindowControls controls;
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    catalogue.Command7_Click();

    const QByteArray file = fileBytes(m_path);
    QCOMPARE(file.size(), kLongFileSize);
    const qsizetype lastSlotPage = qsizetype(headerPage(kSlotCount - 1)) * kPageSize;
    QCOMPARE(file.mid(31 * kPageSize, kPageSize - 2), flash.mid(lastSlotPage, kPageSize - 2));
    QCOMPARE(file.at(kFreshFileSize - 1), '\0');
    QCOMPARE(file.sliced(kFreshFileSize), old.sliced(kFreshFileSize));
    QCOMPARE(controls.statusText(), QStringLiteral(" OK "));
}

void CatalogueDownloadTest::readRunsInOrderWithProgressAndStatus()
{
    FakePageReader reader;
    reader.setPage(headerPage(7), makeHeader(3));
    FakeWindowControls controls;
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    catalogue.Command7_Click();

    QList<int> pages;
    for (int slot = 0; slot < kSlotCount; ++slot)
        pages.append(512 + 16 * slot);
    QCOMPARE(reader.requestedPages(), pages);
    QCOMPARE(controls.progressValues, QList<int>{0} + steps(3, 32) + steps(2, 32));
    QVERIFY(controls.progressVisible);
    QCOMPARE(controls.progressMaximum, 100);
    QCOMPARE(controls.statusTexts,
             QStringList({QStringLiteral("Read Files ..."), QStringLiteral("Read OK "),
                          QStringLiteral(" OK ")}));
    QCOMPARE(controls.busyChanges, QList<bool>({true, false}));
    QCOMPARE(controls.lines.size(), 1);
    QVERIFY(controls.errors.isEmpty());
}

void CatalogueDownloadTest::failedPageLeavesFileAndListAsTheyWere_data()
{
    QTest::addColumn<int>("failingRead");
    QTest::newRow("first page") << 0;
    QTest::newRow("tenth page") << 9;
    QTest::newRow("last page") << 31;
    QTest::newRow("the last page, checked again at the end, came back different") << 32;
}

void CatalogueDownloadTest::failedPageLeavesFileAndListAsTheyWere()
{
    QFETCH(int, failingRead);

    FakePageReader meter;
    meter.setPage(headerPage(2), makeHeader(4, QByteArrayLiteral("FIRST ")));
    meter.setPage(headerPage(6), makeHeader(9, QByteArrayLiteral("SECOND")));
    SwitchablePageReader reader(&meter);
    FakeWindowControls controls;
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());
    catalogue.Command7_Click();
    QCOMPARE(controls.lines.size(), 2);
    const QByteArray fileBefore = fileBytes(m_path);
    const QStringList linesBefore = controls.lines;
    const auto kindsBefore = catalogue.listKind();
    const auto slotsBefore = catalogue.listSlot();

    // The meter now holds other records but falls silent part-way through the next Read.
    FakePageReader silentMeter;
    for (int slot = 0; slot < kSlotCount; ++slot)
        silentMeter.setPage(headerPage(slot), makeHeader(5, QByteArrayLiteral("OTHER ")));
    if (failingRead < kSlotCount)
        silentMeter.failAtRead(failingRead);
    else
        silentMeter.failAtOperationEnd();
    reader.setTarget(&silentMeter);
    controls.statusTexts.clear();
    catalogue.Command7_Click();

    QCOMPARE(silentMeter.requestedPages().size(), std::min(failingRead + 1, kSlotCount));
    QCOMPARE(fileBytes(m_path), fileBefore);
    QCOMPARE(controls.lines, linesBefore);
    QCOMPARE(catalogue.listKind(), kindsBefore);
    QCOMPARE(catalogue.listSlot(), slotsBefore);
    QCOMPARE(controls.errors.size(), 1);
    const QString failedPage = QString::number(headerPage(std::min(failingRead, kSlotCount - 1)));
    QVERIFY2(controls.errors.first().message.contains(failedPage),
             qPrintable(controls.errors.first().message));
    // The reader's message stands as it is, the catalogue's file and list below it.
    QCOMPARE(controls.errors.first().parts.what, silentMeter.failure().what);
    QVERIFY2(controls.errors.first().parts.details.contains(m_path + QStringLiteral(" and the "
                                                                                    "record list")),
             qPrintable(controls.errors.first().message));
    QCOMPARE(controls.statusTexts,
             QStringList({QStringLiteral("Read Files ..."), QStringLiteral("Read failed")}));
    QCOMPARE(controls.busy, false);
}

void CatalogueDownloadTest::unwritableFileIsReportedAndNothingListed_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("special"); // made at relativePath; empty: nothing made
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("pagesAsked"); // before the failure is found
    // Runs as root too, where permission bits stop nothing; these paths fail for everyone.
    QTest::newRow("parent is a file") << QStringLiteral("plain-file/MeterDat.dat") << QString()
                                      << QString::fromLocal8Bit(std::strerror(ENOTDIR)) << 0;
    QTest::newRow("missing folder") << QStringLiteral("no-such-folder/MeterDat.dat") << QString()
                                    << QString::fromLocal8Bit(std::strerror(ENOENT)) << kSlotCount;
    // Not files: refused before the meter is asked for anything, and left as they are.
    for (const QString& kind : specialFileKinds())
        QTest::newRow(qPrintable(kind))
            << QStringLiteral("MeterDat.dat") << kind << specialFileReason(kind) << 0;
}

void CatalogueDownloadTest::unwritableFileIsReportedAndNothingListed()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, special);
    QFETCH(QString, reason);
    QFETCH(int, pagesAsked);
    writeFile(m_dir.filePath(QStringLiteral("plain-file")), QByteArrayLiteral("x"));
    const QString path = m_dir.filePath(relativePath);
    QString why;
    if (!special.isEmpty() && !makeSpecialFile(special, path, why))
        QSKIP(qPrintable(why));

    FakePageReader reader;
    reader.setPage(headerPage(0), makeHeader(3));
    FakeWindowControls controls;
    controls.lines = QStringList{QStringLiteral("an earlier record")};
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, path, m_dir.path());

    catalogue.Command7_Click();

    QCOMPARE(reader.requestedPages().size(), pagesAsked);
    QCOMPARE(controls.errors.size(), 1);
    const QString message = controls.errors.first().message;
    checkMessageShape(controls.errors.first().parts, path, QStringLiteral("try again"));
    QVERIFY2(controls.errors.first().parts.what.contains(reason), qPrintable(message));
    QCOMPARE(controls.lines, QStringList{QStringLiteral("an earlier record")});
    QCOMPARE(controls.listClears, 0);
    QCOMPARE(catalogue.listKind()[0], std::int16_t(0));
    QCOMPARE(controls.statusText(), QStringLiteral("Read failed"));
    if (!special.isEmpty())
        QVERIFY(isStillSpecial(special, path));
}

void CatalogueDownloadTest::fullDiskLeavesTheEarlierFile_data()
{
    QTest::addColumn<int>("earlierSize"); // 0: no earlier file
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<int>("bytesLeft");
    QTest::newRow("no room, no earlier file") << 0 << QByteArray("write") << 0;
    QTest::newRow("room for half, an earlier file")
        << kFreshFileSize << QByteArray("write") << 4096;
    QTest::newRow("room for the catalogue but not the longer file's tail")
        << kLongFileSize << QByteArray("write") << kFreshFileSize;
    QTest::newRow("full when synced, no earlier file") << 0 << QByteArray("fsync") << 0;
    QTest::newRow("full when synced, an earlier file")
        << kFreshFileSize << QByteArray("fsync") << 0;
    QTest::newRow("full when closed, an earlier file") << kLongFileSize << QByteArray("close") << 0;
}

void CatalogueDownloadTest::fullDiskLeavesTheEarlierFile()
{
    QFETCH(int, earlierSize);
    QFETCH(QByteArray, failingCall);
    QFETCH(int, bytesLeft);
    if (!FullDisk::isPreloaded())
        QSKIP("needs the write-failure shim preloaded (as CTest runs it)");
    const QByteArray earlier(earlierSize, char(0x5A));
    if (earlierSize > 0)
        writeFile(m_path, earlier);
    const QStringList entriesBefore = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    FakePageReader reader(patternedFlash(3));
    FakeWindowControls controls;
    controls.lines = QStringList{QStringLiteral("an earlier record")};
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    {
        const FullDisk::InThisProcess fullDisk(FullDisk(m_dir.path(), failingCall, bytesLeft));
        catalogue.Command7_Click();
    }

    QCOMPARE(controls.errors.size(), 1);
    const QString message = controls.errors.first().message;
    checkMessageShape(controls.errors.first().parts, m_path, QStringLiteral("try again"));
    QVERIFY2(
        controls.errors.first().parts.what.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
        qPrintable(message));
    QCOMPARE(QFile::exists(m_path), earlierSize > 0);
    QCOMPARE(fileBytes(m_path), earlier);
    // Nothing half-written is left beside it either.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden), entriesBefore);
    QCOMPARE(controls.lines, QStringList{QStringLiteral("an earlier record")});
    QCOMPARE(controls.statusText(), QStringLiteral("Read failed"));
}

// A catalogue file that is a link to a file elsewhere, with permissions of its own (and, when
// the test runs as root, another owner): the target gets the new catalogue and keeps them; the
// link stays a link.
void CatalogueDownloadTest::linkAndPermissionsOfTheEarlierFileStay()
{
    constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
    constexpr uid_t kNobody = 65534;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("catalogue.dat"));
    writeFile(target, QByteArray(kLongFileSize, char(0x77)));
    QVERIFY(QFile::setPermissions(target, kOwnerOnly));
    const uid_t owner = geteuid() == 0 ? kNobody : geteuid();
    QCOMPARE(::chown(QFile::encodeName(target).constData(), owner, gid_t(-1)), 0);
    QVERIFY(QFile::link(target, m_path));
    const QByteArray flash = patternedFlash(11);
    FakePageReader reader(flash);
    FakeWindowControls controls;
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    catalogue.Command7_Click();

    QVERIFY(controls.errors.isEmpty());
    QCOMPARE(QFileInfo(m_path).symLinkTarget(), target);
    const QByteArray file = fileBytes(target);
    QCOMPARE(file.size(), kLongFileSize);
    QCOMPARE(file.first(kPageSize - 2),
             flash.mid(qsizetype(headerPage(0)) * kPageSize, kPageSize - 2));
    QCOMPARE(file.sliced(kFreshFileSize), QByteArray(kLongFileSize - kFreshFileSize, char(0x77)));
    QCOMPARE(QFile::permissions(target) & ~(QFile::ReadUser | QFile::WriteUser), kOwnerOnly);
    QCOMPARE(QFileInfo(target).ownerId(), uint(owner));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("catalogue.dat")});
}

void CatalogueDownloadTest::unreadableFileIsReportedAndListKept_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("special"); // made in place of the file; "missing": nothing there
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("missing")
                             << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("one block short") << QByteArray(31 * kPageSize, char(3)) << QString()
                                     << QStringLiteral("7936 of the 8192 bytes");
    // A FIFO must not block the read; a link to an endless device must not be read at all.
    for (const QString& kind : specialFileKinds()) {
        if (kind != QLatin1String("dangling link"))
            QTest::newRow(qPrintable(kind)) << QByteArray() << kind << specialFileReason(kind);
    }
}

void CatalogueDownloadTest::unreadableFileIsReportedAndListKept()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, special);
    QFETCH(QString, reason);
    QString why;
    if (special.isEmpty())
        writeFile(m_path, contents);
    else if (special != QLatin1String("missing") && !makeSpecialFile(special, m_path, why))
        QSKIP(qPrintable(why));

    FakePageReader reader;
    FakeWindowControls controls;
    controls.lines = QStringList{QStringLiteral("an earlier record")};
    RecordingPicture picture;
    RecordCatalogue catalogue(controls, reader, picture, m_path, m_dir.path());

    QVERIFY(!catalogue.ProcDat());

    QCOMPARE(controls.errors.size(), 1);
    const QString message = controls.errors.first().message;
    checkMessageShape(controls.errors.first().parts, m_path, QStringLiteral("try again"));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(controls.lines, QStringList{QStringLiteral("an earlier record")});
    QVERIFY(controls.progressValues.isEmpty());
}

QTEST_GUILESS_MAIN(CatalogueDownloadTest)
#include "tst_catalogue_download.moc"
