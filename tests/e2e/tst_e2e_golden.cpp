// The pictures the end-to-end run expects in the window: every demo record that has a screen,
// drawn offscreen by its renderer from the demo flash image on the real background, and the
// record list the window shows, one line per list row. Both are kept in golden/ and compared here
// pixel for pixel and line for line; CABLEMETER_UPDATE_GOLDEN=1 writes them anew instead.
#include "screens/background_picture.h"
#include "catalogue/catalogue_layout.h"
#include "catalogue/record_kinds.h"
#include "platform/screen_picture.h"
#include "screens/renderers.h"
#include "sim/demo_image.h"
#include "support/fake_page_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

const QString kGoldenFolder = QStringLiteral(CABLEMETER_TEST_DATA "/golden");
const QString kRecordListName = QStringLiteral("records.txt");

bool updating()
{
    return qEnvironmentVariableIntValue("CABLEMETER_UPDATE_GOLDEN") == 1;
}

QString pictureName(int slot)
{
    return QStringLiteral("slot%1.png").arg(slot, 2, 10, QLatin1Char('0'));
}

// The list shows every slot whose kind code names a record, in slot order. Each line of the
// record list file: row, slot, kind, name, and the picture a click draws ("-": the kind has no
// screen, the picture stays as it was).
QByteArray recordListText()
{
    const RendererTable renderers = standardRenderers();
    QByteArray text = "# row slot kind name picture\n";
    int row = 0;
    for (const sim::DemoRecord& record : sim::demoRecords()) {
        if (record.kind > kLastListedKind)
            continue;
        const QString picture =
            renderers.contains(record.kind) ? pictureName(record.slot) : QStringLiteral("-");
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(row++)
                    .arg(record.slot)
                    .arg(record.kind)
                    .arg(QString::fromLatin1(record.name), picture)
                    .toLatin1();
    }
    return text;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class E2eGoldenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void recordListMatchesItsGolden();
    void screenMatchesItsGolden_data();
    void screenMatchesItsGolden();

private:
    QImage m_background;
};

void E2eGoldenTest::initTestCase()
{
    // The program looks for the background next to itself; the tests live in the same folder.
    const BackgroundPicture background = loadBackgroundPicture(
        QCoreApplication::applicationDirPath() + QStringLiteral("/ZNull.ovl"));
    QVERIFY2(background.error.isEmpty(), qPrintable(background.error));
    m_background = background.image;
}

void E2eGoldenTest::recordListMatchesItsGolden()
{
    const QString path = kGoldenFolder + QLatin1Char('/') + kRecordListName;
    const QByteArray actual = recordListText();
    if (updating()) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        QCOMPARE(file.write(actual), actual.size());
        QSKIP(qPrintable("wrote " + path));
    }
    QCOMPARE(QString::fromLatin1(readFile(path)), QString::fromLatin1(actual));
}

void E2eGoldenTest::screenMatchesItsGolden_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("kind");
    const RendererTable renderers = standardRenderers();
    for (const sim::DemoRecord& record : sim::demoRecords()) {
        if (renderers.contains(record.kind))
            QTest::addRow("slot %d %s", record.slot, record.name.constData())
                << record.slot << record.kind;
    }
}

void E2eGoldenTest::screenMatchesItsGolden()
{
    QFETCH(int, slot);
    QFETCH(int, kind);
    FakePageReader reader(sim::makeDemoImage());
    ScreenPicture picture;
    picture.setBackground(m_background);
    ScreenContext context{reader, picture, [](const QString&) {}};
    QVERIFY(standardRenderers().at(kind)(context, slot));
    const QImage actual = picture.image().convertToFormat(QImage::Format_RGB32);

    const QString golden = kGoldenFolder + QLatin1Char('/') + pictureName(slot);
    if (updating()) {
        QVERIFY2(actual.save(golden, "PNG"), qPrintable(golden));
        QSKIP(qPrintable("wrote " + golden));
    }
    const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
    if (actual != expected) {
        const QString output = QStringLiteral(CABLEMETER_TEST_OUTPUT "/%1").arg(pictureName(slot));
        actual.save(output, "PNG");
        QFAIL(qPrintable(QStringLiteral("slot %1 differs from %2; this run drew %3")
                             .arg(slot)
                             .arg(QDir::toNativeSeparators(golden), output)));
    }
}

QTEST_MAIN(E2eGoldenTest)
#include "tst_e2e_golden.moc"
