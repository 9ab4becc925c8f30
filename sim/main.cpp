// cablemeter-sim: plays the meter on a pseudo-terminal so the program can be tried without one.
//
//   cablemeter-sim [--image FILE] [--pacing unpaced|uart|usb|usb-low-latency] [--fault FAULT]
//                  [--answer-time MS|MIN-MAX] [--byte0 constant|counting|random] [--echo]
//                  [--answer-beep] [--link PATH]
//   cablemeter-sim --write-demo FILE
//   cablemeter-sim --version
//
// The first line on stdout is the device to open in the program; requests and beeps are logged to
// stderr, where a terminal first gets one line on how to use the device. Runs until SIGINT or
// SIGTERM.

#include "sim/demo_image.h"
#include "sim/meter_simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <unistd.h>

using namespace cablemeter::sim;

namespace {

constexpr int kExitUsage = 2;

int fail(const QString& message)
{
    std::fprintf(stderr, "cablemeter-sim: %s\n", qPrintable(message));
    return EXIT_FAILURE;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// Points `linkPath` at the device; an old symlink there is replaced, any other file is kept.
bool makeLink(const QString& linkPath, const QString& device)
{
    const QFileInfo existing(linkPath);
    if (existing.isSymLink())
        QFile::remove(linkPath);
    return QFile::link(device, linkPath);
}

// One line for the person who started the simulator: how the window and the command line reach
// the meter it plays.
QString usageHint(const QString& device)
{
    return QStringLiteral("cablemeter-sim: the meter is on %1: start the window with "
                          "CABLEMETER_COM1=%1 cablemeter, or try cablemeter-cli catalogue "
                          "--port %1")
        .arg(device);
}

// Blocks until SIGINT or SIGTERM. The signals are blocked in every thread (the simulator's thread
// inherits the mask), so only this wait receives them.
void waitForTermination(const sigset_t& awaited)
{
    int received = 0;
    sigwait(&awaited, &received);
}

} // namespace

int main(int argc, char* argv[])
{
    sigset_t terminationSignals;
    sigemptyset(&terminationSignals);
    sigaddset(&terminationSignals, SIGINT);
    sigaddset(&terminationSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terminationSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cablemeter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CABLEMETER_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Plays the cable meter on a pseudo-terminal.\n\n"
            "Pacing (how the meter's bytes reach the program):\n"
            "  unpaced           each reply at once\n"
            "  uart              a serial port: a few bytes every 2 ms (the default)\n"
            "  usb               a USB adapter: a packet every 16 ms\n"
            "  usb-low-latency   a USB adapter in low-latency mode: a packet every 1 ms\n"
            "\nFaults (--fault):\n") +
        ReplyFault::forms());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption imageOption(
        QStringLiteral("image"), QStringLiteral("Flash image to serve (default: the demo image)."),
        QStringLiteral("FILE"));
    const QCommandLineOption pacingOption(
        QStringLiteral("pacing"),
        QStringLiteral("unpaced, uart (default), usb or usb-low-latency."), QStringLiteral("MODE"),
        QStringLiteral("uart"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("Misbehave on page requests (see the faults above)."),
        QStringLiteral("FAULT"), QStringLiteral("none"));
    const QCommandLineOption answerTimeOption(
        QStringLiteral("answer-time"),
        QStringLiteral("How long the meter takes to answer, in ms: a fixed time, or MIN-MAX for a "
                       "time that varies from reply to reply (default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption firstByteOption(
        QStringLiteral("byte0"),
        QStringLiteral("What byte 0 of a reply holds: constant (0xFA, the default), counting "
                       "(one more on every reply) or random."),
        QStringLiteral("MODE"), QStringLiteral("constant"));
    const QCommandLineOption echoOption(
        QStringLiteral("echo"),
        QStringLiteral("Echo every request ahead of its answer, as half-duplex and RS-485 "
                       "adapters do."));
    const QCommandLineOption answerBeepOption(
        QStringLiteral("answer-beep"), QStringLiteral("Acknowledge a beep with one byte (0x06)."));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make PATH a symlink to the device."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption writeDemoOption(
        QStringLiteral("write-demo"),
        QStringLiteral("Write the demo flash image to FILE and exit."), QStringLiteral("FILE"));
    parser.addOptions({imageOption, pacingOption, faultOption, answerTimeOption, firstByteOption,
                       echoOption, answerBeepOption, linkOption, writeDemoOption});
    parser.process(app);

    if (parser.isSet(writeDemoOption)) {
        const QString path = parser.value(writeDemoOption);
        return writeFile(path, makeDemoImage()) ? EXIT_SUCCESS
                                                : fail(QStringLiteral("cannot write %1").arg(path));
    }

    const std::optional<Pacing> pacing = pacingFromName(parser.value(pacingOption));
    const std::optional<ReplyFault> fault = ReplyFault::parse(parser.value(faultOption));
    const auto answerTime = MeterTraits::parseAnswerTime(parser.value(answerTimeOption));
    const auto firstByte = MeterTraits::parseFirstByte(parser.value(firstByteOption));
    if (!pacing || !fault || !answerTime || !firstByte) {
        fail(QStringLiteral("bad --pacing, --fault, --answer-time or --byte0 value"));
        return kExitUsage;
    }
    MeterTraits traits;
    std::tie(traits.fastestAnswer, traits.slowestAnswer) = *answerTime;
    traits.firstByte = *firstByte;
    traits.echo = parser.isSet(echoOption);
    traits.answersBeep = parser.isSet(answerBeepOption);

    QByteArray image = makeDemoImage();
    if (parser.isSet(imageOption)) {
        QFile file(parser.value(imageOption));
        if (!file.open(QIODevice::ReadOnly))
            return fail(
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        image = file.readAll();
    }

    MeterSimulator simulator(image, *pacing);
    simulator.setFault(*fault);
    simulator.setTraits(traits);
    simulator.setLogger([](const QString& line) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
    });
    if (!simulator.start())
        return fail(
            QStringLiteral("cannot open a pseudo-terminal: %1").arg(simulator.errorString()));

    const QString linkPath = parser.value(linkOption);
    if (!linkPath.isEmpty() && !makeLink(linkPath, simulator.devicePath()))
        return fail(QStringLiteral("cannot create the link %1").arg(linkPath));

    std::printf("%s\n", qPrintable(simulator.devicePath()));
    std::fflush(stdout);
    // Scripts and tests read the device from stdout and get nothing else.
    if (isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(usageHint(linkPath.isEmpty() ? simulator.devicePath() : linkPath)));
        std::fflush(stderr);
    }

    waitForTermination(terminationSignals);
    simulator.closeLine();
    if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    return EXIT_SUCCESS;
}
