#include "catalogue/record_catalogue.h"
#include "catalogue_pages.h"
#include "recording_picture.h"
#include "screens/renderers.h"
#include "support/fake_page_reader.h"
#include "support/fake_window_controls.h"
#include "support/message_shape.h"
#include "support/special_files.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

// What the stand-in renderers saw. Renderers are plain function pointers, so they report here.
struct RendererCall {
    int kind;
    int slot;
    bool busy;
    int backgroundsSet;
};
QList<RendererCall> g_calls;
FakeWindowControls* g_controls = nullptr;
RecordingPicture* g_picture = nullptr;
bool g_rendererReadsPage = false;

// Draws kind Kind: notes the call, says "Page OK " and, when asked, reads the record's first page
// and fails when that page does not arrive.
template <int Kind> bool recordingRenderer(ScreenContext& context, int slot)
{
    g_calls.append({Kind, slot, g_controls->busy, int(g_picture->backgrounds.size())});
    if (g_rendererReadsPage && !context.reader.ReadFlash(dataPage(slot, 1)))
        return false;
    context.setStatus(QStringLiteral("Page OK "));
    return true;
}

RendererTable recordingRenderers()
{
    return {
        {3, &recordingRenderer<3>}, {4, &recordingRenderer<4>},   {5, &recordingRenderer<5>},
        {6, &recordingRenderer<6>}, {7, &recordingRenderer<7>},   {8, &recordingRenderer<8>},
        {9, &recordingRenderer<9>}, {10, &recordingRenderer<10>}, {11, &recordingRenderer<11>},
    };
}

} // namespace

class RecordDispatchTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void standardTableDrawsEachKindWithItsScreen_data();
    void standardTableDrawsEachKindWithItsScreen();

    void clickedRecordIsDrawnFromItsSlot_data();
    void clickedRecordIsDrawnFromItsSlot();

    void kindWithoutScreenChangesNothing_data();
    void kindWithoutScreenChangesNothing();

    void clickWithoutSelectionChangesNothing();
    void backgroundIsLoadedByContent();
    void backgroundIsFoundBesideTheProgramThenInItsDataFolder_data();
    void backgroundIsFoundBesideTheProgramThenInItsDataFolder();
    void missingBackgroundIsReportedOnceAndScreenStillDrawn();
    void backgroundThatIsNotAPictureIsReported_data();
    void backgroundThatIsNotAPictureIsReported();
    void failingRendererIsReportedOnce_data();
    void failingRendererIsReportedOnce();

private:
    // Reads a catalogue holding kind 3 in slot 0 and the given kind in slot 5, then selects line 1.
    void listTwoRecords(int secondKind);

    QTemporaryDir m_dir;
    FakePageReader m_reader;
    FakeWindowControls m_controls;
    RecordingPicture m_picture;
    std::unique_ptr<RecordCatalogue> m_catalogue;
};

void RecordDispatchTest::init()
{
    QVERIFY(m_dir.isValid());
    m_reader = FakePageReader();
    m_controls = FakeWindowControls();
    m_picture = RecordingPicture();
    g_calls.clear();
    g_controls = &m_controls;
    g_picture = &m_picture;
    g_rendererReadsPage = false;
    // The program folder is empty: no "ZNull.ovl" unless a test puts one there.
    m_catalogue = std::make_unique<RecordCatalogue>(
        m_controls, m_reader, m_picture, m_dir.filePath(QStringLiteral("MeterDat.dat")),
        m_dir.filePath(QStringLiteral("program")), recordingRenderers());
    QDir program(m_dir.filePath(QStringLiteral("program")));
    QVERIFY(program.removeRecursively() && program.mkpath(QStringLiteral(".")));
    QVERIFY(QDir(m_dir.filePath(QStringLiteral("share"))).removeRecursively());
}

void RecordDispatchTest::listTwoRecords(int secondKind)
{
    m_reader.setPage(headerPage(0), makeHeader(3));
    m_reader.setPage(headerPage(5), makeHeader(secondKind));
    m_catalogue->Command7_Click();
    QCOMPARE(m_controls.lines.size(), 2);
    m_controls.selectedLine = 1;
}

void RecordDispatchTest::standardTableDrawsEachKindWithItsScreen_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<Renderer>("renderer");
    QTest::newRow("3 level") << 3 << Renderer(&DrawLevel);
    QTest::newRow("4 frequency") << 4 << Renderer(&DrawFreq);
    QTest::newRow("5 digital") << 5 << Renderer(&DrawDigi);
    QTest::newRow("6 spectrum") << 6 << Renderer(&DrawSpect);
    QTest::newRow("7 scan") << 7 << Renderer(&DrawScan);
    QTest::newRow("8 tilt, listed as Title") << 8 << Renderer(&DrawTilt);
    QTest::newRow("9 voltage") << 9 << Renderer(&DrawVolt);
    QTest::newRow("10 C/N") << 10 << Renderer(&DrawCN);
    QTest::newRow("11 V/A") << 11 << Renderer(&DrawVA);
}

