#include "catalogue/record_catalogue.h"
#include "catalogue_pages.h"
#include "recording_picture.h"
#include "support/fake_page_reader.h"
#include "support/fake_window_controls.h"

#include <QTemporaryDir>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

// Where the parts of a list line start: name, two blanks, label, two blanks, stamp.
constexpr int kLabelStart = 8;
constexpr int kLabelLength = 5;
constexpr int kStampStart = 15;

} // namespace

class CatalogueListingTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void kindDecidesLabelOrNoLine_data();
    void kindDecidesLabelOrNoLine();

    void stampPartsAreWrittenAsTwoOrThreeDigits_data();
    void stampPartsAreWrittenAsTwoOrThreeDigits();

    void nameBytesAreWindows1252Characters_data();
    void nameBytesAreWindows1252Characters();

    void exampleRecordGivesTheDocumentedLine();
    void linesFollowSlotOrderWithTheirSlots();
    void emptyCatalogueListsNothing();
    void shorterListKeepsLaterTableEntries();

private:
    // Runs Read against a meter holding the given slot headers (all other slots empty).
    void read(const QList<QPair<int, PageBuffer>>& headers);

    QTemporaryDir m_dir;
    FakePageReader m_reader;
    FakeWindowControls m_controls;
    RecordingPicture m_picture;
    std::unique_ptr<RecordCatalogue> m_catalogue;
};

void CatalogueListingTest::init()
{
    QVERIFY(m_dir.isValid());
    m_reader.setImage({});
    m_controls = FakeWindowControls();
    m_catalogue = std::make_unique<RecordCatalogue>(m_controls, m_reader, m_picture,
                                                    m_dir.filePath(QStringLiteral("MeterDat.dat")),
                                                    m_dir.path());
}

void CatalogueListingTest::read(const QList<QPair<int, PageBuffer>>& headers)
{
    m_reader.setImage({});
    for (const auto& [slot, header] : headers)
        m_reader.setPage(headerPage(slot), header);
    m_catalogue->Command7_Click();
    QVERIFY(m_controls.errors.isEmpty());
    QCOMPARE(m_controls.statusText(), QStringLiteral(" OK "));
}

void CatalogueListingTest::kindDecidesLabelOrNoLine_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("label");

    const QStringList named = {"Level", "Level", "Freq ", "Digi ", "Spect", "Scan ",
                               "Title", "Volt ", "C/N  ", "V/A  ", "Auto "};
    for (int kind = 0; kind <= 49; ++kind) {
        const bool hasName = kind >= 2 && kind <= 12;
        const QString label = hasName ? named.at(kind - 2) : QStringLiteral("     ");
        QTest::addRow("kind %d", kind) << kind << (kind <= 48) << label;
    }
    QTest::newRow("kind 255") << 255 << false << QString();
}

void CatalogueListingTest::kindDecidesLabelOrNoLine()
{
    QFETCH(int, kind);
    QFETCH(bool, listed);
    QFETCH(QString, label);

    read({{3, makeHeader(kind)}});

    QCOMPARE(m_controls.lines.size(), listed ? 1 : 0);
    if (!listed)
        return;
    QCOMPARE(m_controls.lines.first().mid(kLabelStart, kLabelLength), label);
    QCOMPARE(m_catalogue->listKind()[0], std::int16_t(kind));
    QCOMPARE(m_catalogue->listSlot()[0], 3);
}

void CatalogueListingTest::stampPartsAreWrittenAsTwoOrThreeDigits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << 0 << "00";
    QTest::newRow("7") << 7 << "07";
    QTest::newRow("9") << 9 << "09";
    QTest::newRow("10") << 10 << "10";
    QTest::newRow("99") << 99 << "99";
    QTest::newRow("100") << 100 << "100";
    QTest::newRow("153") << 153 << "153";
    QTest::newRow("154") << 154 << "00";
    QTest::newRow("255") << 255 << "00";
}

void CatalogueListingTest::stampPartsAreWrittenAsTwoOrThreeDigits()
{
    QFETCH(int, value);
    QFETCH(QString, shown);
    const auto v = std::uint8_t(value);

    // The value sits in the first and the last part, so both the date and the time meet it.
    read({{0, makeHeader(3, QByteArrayLiteral("STAMP "), {v, 1, 2, 3, 4, v})}});

    QCOMPARE(m_controls.lines.size(), 1);
    QCOMPARE(m_controls.lines.first().mid(kStampStart),
             shown + QStringLiteral("/01/02     03:04:") + shown);
}

