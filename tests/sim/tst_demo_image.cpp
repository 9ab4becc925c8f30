// The demo flash image: what it holds, and that its description matches its bytes. Offsets are
// worked out here from the flash layout, independently of the generator's own helpers.

#include "sim/demo_image.h"

#include <QSet>
#include <QTest>

#include <algorithm>

using namespace cablemeter::sim;

namespace {

constexpr int kSlots = 32;
constexpr int kEmptyKind = 255;

int headerPage(int slot)
{
    return 512 + 16 * slot;
}

// Page byte n (1..256) of flash page `page`.
int byteAt(const QByteArray& image, int page, int n)
{
    return static_cast<unsigned char>(image.at(qsizetype(page) * 256 + n - 1));
}

int wordAt(const QByteArray& image, int page, int n)
{
    return byteAt(image, page, n) * 256 + byteAt(image, page, n + 1);
}

int tripleAt(const QByteArray& image, int page, int n)
{
    return byteAt(image, page, n) * 65536 + wordAt(image, page, n + 1);
}

QByteArray textAt(const QByteArray& image, int page, int n, int length)
{
    return image.mid(qsizetype(page) * 256 + n - 1, length);
}

int kindOf(const QByteArray& image, int slot)
{
    return byteAt(image, headerPage(slot), 2);
}

bool hasScreenlessBlankLabel(int kind)
{
    return kind <= 1 || (kind >= 13 && kind <= 48);
}

} // namespace

class DemoImageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void imageIsOneMegabitOfFlash();
    void everyKindIsStoredWithEmptyAndBlankSlots();
    void unitsAndChannelTypesVary();
    void catalogueEntriesMatchTheDescription();
    void firstDataPagesMatchTheDescription();
    void tablesMatchTheDescription();
    void scanAndSpectrumLookLikeAPlant();
    void unusedFlashIsErased();

private:
    QByteArray m_image;
    QList<DemoRecord> m_records;
};

void DemoImageTest::initTestCase()
{
    m_image = makeDemoImage();
    m_records = demoRecords();
}

void DemoImageTest::imageIsOneMegabitOfFlash()
{
    QCOMPARE(m_image.size(), 1024 * 256);
}

void DemoImageTest::everyKindIsStoredWithEmptyAndBlankSlots()
{
    QSet<int> kinds;
    int listed = 0;
    int empty = 0;
    int blankLabel = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        const int kind = kindOf(m_image, slot);
        kinds.insert(kind);
        listed += kind <= 48 ? 1 : 0;
        empty += kind == kEmptyKind ? 1 : 0;
        blankLabel += hasScreenlessBlankLabel(kind) ? 1 : 0;
    }
    for (int kind = 2; kind <= 12; ++kind)
        QVERIFY2(kinds.contains(kind), qPrintable(QString::number(kind)));
    QVERIFY(listed >= 20);
    QVERIFY(empty >= 3);
    QVERIFY(blankLabel >= 1);
}

void DemoImageTest::unitsAndChannelTypesVary()
{
    QSet<int> units;
    QSet<int> channelTypes;
    for (const DemoRecord& record : m_records) {
        if (record.kind >= 2 && record.kind <= 12 && record.kind != 9) {
            units.insert(byteAt(m_image, headerPage(record.slot) + 1, 1));
            channelTypes.insert(byteAt(m_image, headerPage(record.slot) + 1, 4));
        }
    }
    QCOMPARE(units, (QSet<int>{0, 1, 2}));
    QCOMPARE(channelTypes, (QSet<int>{0, 1, 2}));
}

void DemoImageTest::catalogueEntriesMatchTheDescription()
{
    QSet<int> described;
    for (const DemoRecord& record : m_records) {
        const int page = headerPage(record.slot);
        described.insert(record.slot);
        QCOMPARE(kindOf(m_image, record.slot), record.kind);
        QCOMPARE(textAt(m_image, page, 3, 6), record.name);
        for (const char c : record.name)
            QVERIFY(c >= 0x20 && c < 0x7F);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(byteAt(m_image, page, 21 + i), record.stamp[i]);
            QVERIFY(record.stamp[i] <= 59);
        }
    }
    // Slots the description leaves out are erased.
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!described.contains(slot))
            QCOMPARE(kindOf(m_image, slot), kEmptyKind);
    }
}