void RecordDispatchTest::standardTableDrawsEachKindWithItsScreen()
{
    QFETCH(int, kind);
    QFETCH(Renderer, renderer);

    const RendererTable table = standardRenderers();
    QCOMPARE(table.size(), std::size_t(9));
    QVERIFY(table.contains(kind));
    QVERIFY(table.at(kind) == renderer);
}

void RecordDispatchTest::clickedRecordIsDrawnFromItsSlot_data()
{
    QTest::addColumn<int>("kind");
    for (int kind = 3; kind <= 11; ++kind)
        QTest::addRow("kind %d", kind) << kind;
}

void RecordDispatchTest::clickedRecordIsDrawnFromItsSlot()
{
    QFETCH(int, kind);
    listTwoRecords(kind);
    g_rendererReadsPage = true;

    m_catalogue->List1_Click();

    QCOMPARE(g_calls.size(), 1);
    QCOMPARE(g_calls[0].kind, kind);
    QCOMPARE(g_calls[0].slot, 5);
    QVERIFY(g_calls[0].busy);
    QCOMPARE(g_calls[0].backgroundsSet, 1); // the background comes before the drawing
    QCOMPARE(m_reader.requestedPages().last(), 593);
    QCOMPARE(m_controls.statusText(), QStringLiteral("Page OK "));
    QVERIFY(!m_controls.busy);

    // Every click reads the record anew.
    m_catalogue->List1_Click();
    QCOMPARE(g_calls.size(), 2);
    QCOMPARE(g_calls[1].slot, 5);
}

void RecordDispatchTest::kindWithoutScreenChangesNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("2 level without screen") << 2;
    QTest::newRow("12 auto") << 12;
    QTest::newRow("0 blank") << 0;
    QTest::newRow("1 blank") << 1;
    QTest::newRow("20 blank") << 20;
    QTest::newRow("48 blank") << 48;
}

void RecordDispatchTest::kindWithoutScreenChangesNothing()
{
    QFETCH(int, kind);
    listTwoRecords(kind);
    const qsizetype pagesRead = m_reader.requestedPages().size();
    const qsizetype busyChanges = m_controls.busyChanges.size();
    const QStringList statusTexts = m_controls.statusTexts;

    m_catalogue->List1_Click();

    QVERIFY(g_calls.isEmpty());
    QVERIFY(m_picture.backgrounds.isEmpty());
    QCOMPARE(m_reader.requestedPages().size(), pagesRead);
    QCOMPARE(m_controls.busyChanges.size(), busyChanges);
    QCOMPARE(m_controls.statusTexts, statusTexts);
    QVERIFY(m_controls.errors.isEmpty());
}

void RecordDispatchTest::clickWithoutSelectionChangesNothing()
{
    listTwoRecords(4);
    // An earlier, longer list left kind 4 at position 2 of the tables; it must not be drawn.
    m_reader.setImage({});
    m_reader.setPage(headerPage(0), makeHeader(3));
    m_catalogue->Command7_Click();
    QCOMPARE(m_controls.lines.size(), 1);

    for (int selected : {-1, 1, 2}) {
        m_controls.selectedLine = selected;
        m_catalogue->List1_Click();
    }

    QVERIFY(g_calls.isEmpty());
    QVERIFY(m_picture.backgrounds.isEmpty());
    QVERIFY(m_controls.errors.isEmpty());
}

void RecordDispatchTest::backgroundIsLoadedByContent()
{
    QImage background(Picture::kWidth, Picture::kHeight, QImage::Format_RGB32);
    background.fill(QColor(10, 200, 30));
    // A PNG under the ".ovl" name: the content, not the extension, decides the format.
    QVERIFY(background.save(m_dir.filePath(QStringLiteral("program/ZNull.ovl")), "PNG"));
    listTwoRecords(6);

    m_catalogue->List1_Click();

    QCOMPARE(m_picture.backgrounds.size(), 1);
    const QImage loaded = m_picture.backgrounds.first();
    QCOMPARE(loaded.size(), QSize(Picture::kWidth, Picture::kHeight));
    QCOMPARE(loaded.pixelColor(100, 100), QColor(10, 200, 30));
    QVERIFY(m_controls.errors.isEmpty());
}

void RecordDispatchTest::backgroundIsFoundBesideTheProgramThenInItsDataFolder_data()
{
    // A build-tree program has the picture beside it; an installed one in ../share/cablemeter.
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<bool>("inDataFolder");
    QTest::addColumn<QColor>("drawnOn");
    const QColor beside(10, 200, 30);
    const QColor installed(200, 10, 30);
    QTest::newRow("build tree") << true << false << beside;
    QTest::newRow("installed") << false << true << installed;
    QTest::newRow("both: the program's own folder wins") << true << true << beside;
}

