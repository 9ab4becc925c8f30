// Page-read and catalogue timings against the simulated meter paced at 19200 baud, as ratios to
// the line time of the bytes exchanged, for each pacing, for meters whose answer time and byte 0
// vary, for an echoing adapter, and with every page verified. Rerun: build/bin/bench_link [reads]
#include "catalogue/record_catalogue.h"
#include "catalogue/record_kinds.h"
#include "link/meter_link.h"
#include "platform/qt_serial_port.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/line_pacing.h"
#include "sim/meter_simulator.h"
#include "support/fake_window_controls.h"
#include "support/test_port_map.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <sys/resource.h>
#include <vector>

using namespace cablemeter;

namespace {

constexpr int kRequestBytes = 6;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The pages the meter was asked for since `requestsBefore` of its requests, each counted once
// however often it was asked for.
int pagesAskedSince(const sim::MeterSimulator& meter, qsizetype requestsBefore)
{
    const QList<int> asked = meter.requestedPages().mid(requestsBefore);
    return int(QSet<int>(asked.begin(), asked.end()).size());
}

double lineSeconds(int bytes)
{
    return std::chrono::duration<double>(sim::lineTimeOf(bytes)).count();
}

// A meter and the way its bytes reach us.
struct MeterSetup {
    QString name;
    sim::Pacing pacing = sim::Pacing::Uart;
    sim::MeterTraits traits;
    bool verify = false;
    bool erased = false; // a meter whose slots are all erased but the first: identical replies
};

QByteArray imageOf(const MeterSetup& setup)
{
    QByteArray image = sim::makeDemoImage();
    if (setup.erased) {
        constexpr int kFirstErasedPage = kFirstSlotPage + kPagesPerSlot;
        image.truncate(qsizetype(kFirstErasedPage) * kPageSize);
    }
    return image;
}

void measure(const MeterSetup& setup, int reads, bool screens)
{
    sim::MeterSimulator meter(imageOf(setup), setup.pacing);
    meter.setTraits(setup.traits);
    if (!meter.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(meter.errorString()));
        return;
    }
    PortMap ports = testing::testPortMap();
    QtSerialPort port;
    testing::FakeWindowControls controls;
    const PortChoice device = PortChoice::path(meter.devicePath());
    MeterLink link(port, ports, controls, [device] { return device; });
    link.setVerifyPages(setup.verify);
    const QByteArray label = setup.name.toLocal8Bit();
    if (!link.OpenCom()) {
        std::fprintf(stderr, "open: %s\n", qPrintable(link.lastError()));
        return;
    }
    const double pageLine = lineSeconds(kRequestBytes + sim::MeterSimulator::kReplyBytes);

    QElapsedTimer wall;
    wall.start();
    int failures = 0;
    for (int i = 0; i < reads; ++i)
        failures += link.ReadFlash(513 + i % 400) ? 0 : 1;
    const double perRead = double(wall.nsecsElapsed()) / 1e9 / reads;
    std::printf("%-26s page read: %6.1f ms, line time %6.1f ms, ratio %.3f (%d reads, %d "
                "failed, %d requests sent)\n",
                label.constData(), perRead * 1e3, pageLine * 1e3, perRead / pageLine, reads,
                failures, link.pageRequestsSent());

    QTemporaryDir folder;
    ScreenPicture picture;
    RecordCatalogue catalogue(controls, link, picture,
                              folder.filePath(QStringLiteral("MeterDat.dat")), folder.path());
    // The catalogue several times: this machine's noise shows in the spread, the median is kept.
    constexpr int kCatalogueRuns = 5;
    std::vector<double> walls;
    const double cpuBefore = cpuSeconds();
    const int requestsBefore = link.pageRequestsSent();
    for (int run = 0; run < kCatalogueRuns; ++run) {
        wall.restart();
        catalogue.Command7_Click();
        walls.push_back(double(wall.nsecsElapsed()) / 1e9);
    }
    const double catalogueCpu = cpuSeconds() - cpuBefore;
    std::sort(walls.begin(), walls.end());
    const double median = walls[walls.size() / 2];
    const double catalogueLine = kSlotCount * pageLine;
    std::printf("%-26s catalogue: %6.0f ms, line time %6.0f ms, ratio %.3f (%.3f to %.3f over %d "
                "runs), CPU %.1f %% of wall, %lld lines listed, %lld errors, %.1f requests for "
                "%d pages\n",
                label.constData(), median * 1e3, catalogueLine * 1e3, median / catalogueLine,
                walls.front() / catalogueLine, walls.back() / catalogueLine, kCatalogueRuns,
                100.0 * catalogueCpu / std::accumulate(walls.begin(), walls.end(), 0.0),
                qlonglong(controls.lines.size()), qlonglong(controls.errors.size()),
                double(link.pageRequestsSent() - requestsBefore) / kCatalogueRuns, kSlotCount);
    if (!screens)
        return;

