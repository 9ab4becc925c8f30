#include "app/save_picture.h"
#include "app/file_dialog.h"
#include "app/qt_file_dialog.h"
#include "platform/window_controls.h"
#include "support/full_disk.h"
#include "support/message_shape.h"
#include "support/special_files.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <optional>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

// Answers the save dialog from a script and remembers what it was asked.
class ScriptedFileDialog : public FileDialog {
public:
    std::optional<QString> answer;
    QStringList filters;
    QStringList proposedNames;

    std::optional<QString> askSaveFileName(const QString& filter,
                                           const QString& proposedName) override
    {
        filters << filter;
        proposedNames << proposedName;
        return answer;
    }
};

// Only error reports matter to Save As; the other controls do nothing.
class ErrorRecorder : public WindowControls {
public:
    QList<QStringList> errors;

    void reportError(const QString& title, const UserMessage& message) override
    {
        errors.append({title, message.text()});
    }
    void setStatusText(const QString&) override {}
    QString statusText() const override { return {}; }
    void setProgressVisible(bool) override {}
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    void clearList() override {}
    int listCount() const override { return 0; }
    void appendListLine(const QString&) override {}
    QString listLine(int) const override { return {}; }
    int selectedListLine() const override { return -1; }
    void setBusy(bool) override {}
};

QDateTime at(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// A screen with text and coloured lines, as a renderer leaves it.
QImage drawnScreen()
{
    QImage screen(320, 240, QImage::Format_RGB32);
    screen.fill(QColor(192, 192, 192));
    QPainter painter(&screen);
    painter.setPen(QColor(255, 0, 0));
    painter.drawLine(0, 0, 319, 239);
    painter.setPen(QColor(0, 0, 255));
    painter.drawLine(0, 120, 319, 120);
    painter.setPen(Qt::black);
    painter.drawText(10, 30, QStringLiteral("CH 21  474.00 MHz  63.5 dBuV"));
    return screen;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSavePicture : public QObject {
    Q_OBJECT
private slots:
    void proposedName_data();
    void proposedName();
    void dialogIsAskedWithFilterAndProposedName();
    void twoPressesInOneSecondProposeTheSameName();
    void writesBitmapUnderExactlyTheAcceptedName_data();
    void writesBitmapUnderExactlyTheAcceptedName();
    void replacesAnExistingFile();
    void cancelWritesNothing();
    void failedWriteIsReported_data();
    void failedWriteIsReported();
    void failedWriteKeepsTheExistingFile();
    void qtFilterText_data();
    void qtFilterText();
    void qtDialogReturnsTheNameWithoutAddingAnExtension();
    void qtDialogCancelGivesNothing();
};

void TestSavePicture::proposedName_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("name");
    QTest::newRow("morning") << at(2026, 12, 6, 6, 27, 5) << "20261206062705";
    QTest::newRow("year ending 99") << at(1999, 3, 4, 10, 11, 12) << "20990304101112";
    QTest::newRow("year 2000") << at(2000, 1, 1, 0, 0, 0) << "20000101000000";
    QTest::newRow("last second of a year") << at(2025, 12, 31, 23, 59, 59) << "20251231235959";
    QTest::newRow("afternoon hour") << at(2031, 7, 15, 13, 5, 9) << "20310715130509";
}

void TestSavePicture::proposedName()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, name);
    QCOMPARE(proposedPictureName(now), name);
}

void TestSavePicture::dialogIsAskedWithFilterAndProposedName()
{
    ScriptedFileDialog dialog;
    ErrorRecorder controls;
    PictureSaver saver(dialog, controls, [] { return at(2099, 2, 28, 23, 0, 1); });
    QVERIFY(!saver.save(drawnScreen()));
    QCOMPARE(dialog.filters, QStringList{"bmp files(*.bmp)|*.bmp"});
    QCOMPARE(dialog.proposedNames, QStringList{"20990228230001"});
}

void TestSavePicture::twoPressesInOneSecondProposeTheSameName()
{
    ScriptedFileDialog dialog;
    ErrorRecorder controls;
    QDateTime now = at(2026, 5, 1, 9, 30, 0).addMSecs(100);
    PictureSaver saver(dialog, controls, [&now] { return now; });
    saver.save(drawnScreen());
    now = now.addMSecs(850);
    saver.save(drawnScreen());
    now = now.addMSecs(100);
    saver.save(drawnScreen());
    QCOMPARE(dialog.proposedNames,
             (QStringList{"20260501093000", "20260501093000", "20260501093001"}));
}