void DemoImageTest::firstDataPagesMatchTheDescription()
{
    for (const DemoRecord& record : m_records) {
        const int page = headerPage(record.slot) + 1;
        const QByteArray where = "slot " + QByteArray::number(record.slot);
        switch (record.kind) {
        case 9: // voltage
            QCOMPARE(wordAt(m_image, page, 17), record.acVoltage);
            QCOMPARE(wordAt(m_image, page, 19), record.dcVoltage);
            QCOMPARE(wordAt(m_image, page, 21), record.batteryVoltage);
            break;
        case 4: // frequency: its frequency three bytes further on
            QCOMPARE(byteAt(m_image, page, 1), record.unit);
            QCOMPARE(tripleAt(m_image, page, 24), record.frequency);
            QCOMPARE(wordAt(m_image, page, 33), record.level);
            break;
        case 2:
        case 3:
        case 5:
        case 10:
        case 11:
        case 12:
            QVERIFY2(record.channel.size() == 3, where.constData());
            QCOMPARE(byteAt(m_image, page, 1), record.unit);
            QCOMPARE(byteAt(m_image, page, 4), record.channelType);
            QCOMPARE(textAt(m_image, page, 18, 3), record.channel);
            QCOMPARE(tripleAt(m_image, page, 21), record.frequency);
            QCOMPARE(wordAt(m_image, page, 33), record.level);
            QVERIFY2(record.level >= 250 && record.level <= 1200, where.constData());
            break;
        default:
            break;
        }
        if (record.kind == 10) {
            // Two's complement, big-endian, in page bytes 37 and 38.
            const auto stored = qint16(quint16(wordAt(m_image, page, 37)));
            QCOMPARE(int(stored), record.carrierToNoise);
        }
        if (record.kind == 11) {
            QCOMPARE(byteAt(m_image, page, 32), record.audioOffset);
            QCOMPARE(wordAt(m_image, page, 35), record.audioLevel);
            QCOMPARE(wordAt(m_image, page, 37), record.ratio);
        }
    }
    // The negative C/N is really stored with its sign.
    const auto negative = std::find_if(m_records.begin(), m_records.end(), [](const auto& r) {
        return r.kind == 10 && r.carrierToNoise < 0;
    });
    QVERIFY(negative != m_records.end());
    QVERIFY(byteAt(m_image, headerPage(negative->slot) + 1, 37) == 0xFF);
}

void DemoImageTest::tablesMatchTheDescription()
{
    int tiltRecords = 0;
    for (const DemoRecord& record : m_records) {
        const int fourth = headerPage(record.slot) + 4;
        if (record.kind == 8) {
            ++tiltRecords;
            QCOMPARE(record.tilt.size(), 12);
            bool analogue = false;
            bool digital = false;
            for (int row = 0; row < 12; ++row) {
                const DemoTiltRow& tiltRow = record.tilt.at(row);
                QCOMPARE(textAt(m_image, fourth, 16 * row + 2, 3), tiltRow.channel);
                QCOMPARE(byteAt(m_image, fourth, 16 * row + 11) != 0, tiltRow.digital);
                QCOMPARE(wordAt(m_image, fourth, 16 * row + 14), tiltRow.level);
                analogue = analogue || !tiltRow.digital;
                digital = digital || tiltRow.digital;
            }
            QVERIFY(analogue && digital);
        }
        if (record.kind == 7) {
            QCOMPARE(record.scan.size(), 100);
            for (int channel = 0; channel < 100; ++channel)
                QCOMPARE(wordAt(m_image, fourth, 2 * channel + 1), record.scan.at(channel));
        }
        if (record.kind == 6) {
            QCOMPARE(record.spectrum.size(), 381);
            for (int point = 0; point < 381; ++point) {
                const int page = fourth + point / 127;
                QCOMPARE(wordAt(m_image, page, 2 * (point % 127) + 1), record.spectrum.at(point));
            }
        }
    }
    QVERIFY(tiltRecords >= 1);
}

void DemoImageTest::scanAndSpectrumLookLikeAPlant()
{
    for (const DemoRecord& record : m_records) {
        if (record.kind == 7) {
            const auto [low, high] = std::minmax_element(record.scan.begin(), record.scan.end());
            QVERIFY(*low >= 200 && *high <= 1200); // drawn without clamping
            QVERIFY(*high - *low >= 300);          // carriers stand well above empty channels
        }
        if (record.kind == 6) {
            QList<int> sorted = record.spectrum;
            std::sort(sorted.begin(), sorted.end());
            const int noiseFloor = sorted.at(sorted.size() / 2);
            QVERIFY(noiseFloor < 400);
            // Carriers on the drawn part (the first 303 points): local maxima 30 dB above noise.
            int carriers = 0;
            for (int point = 1; point < 302; ++point) {
                const int value = record.spectrum.at(point);
                if (value > noiseFloor + 300 && value >= record.spectrum.at(point - 1) &&
                    value > record.spectrum.at(point + 1))
                    ++carriers;
            }
            QVERIFY2(carriers >= 3, qPrintable(QString::number(carriers)));
            QVERIFY(sorted.last() <= 1200);
        }
    }
}

void DemoImageTest::unusedFlashIsErased()
{
    QCOMPARE(m_image.left(512 * 256), QByteArray(512 * 256, char(0xFF)));
    for (int slot = 0; slot < kSlots; ++slot) {
        const bool described = std::any_of(m_records.begin(), m_records.end(),
                                           [&](const DemoRecord& r) { return r.slot == slot; });
        if (!described)
            QCOMPARE(m_image.mid(qsizetype(headerPage(slot)) * 256, 16 * 256),
                     QByteArray(16 * 256, char(0xFF)));
    }
}

QTEST_GUILESS_MAIN(DemoImageTest)
#include "tst_demo_image.moc"