void CatalogueListingTest::nameBytesAreWindows1252Characters_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letters") << QByteArrayLiteral("ABCxyz") << QStringLiteral("ABCxyz");
    QTest::newRow("blanks kept") << QByteArrayLiteral(" A  B ") << QStringLiteral(" A  B ");
    QTest::newRow("euro and Y diaeresis") << QByteArrayLiteral("\x80\x9F"
                                                               "ABCD")
                                          << QStringLiteral("\u20AC\u0178ABCD");
    QTest::newRow("e acute and quotes") << QByteArrayLiteral("\xE9\x93\x94\x96\x8A\xFF")
                                        << QStringLiteral("\u00E9\u201C\u201D\u2013\u0160\u00FF");
    QTest::newRow("undefined codes") << QByteArrayLiteral("\x81\x8D\x8F\x90\x9D"
                                                          "A")
                                     << QStringLiteral("\u0081\u008D\u008F\u0090\u009D"
                                                       "A");
    QTest::newRow("zero bytes kept")
        << QByteArray("A\0\0\0\0B", 6) << QString(QStringLiteral("A____B")).replace('_', QChar(0));
}

void CatalogueListingTest::nameBytesAreWindows1252Characters()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);

    read({{0, makeHeader(4, name)}});

    QCOMPARE(m_controls.lines.size(), 1);
    QCOMPARE(m_controls.lines.first().left(6), shown);
    QCOMPARE(m_controls.lines.first().mid(6, 9), QStringLiteral("  Freq   "));
}

void CatalogueListingTest::exampleRecordGivesTheDocumentedLine()
{
    read({{4, makeHeader(3, QByteArrayLiteral("CH-21 "), {8, 12, 25, 9, 5, 30})}});

    QCOMPARE(m_controls.lines, QStringList{QStringLiteral("CH-21   Level  08/12/25     09:05:30")});
    QCOMPARE(m_controls.lines.first().size(), 36);
    QCOMPARE(m_catalogue->listKind()[0], std::int16_t(3));
    QCOMPARE(m_catalogue->listSlot()[0], 4);
}

void CatalogueListingTest::linesFollowSlotOrderWithTheirSlots()
{
    read({{31, makeHeader(11, QByteArrayLiteral("LAST  "))},
          {0, makeHeader(8, QByteArrayLiteral("FIRST "))},
          {5, makeHeader(20, QByteArrayLiteral("MIDDLE"))}});

    QCOMPARE(m_controls.lines.size(), 3);
    QVERIFY(m_controls.lines[0].startsWith(QStringLiteral("FIRST   Title")));
    QVERIFY(m_controls.lines[1].startsWith(QStringLiteral("MIDDLE       ")));
    QVERIFY(m_controls.lines[2].startsWith(QStringLiteral("LAST    V/A  ")));
    QCOMPARE(m_catalogue->listSlot()[0], 0);
    QCOMPARE(m_catalogue->listSlot()[1], 5);
    QCOMPARE(m_catalogue->listSlot()[2], 31);
    QCOMPARE(m_catalogue->listKind()[0], std::int16_t(8));
    QCOMPARE(m_catalogue->listKind()[1], std::int16_t(20));
    QCOMPARE(m_catalogue->listKind()[2], std::int16_t(11));
}

void CatalogueListingTest::emptyCatalogueListsNothing()
{
    m_controls.lines = QStringList{QStringLiteral("an earlier record")};

    read({});

    QVERIFY(m_controls.lines.isEmpty());
    QCOMPARE(m_controls.progressValue(), 62);
}

void CatalogueListingTest::shorterListKeepsLaterTableEntries()
{
    read({{1, makeHeader(3)}, {2, makeHeader(4)}, {9, makeHeader(6)}});
    read({{7, makeHeader(10)}});

    QCOMPARE(m_controls.lines.size(), 1);
    QCOMPARE(m_catalogue->listKind()[0], std::int16_t(10));
    QCOMPARE(m_catalogue->listSlot()[0], 7);
    // Entries past the last line still describe the earlier catalogue.
    QCOMPARE(m_catalogue->listKind()[1], std::int16_t(4));
    QCOMPARE(m_catalogue->listSlot()[2], 9);
}

QTEST_GUILESS_MAIN(CatalogueListingTest)
#include "tst_catalogue_listing.moc"