void RecordDispatchTest::backgroundIsFoundBesideTheProgramThenInItsDataFolder()
{
    QFETCH(bool, besideProgram);
    QFETCH(bool, inDataFolder);
    QFETCH(QColor, drawnOn);
    QDir dataFolder(m_dir.filePath(QStringLiteral("share/cablemeter")));
    QVERIFY(dataFolder.mkpath(QStringLiteral(".")));
    QImage background(Picture::kWidth, Picture::kHeight, QImage::Format_RGB32);
    background.fill(QColor(10, 200, 30));
    if (besideProgram)
        QVERIFY(background.save(m_dir.filePath(QStringLiteral("program/ZNull.ovl")), "BMP"));
    background.fill(QColor(200, 10, 30));
    if (inDataFolder)
        QVERIFY(background.save(dataFolder.filePath(QStringLiteral("ZNull.ovl")), "BMP"));
    listTwoRecords(6);

    m_catalogue->List1_Click();

    QCOMPARE(m_picture.backgrounds.size(), 1);
    QCOMPARE(m_picture.backgrounds.first().pixelColor(100, 100), drawnOn);
    QVERIFY(m_controls.errors.isEmpty());
}

void RecordDispatchTest::missingBackgroundIsReportedOnceAndScreenStillDrawn()
{
    listTwoRecords(9);

    m_catalogue->List1_Click();
    m_catalogue->List1_Click();

    QCOMPARE(g_calls.size(), 2);
    QCOMPARE(m_picture.backgrounds.size(), 2);
    QVERIFY(m_picture.backgrounds[0].isNull());
    QVERIFY(m_picture.backgrounds[1].isNull());
    QCOMPARE(m_controls.errors.size(), 1);
    // The file as the user knows it first; both places it was looked for in the details.
    const UserMessage message = m_controls.errors.first().parts;
    checkMessageShape(message, QStringLiteral("ZNull.ovl"));
    QVERIFY2(message.details.contains(m_dir.filePath(QStringLiteral("program/ZNull.ovl"))),
             qPrintable(message.text()));
    QVERIFY2(message.details.contains(m_dir.filePath(QStringLiteral("share/cablemeter/ZNull.ovl"))),
             qPrintable(message.text()));
}

void RecordDispatchTest::backgroundThatIsNotAPictureIsReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << QString();
    // Neither may block the window or be read without end.
    QTest::newRow("fifo") << QStringLiteral("fifo");
    QTest::newRow("link to /dev/zero") << QStringLiteral("link to /dev/zero");
}

void RecordDispatchTest::backgroundThatIsNotAPictureIsReported()
{
    QFETCH(QString, kind);
    QFile file(m_dir.filePath(QStringLiteral("program/ZNull.ovl")));
    if (kind.isEmpty()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not a picture\n");
        file.close();
    } else {
        QString why;
        if (!cablemeter::testing::makeSpecialFile(kind, file.fileName(), why))
            QSKIP(qPrintable(why));
    }
    listTwoRecords(3);

    m_catalogue->List1_Click();

    QCOMPARE(g_calls.size(), 1);
    QVERIFY(m_picture.backgrounds.first().isNull());
    QCOMPARE(m_controls.errors.size(), 1);
    checkMessageShape(m_controls.errors.first().parts, file.fileName());
}

void RecordDispatchTest::failingRendererIsReportedOnce_data()
{
    QTest::addColumn<bool>("pageArrives");
    QTest::addColumn<int>("clears"); // of the picture once the screen failed
    QTest::newRow("its page does not arrive: the picture is left as it was") << false << 0;
    QTest::newRow("its page proves wrong at the end: what was drawn goes") << true << 1;
}

void RecordDispatchTest::failingRendererIsReportedOnce()
{
    QFETCH(bool, pageArrives);
    QFETCH(int, clears);
    QImage background(Picture::kWidth, Picture::kHeight, QImage::Format_RGB32);
    background.fill(Qt::white);
    QVERIFY(background.save(m_dir.filePath(QStringLiteral("program/ZNull.ovl")), "BMP"));
    listTwoRecords(7);
    g_rendererReadsPage = true;
    m_reader = FakePageReader(); // a meter that has fallen silent, or sent another page
    if (pageArrives)
        m_reader.failAtOperationEnd();
    else
        m_reader.failAtRead(0);
    const QString statusBefore = m_controls.statusText();
    const int clearsBefore = g_picture->clears;

    m_catalogue->List1_Click();

    QCOMPARE(g_calls.size(), 1);
    QCOMPARE(m_reader.operationsBegun(), 1);
    QCOMPARE(m_controls.errors.size(), 1);
    const QString message = m_controls.errors.first().message;
    QVERIFY2(message.contains(QStringLiteral("593")), qPrintable(message));
    // The reader's own message comes first, not inside a prefix of the screen's.
    QCOMPARE(m_controls.errors.first().parts.what, m_reader.failure().what);
    if (!pageArrives)
        QCOMPARE(m_controls.statusText(), statusBefore);
    QCOMPARE(g_picture->clears - clearsBefore, clears);
    QVERIFY(!m_controls.busy);
}

QTEST_MAIN(RecordDispatchTest)
#include "tst_record_dispatch.moc"
