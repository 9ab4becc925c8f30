// Draws arbitrary records: the first input byte picks the renderer (and maybe a page read that
// fails), the rest of the input is served as the record's data pages. Whatever the bytes, the
// drawing stays inside the 320 x 240 screen and the text holds only what the record produces.

#include "fuzz_check.h"
#include "input_page_reader.h"
#include "platform/screen_picture.h"
#include "qt_fuzz_application.h"
#include "screens/record_fields.h"
#include "screens/renderers.h"
#include "screens/tilt_screen.h"

#include <QGuiApplication>
#include <QRect>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

using namespace cablemeter;
using cablemeter::fuzzing::fuzzCheck;
using cablemeter::fuzzing::InputPageReader;

namespace {

using RendererFunction = bool (*)(ScreenContext&, int);
constexpr std::array<RendererFunction, 9> kRenderers = {
    &DrawLevel, &DrawFreq, &DrawDigi, &DrawSpect, &DrawScan, &DrawTilt, &DrawVolt, &DrawCN, &DrawVA,
};

// The last slot, so that the highest page numbers are asked for.
constexpr int kSlot = kSlotCount - 1;
// A renderer reads at most four pages; failing reads are picked among the first six.
constexpr int kFailableReads = 6;

// The tilt table is the longest text: a header and twelve rows, each about 30 characters.
constexpr int kMostTextLines = 14;
constexpr int kLongestTextLine = 60;
// With a level unit code the tilt rows do not know, all twelve rows run on along one line.
constexpr int kLongestOpenLine = 12 * kLongestTextLine;
constexpr int kTiltTablePageNumber = 4;

const QSet<QString> kStatusTexts = {QStringLiteral("Page OK "), QStringLiteral("Page OK 1"),
                                    QStringLiteral("Page OK 2"), QStringLiteral("Page OK 3")};

// Every character the screens print themselves; anything else must come from a record's names.
const QString kScreenAlphabet = QStringLiteral("0123456789.- \t"
                                               "CHA CHV CHD MHz Video Audio dBuv dBmv dBm V/A: "
                                               "C/N: VOLT DC : AC Batter V NO. Chan Type Level "
                                               "DIGI ANAL");

ScreenPicture* picture = nullptr;

QSet<QChar> allowedCharacters(const InputPageReader& reader)
{
    QSet<QChar> allowed(kScreenAlphabet.begin(), kScreenAlphabet.end());
    if (const PageBuffer* first = reader.servedPage(1)) {
        for (QChar c : decodeCommonFields(*first).channelName)
            allowed.insert(c);
    }
    if (const PageBuffer* table = reader.servedPage(kTiltTablePageNumber)) {
        for (const TiltRow& row : decodeTiltTable(*table))
            for (QChar c : row.channelName)
                allowed.insert(c);
    }
    return allowed;
}

void checkText(const InputPageReader& reader)
{
    const QSet<QChar> allowed = allowedCharacters(reader);
    const auto onlyAllowed = [&](const QString& line) {
        return std::all_of(line.begin(), line.end(), [&](QChar c) { return allowed.contains(c); });
    };
    fuzzCheck(picture->printedLines().size() <= kMostTextLines, "a screen has a few text lines");
    for (const QString& line : picture->printedLines()) {
        fuzzCheck(line.size() <= kLongestTextLine, "a text line is short");
        fuzzCheck(onlyAllowed(line),
                  "a text line holds only the screen's words, numbers and names");
    }
    fuzzCheck(picture->openLine().size() <= kLongestOpenLine, "the open text line is bounded");
    fuzzCheck(onlyAllowed(picture->openLine()),
              "the open text line holds only the screen's words, numbers and names");
}

void checkDrawing()
{
    const QImage image = picture->image();
    fuzzCheck(image.width() == Picture::kWidth && image.height() == Picture::kHeight,
              "the picture stays 320 x 240");
    const QRect screen(0, 0, Picture::kWidth, Picture::kHeight);
    for (const DrawnLine& line : picture->drawnLines())
        fuzzCheck(screen.contains(line.from) && screen.contains(line.to),
                  "every line segment lies inside the screen");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    cablemeter::fuzzing::startQtApplication<QGuiApplication>();
    picture = new ScreenPicture;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int selector = data[0];
    const RendererFunction draw = kRenderers[std::size_t(selector) % kRenderers.size()];
    const int choice = selector / int(kRenderers.size());
    const int failingRead = choice < kFailableReads ? choice : InputPageReader::kNoFailure;

    InputPageReader reader(data + 1, size - 1, kSlot, failingRead);
    picture->clear();
    bool statusesKnown = true;
    ScreenContext context{reader, *picture, [&](const QString& text) {
                              statusesKnown = statusesKnown && kStatusTexts.contains(text);
                          }};
    const bool drawn = draw(context, kSlot);

    fuzzCheck(drawn == !reader.failed(), "a renderer fails exactly when a page read failed");
    if (reader.failed())
        fuzzCheck(reader.readCount() == failingRead + 1, "drawing stops at a failed read");
    fuzzCheck(statusesKnown, "the status line shows only the page progress");
    checkDrawing();
    checkText(reader);
    return 0;
}