void TestSavePicture::writesBitmapUnderExactlyTheAcceptedName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("proposed name, no extension") << "20261206062705";
    QTest::newRow("typed .bmp") << "screen.bmp";
    QTest::newRow("other extension is still a bitmap") << "screen.png";
    QTest::newRow("spaces") << "level at mast 3";
}

void TestSavePicture::writesBitmapUnderExactlyTheAcceptedName()
{
    QFETCH(QString, fileName);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    ScriptedFileDialog dialog;
    dialog.answer = folder.filePath(fileName);
    ErrorRecorder controls;
    PictureSaver saver(dialog, controls);

    const QImage screen = drawnScreen();
    QCOMPARE(saver.save(screen), dialog.answer);
    QVERIFY(controls.errors.isEmpty());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{fileName});

    QVERIFY(contentsOf(*dialog.answer).startsWith("BM"));
    const QImage readBack(*dialog.answer, "BMP");
    QCOMPARE(readBack.size(), QSize(320, 240));
    QCOMPARE(readBack.convertToFormat(QImage::Format_RGB32), screen);
}

void TestSavePicture::replacesAnExistingFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("20260101120000");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older picture");
    old.close();

    ScriptedFileDialog dialog;
    dialog.answer = path;
    ErrorRecorder controls;
    PictureSaver saver(dialog, controls);
    QVERIFY(saver.save(drawnScreen()));
    QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), drawnScreen());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"20260101120000"});
}

void TestSavePicture::cancelWritesNothing()
{
    QTemporaryDir folder;
    QVERIFY(QDir::setCurrent(folder.path())); // a stray relative write would land here
    ScriptedFileDialog dialog;
    ErrorRecorder controls;
    PictureSaver saver(dialog, controls, [] { return at(2026, 12, 6, 6, 27, 5); });
    QCOMPARE(saver.save(drawnScreen()), std::nullopt);
    QCOMPARE(dialog.proposedNames.size(), 1);
    QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QVERIFY(controls.errors.isEmpty());
}

void TestSavePicture::failedWriteIsReported_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("special");        // made at relativePath; empty: nothing made
    QTest::addColumn<QString>("reason");         // empty: the system's own
    QTest::addColumn<QByteArray>("earlier");     // a file already at relativePath; empty: none
    QTest::addColumn<QByteArray>("failingCall"); // a full disk (FullDisk); empty: none
    QTest::addColumn<int>("bytesLeft");
    const QByteArray none;
    QTest::newRow("missing folder")
        << "no such folder/20261206062705" << QString() << QString() << none << none << 0;
    QTest::newRow("name of a folder") << "pictures" << QString() << "a folder" << none << none << 0;
    // Not files: refused before anything is opened, and left as they are.
    for (const QString& kind : specialFileKinds()) {
        if (kind != QLatin1String("folder"))
            QTest::newRow(qPrintable(kind))
                << "special" << kind << specialFileReason(kind) << none << none << 0;
    }
    // A full disk: the system's reason, and an earlier picture stays as it was.
    const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
    const QByteArray earlier = "the picture saved earlier";
    QTest::newRow("full disk, new name")
        << "20261206062705" << QString() << noSpace << none << QByteArray("write") << 0;
    QTest::newRow("disk full part-way, an earlier picture")
        << "keep.bmp" << QString() << noSpace << earlier << QByteArray("write") << 4096;
    QTest::newRow("full when synced, an earlier picture")
        << "keep.bmp" << QString() << noSpace << earlier << QByteArray("fsync") << 0;
    QTest::newRow("full when closed, new name")
        << "20261206062705" << QString() << noSpace << none << QByteArray("close") << 0;
}

