// Page-read and catalogue timings against the simulated meter paced at 19200 baud, as ratios to
// the line time of the bytes exchanged. Rerun: build/bin/bench_link [reads]
#include "catalogue/record_catalogue.h"
#include "catalogue/record_kind.h"
#include "link/meter_link.h"
#include "platform/qt_serial_port.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/line_pacing.h"
#include "sim/meter_simulator.h"
#include "support/fake_window_controls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

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

// How many pages each screen reads; 0 for kinds without a screen.
int pagesOfScreen(int kind)
{
    if (kind == kSpectKind)
        return 4;
    if (kind == kTiltKind || kind == kScanKind)
        return 2;
    return kind >= kLevelKind && kind <= kVAKind ? 1 : 0;
}

double lineSeconds(int bytes)
{
    return std::chrono::duration<double>(sim::lineTimeOf(bytes)).count();
}

void measure(sim::Pacing pacing, int reads, bool screens)
{
    sim::MeterSimulator meter(sim::makeDemoImage(), pacing);
    if (!meter.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(meter.errorString()));
        return;
    }
    qputenv("CABLEMETER_COM1", meter.devicePath().toLocal8Bit());
    QtSerialPort port;
    testing::FakeWindowControls controls;
    MeterLink link(port, controls);
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
    std::printf("%-15s page read: %6.1f ms, line time %6.1f ms, ratio %.3f (%d reads, %d "
                "failed, %d requests sent)\n",
                qPrintable(sim::pacingName(pacing)), perRead * 1e3, pageLine * 1e3,
                perRead / pageLine, reads, failures, link.pageRequestsSent());

    QTemporaryDir folder;
    ScreenPicture picture;
    RecordCatalogue catalogue(controls, link, picture,
                              folder.filePath(QStringLiteral("MeterDat.dat")), folder.path());
    const double cpuBefore = cpuSeconds();
    const int requestsBefore = link.pageRequestsSent();
    wall.restart();
    catalogue.Command7_Click();
    const double catalogueWall = double(wall.nsecsElapsed()) / 1e9;
    const double catalogueCpu = cpuSeconds() - cpuBefore;
    const double catalogueLine = kSlotCount * pageLine;
    std::printf("%-15s catalogue: %6.0f ms, line time %6.0f ms, ratio %.3f, CPU %.1f %% of wall, "
                "%lld lines listed, %lld errors, %d requests for %d pages\n",
                qPrintable(sim::pacingName(pacing)), catalogueWall * 1e3, catalogueLine * 1e3,
                catalogueWall / catalogueLine, 100.0 * catalogueCpu / catalogueWall,
                qlonglong(controls.lines.size()), qlonglong(controls.errors.size()),
                link.pageRequestsSent() - requestsBefore, kSlotCount);
    if (!screens)
        return;

    // Each screen from click to drawn, against the line time of the pages it reads.
    for (int row = 0; row < controls.listCount(); ++row) {
        const int kind = catalogue.listKind()[row];
        const int pages = pagesOfScreen(kind);
        if (pages == 0)
            continue;
        controls.selectedLine = row;
        wall.restart();
        catalogue.List1_Click();
        const double clickWall = double(wall.nsecsElapsed()) / 1e9;
        std::printf(
            "%-15s screen %-5s slot %2d: %6.1f ms, %d page(s) line time %6.1f ms, ratio %.3f\n",
            qPrintable(sim::pacingName(pacing)), qPrintable(controls.lines[row].mid(8, 5)),
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
        qputenv("CABLEMETER_COM1", meter.devicePath().toLocal8Bit());
        QtSerialPort port;
        testing::FakeWindowControls controls;
        MeterLink link(port, controls);
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
    // The benchmark's meter is on a pty: never look at this computer's own serial ports.
    if (!qEnvironmentVariableIsSet("CABLEMETER_TEST_PORTS"))
        qputenv("CABLEMETER_TEST_PORTS", "none");
    QApplication application(argc, argv);
    const int reads = argc > 1 ? std::atoi(argv[1]) : 20;
    const bool screens = !qEnvironmentVariableIsSet("BENCH_NO_SCREENS");
    for (sim::Pacing pacing :
         {sim::Pacing::Unpaced, sim::Pacing::Uart, sim::Pacing::Usb, sim::Pacing::UsbLowLatency})
        measure(pacing, reads, screens);
    measureCancel();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of this benchmark: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