    // Each screen from click to drawn, against the line time of the pages it reads.
    for (int row = 0; row < controls.listCount(); ++row) {
        if (!kindScreen(catalogue.listKind()[row]))
            continue;
        controls.selectedLine = row;
        const qsizetype requestsBefore = meter.requestedPages().size();
        wall.restart();
        catalogue.List1_Click();
        const double clickWall = double(wall.nsecsElapsed()) / 1e9;
        const int pages = pagesAskedSince(meter, requestsBefore);
        std::printf(
            "%-26s screen %-5s slot %2d: %6.1f ms, %d page(s) line time %6.1f ms, ratio %.3f\n",
            label.constData(), qPrintable(controls.lines[row].mid(8, 5)),
            int(catalogue.listSlot()[row]), clickWall * 1e3, pages, pages * pageLine * 1e3,
            clickWall / (pages * pageLine));
    }
}

// How long a page read takes to end after cancel() (Quit, Ctrl-C), for each kind of wait.
void measureCancel()
{
    using namespace std::chrono_literals;
    struct Case {
        const char* wait;
        sim::ReplyFault fault;
        int failedReadsFirst; // reads to fail before the measured one
        std::chrono::milliseconds cancelAfter;
    };
    const Case cases[] = {
        {"waiting for a reply (meter silent)", sim::ReplyFault::noAnswer(), 0, 300ms},
        {"pause for a late answer (after a timeout)", sim::ReplyFault::noAnswer(), 1, 200ms},
        {"quiet-line wait before a request (noise)", sim::ReplyFault::noise(20000), 1, 300ms},
        {"quiet wait after a reply (noise)", sim::ReplyFault::noise(20000), 0, 600ms},
    };
    for (const Case& c : cases) {
        sim::MeterSimulator meter(sim::makeDemoImage(), sim::Pacing::Uart);
        meter.setFault(c.fault);
        if (!meter.start())
            return;
        PortMap ports = testing::testPortMap();
        QtSerialPort port;
        testing::FakeWindowControls controls;
        const PortChoice device = PortChoice::path(meter.devicePath());
        MeterLink link(port, ports, controls, [device] { return device; });
        for (int i = 0; i < c.failedReadsFirst; ++i)
            (void)link.ReadFlash(512);
        QElapsedTimer sinceCancel;
        QTimer::singleShot(c.cancelAfter, [&] {
            sinceCancel.start();
            link.cancel();
        });
        (void)link.ReadFlash(513);
        std::printf("cancel during %-45s: the read ended %.1f ms after cancel()\n", c.wait,
                    sinceCancel.isValid() ? double(sinceCancel.nsecsElapsed()) / 1e6 : -1.0);
        meter.closeLine();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int reads = argc > 1 ? std::atoi(argv[1]) : 20;
    const bool screens = !qEnvironmentVariableIsSet("BENCH_NO_SCREENS");
    using sim::Pacing;
    using std::chrono::milliseconds;
    for (Pacing pacing : {Pacing::Unpaced, Pacing::Uart, Pacing::Usb, Pacing::UsbLowLatency})
        measure({sim::pacingName(pacing), pacing, {}}, reads, screens);

    // Sound meters that differ from the simulator's defaults: each must cost a request a page.
    sim::MeterTraits jitter;
    jitter.fastestAnswer = milliseconds(1);
    jitter.slowestAnswer = milliseconds(20);
    jitter.firstByte = sim::MeterTraits::FirstByte::Random;
    measure({QStringLiteral("uart, answer 1-20 ms"), Pacing::Uart, jitter}, reads, false);
    sim::MeterTraits erasedJitter;
    erasedJitter.fastestAnswer = milliseconds(3);
    erasedJitter.slowestAnswer = milliseconds(20);
    erasedJitter.firstByte = sim::MeterTraits::FirstByte::Counting;
    measure({QStringLiteral("uart, 3-20 ms, erased"), Pacing::Uart, erasedJitter, false, true},
            reads, false);
    sim::MeterTraits echo;
    echo.echo = true;
    measure({QStringLiteral("uart, echoing adapter"), Pacing::Uart, echo}, reads, false);

    // Every page read twice.
    measure({QStringLiteral("uart, verified"), Pacing::Uart, {}, true}, reads, false);
    measure({QStringLiteral("usb-low-latency, verified"), Pacing::UsbLowLatency, {}, true}, reads,
            false);
    measureCancel();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of this benchmark: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