void TestSavePicture::failedWriteIsReported()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, special);
    QFETCH(QString, reason);
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, failingCall);
    QFETCH(int, bytesLeft);
    if (!failingCall.isEmpty() && !FullDisk::isPreloaded())
        QSKIP("needs the write-failure shim preloaded (as CTest runs it)");
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("pictures"));
    const QString path = folder.filePath(relativePath);
    QString why;
    if (!special.isEmpty() && !makeSpecialFile(special, path, why))
        QSKIP(qPrintable(why));
    if (!earlier.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(earlier), earlier.size());
    }
    const auto entries = [&folder] {
        return QDir(folder.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    };
    const QStringList entriesBefore = entries();
    ScriptedFileDialog dialog;
    dialog.answer = path;
    ErrorRecorder controls;
    PictureSaver saver(dialog, controls);

    {
        const FullDisk disk(folder.path(), failingCall, bytesLeft);
        std::optional<FullDisk::InThisProcess> fullDisk;
        if (!failingCall.isEmpty())
            fullDisk.emplace(disk);
        QCOMPARE(saver.save(drawnScreen()), std::nullopt);
    }
    QCOMPARE(controls.errors.size(), 1);
    QCOMPARE(controls.errors[0][0], QStringLiteral("Save As"));
    const QString message = controls.errors[0][1];
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    checkMessageShape(UserMessage(message), QDir::toNativeSeparators(path),
                      QStringLiteral("press Save As again"));
    // The reason follows the path: more than the fixed wording of the message.
    const QString afterPath = message.section(QDir::toNativeSeparators(path), 1);
    QVERIFY2(afterPath.section(QLatin1Char('\n'), 0, 0).size() > 5, qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(entries(), entriesBefore);
    QVERIFY(QDir(folder.filePath("pictures")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    if (!special.isEmpty())
        QVERIFY(isStillSpecial(special, path));
    if (!earlier.isEmpty())
        QCOMPARE(contentsOf(path), earlier);
}

void TestSavePicture::failedWriteKeepsTheExistingFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("keep.bmp");
    const QByteArray earlier = "the picture saved earlier";
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(earlier);
    old.close();

    // An empty image makes the bitmap writer fail after the file is opened.
    const std::optional<QString> reason = writeBitmap(QImage(), path);
    QVERIFY(reason);
    QVERIFY(!reason->isEmpty());
    QCOMPARE(contentsOf(path), earlier);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bmp"});
}

void TestSavePicture::qtFilterText_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qtFilter");
    QTest::newRow("bitmaps") << "bmp files(*.bmp)|*.bmp"
                             << "bmp files(*.bmp)";
    QTest::newRow("two patterns") << "Pictures|*.bmp;*.dib"
                                  << "Pictures (*.bmp *.dib)";
    QTest::newRow("two entries") << "Bitmaps|*.bmp|All files|*.*"
                                 << "Bitmaps (*.bmp);;All files (*.*)";
}

void TestSavePicture::qtFilterText()
{
    QFETCH(QString, filter);
    QFETCH(QString, qtFilter);
    QCOMPARE(qtNameFilters(filter), qtFilter);
}

namespace {

// Once the modal save dialog is up, hands it to `act`; keeps looking until it appears.
void whenDialogShows(const std::function<void(QFileDialog*)>& act)
{
    QTimer::singleShot(0, [act] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            act(dialog);
        else
            whenDialogShows(act);
    });
}

} // namespace

void TestSavePicture::qtDialogReturnsTheNameWithoutAddingAnExtension()
{
    QTemporaryDir folder;
    QVERIFY(QDir::setCurrent(folder.path()));
    QStringList nameFilters;
    QString defaultSuffix = QStringLiteral("unset");
    QString offeredName;
    whenDialogShows([&](QFileDialog* dialog) {
        nameFilters = dialog->nameFilters();
        defaultSuffix = dialog->defaultSuffix();
        offeredName = dialog->selectedFiles().value(0);
        static_cast<QDialog*>(dialog)->accept(); // the user takes the proposed name
    });

    QtFileDialog dialog;
    const std::optional<QString> accepted = dialog.askSaveFileName(
        QString::fromLatin1(kBitmapFilter), QStringLiteral("20261206062705"));
    QCOMPARE(nameFilters, QStringList{"bmp files(*.bmp)"});
    QCOMPARE(defaultSuffix, QString());
    QCOMPARE(QFileInfo(offeredName).fileName(), QStringLiteral("20261206062705"));
    QVERIFY(accepted);
    QCOMPARE(QFileInfo(*accepted).fileName(), QStringLiteral("20261206062705"));
    QCOMPARE(QFileInfo(*accepted).absolutePath(), QFileInfo(folder.path()).canonicalFilePath());
}

void TestSavePicture::qtDialogCancelGivesNothing()
{
    whenDialogShows([](QFileDialog* dialog) { dialog->reject(); });
    QtFileDialog dialog;
    QCOMPARE(dialog.askSaveFileName(QString::fromLatin1(kBitmapFilter), QStringLiteral("x")),
             std::nullopt);
}

QTEST_MAIN(TestSavePicture)
#include "tst_save_picture.moc"
