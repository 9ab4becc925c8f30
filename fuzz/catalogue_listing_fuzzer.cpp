// Lists an arbitrary "MeterDat.dat" of any length: a file too short for the catalogue is refused
// and leaves the list as it was; otherwise every block whose kind code marks a record gives one
// list line of the fixed shape, and the kind and slot tables follow the lines.

#include "catalogue/catalogue_layout.h"
#include "catalogue/record_catalogue.h"
#include "catalogue/recording_picture.h"
#include "fuzz_check.h"
#include "qt_fuzz_application.h"
#include "support/fake_page_reader.h"
#include "support/fake_window_controls.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace cablemeter;
using cablemeter::fuzzing::fuzzCheck;
using cablemeter::testing::FakePageReader;
using cablemeter::testing::FakeWindowControls;
using cablemeter::testing::RecordingPicture;

namespace {

// A list line: name, two blanks, label, two blanks, time stamp.
constexpr int kLabelStart = kNameLength + 2;
constexpr int kLabelLength = 5;
constexpr int kStampStart = kLabelStart + kLabelLength + 2;
constexpr int kLargestShownStampPart = 153;
// Bytes 0x80 to 0x9F are where Windows-1252 differs from Latin-1.
constexpr int kFirstWindowsOnlyCode = 0x80;
constexpr int kLastWindowsOnlyCode = 0x9F;

const QString kEarlierLine = QStringLiteral("a line of the earlier list");

const QStringList kLabels = {
    QStringLiteral("     "), QStringLiteral("Level"), QStringLiteral("Freq "),
    QStringLiteral("Digi "), QStringLiteral("Spect"), QStringLiteral("Scan "),
    QStringLiteral("Title"), QStringLiteral("Volt "), QStringLiteral("C/N  "),
    QStringLiteral("V/A  "), QStringLiteral("Auto ")};

// Where the catalogue file is written; removed when the run ends.
QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString catalogueFilePath()
{
    return folder().filePath(QString::fromLatin1(kCatalogueFileName));
}

// A stamp part as the list shows it: two digits at least, and 00 for a value the meter never
// keeps there.
QString stampPart(int value)
{
    if (value > kLargestShownStampPart)
        value = 0;
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString expectedStamp(const std::uint8_t* block)
{
    const auto part = [&](int i) { return stampPart(block[kStampOffset + i]); };
    return part(0) + '/' + part(1) + '/' + part(2) + QStringLiteral("     ") + part(3) + ':' +
           part(4) + ':' + part(5);
}

void checkLine(const QString& line, const std::uint8_t* block)
{
    fuzzCheck(line.mid(kNameLength, 2) == QStringLiteral("  ") &&
                  kLabels.contains(line.mid(kLabelStart, kLabelLength)) &&
                  line.mid(kLabelStart + kLabelLength, 2) == QStringLiteral("  "),
              "a list line is name, two blanks, a known label, two blanks");
    for (int i = 0; i < kNameLength; ++i) {
        const int code = block[kNameOffset + i];
        if (code < kFirstWindowsOnlyCode || code > kLastWindowsOnlyCode)
            fuzzCheck(line.at(i) == QChar(code), "a name byte outside 0x80..0x9F is its Latin-1 "
                                                 "character");
    }
    fuzzCheck(line.mid(kStampStart) == expectedStamp(block),
              "the stamp is the block's date and time");
}

void checkListing(const std::uint8_t* data, std::size_t size)
{
    FakePageReader reader;
    RecordingPicture picture;
    FakeWindowControls controls;
    controls.lines = QStringList{kEarlierLine};
    RecordCatalogue catalogue(controls, reader, picture, catalogueFilePath(), folder().path());

    const bool listed = catalogue.ProcDat();

    if (size < std::size_t(kCatalogueBlocksSize)) {
        fuzzCheck(!listed, "a file too short for the catalogue is refused");
        fuzzCheck(controls.errors.size() == 1, "a refused file is reported once");
        fuzzCheck(controls.lines == QStringList{kEarlierLine}, "a refused file leaves the list");
        return;
    }
    fuzzCheck(listed && controls.errors.isEmpty(), "a whole catalogue is listed without errors");
    fuzzCheck(controls.lines.size() <= kSlotCount, "at most one line per slot");
    int line = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::uint8_t* block = data + std::size_t(slot) * kCatalogueBlockSize;
        const int kind = block[kKindOffset];
        if (kind > kLastListedKind)
            continue;
        fuzzCheck(line < controls.lines.size(), "every block holding a record has a line");
        checkLine(controls.lines[line], block);
        fuzzCheck(catalogue.listKind()[std::size_t(line)] == kind, "the kind table follows");
        fuzzCheck(catalogue.listSlot()[std::size_t(line)] == slot, "the slot table follows");
        ++line;
    }
    fuzzCheck(line == controls.lines.size(), "only blocks holding a record have lines");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    cablemeter::fuzzing::startQtApplication<QCoreApplication>();
    fuzzCheck(folder().isValid(), "a temporary folder for the catalogue file");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile file(catalogueFilePath());
        fuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
                  "the catalogue file is written");
    }
    checkListing(data, size);
    return 0;
}
