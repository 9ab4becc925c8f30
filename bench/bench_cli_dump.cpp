// The dump and the PDF report of the demo meter by cablemeter-cli, against the simulated meter
// paced like a UART at 19200 baud, as a ratio to the line time of the bytes exchanged (a 6-byte
// request and the meter's 257-byte answer per page). Goals: the dump at most 1.10, the report
// (whose reads dominate) at most 1.05 beside its drawing. Rerun: build/bin/bench_cli_dump [runs]
#include "sim/demo_image.h"
#include "sim/line_pacing.h"
#include "sim/meter_simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace cablemeter;

namespace {

constexpr int kRequestBytes = 6;
constexpr double kDumpGoal = 1.10;
constexpr double kReportGoal = 1.05;
constexpr int kPatienceMs = 600000;

// Runs one command against a fresh simulated meter; `arguments` get --port and the output path.
bool timeOnce(int run, const QString& command, const QStringList& arguments, double goal)
{
    sim::MeterSimulator meter(sim::makeDemoImage(), sim::Pacing::Uart);
    if (!meter.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(meter.errorString()));
        return false;
    }
    QTemporaryDir folder;
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList all = {command, QStringLiteral("--port"), meter.devicePath()};
    for (const QString& argument : arguments)
        all << QString(argument).replace(QStringLiteral("{dir}"), folder.path());
    QElapsedTimer wall;
    wall.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/cablemeter-cli"), all);
    if (!cli.waitForFinished(kPatienceMs) || cli.exitCode() != 0) {
        std::fprintf(stderr, "cablemeter-cli %s failed (exit %d)\n", qPrintable(command),
                     cli.exitCode());
        return false;
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const auto pages = int(meter.requestedPages().size());
    const double lineSeconds =
        std::chrono::duration<double>(
            sim::lineTimeOf(kRequestBytes + sim::MeterSimulator::kReplyBytes))
            .count() *
        pages;
    const double ratio = seconds / lineSeconds;
    std::printf("run %d: %s of %d pages: %.2f s, line time %.2f s, ratio %.3f (goal <= %.2f: "
                "%s)\n",
                run, qPrintable(command), pages, seconds, lineSeconds, ratio, goal,
                ratio <= goal ? "met" : "missed");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // The CLI it starts inherits this: the meter is on a pty, never this computer's own ports.
    if (!qEnvironmentVariableIsSet("CABLEMETER_TEST_PORTS"))
        qputenv("CABLEMETER_TEST_PORTS", "none");
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    for (int run = 1; run <= runs; ++run) {
        if (!timeOnce(run, QStringLiteral("dump"),
                      {QStringLiteral("--out"), QStringLiteral("{dir}/meter.bin")}, kDumpGoal) ||
            !timeOnce(run, QStringLiteral("report"),
                      {QStringLiteral("--out"), QStringLiteral("{dir}/site.pdf")}, kReportGoal))
            return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
