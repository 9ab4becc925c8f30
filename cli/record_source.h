#pragma once

#include "link/flash_image_reader.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QImage>
#include <QString>

#include <memory>

class QCommandLineParser;

namespace cablemeter {
class PageReader;
class RecordingPageReader;
} // namespace cablemeter

namespace cablemeter::cli {

class InterruptWatch;
class MeterSession;

// Where `export` and `report` read the stored records: a flash image file (--image FILE) or the
// meter (--port DEVICE, every page read once, or twice with --verify).
class RecordSource {
public:
    explicit RecordSource(InterruptWatch& watch);
    ~RecordSource();
    RecordSource(const RecordSource&) = delete;
    RecordSource& operator=(const RecordSource&) = delete;

    // Adds --image, --port and --verify to the command's options.
    void addOptions(QCommandLineParser& parser) const;
    // Takes the parsed options. False (explained on stderr, with the command's `usage`) when they
    // name no source, both, a port that is none, or --verify without the meter; exitCode becomes
    // the usage status.
    bool takeOptions(const QCommandLineParser& parser, const QString& usage, int& exitCode);
    // Loads the image or opens the port. False (explained on stderr) with the exit status.
    bool open(int& exitCode);

    // Open: where the records are read, each page of the meter fetched once.
    PageReader& reader();
    bool readsImage() const { return !m_imagePath.isEmpty(); }
    QString imagePath() const { return m_imagePath; }
    // The image file's bytes, once loaded.
    const QByteArray& image() const { return m_imageReader.image(); }
    // The meter's port as the user knows it, once open.
    QString portName() const;
    bool verifies() const { return m_verify; }

private:
    InterruptWatch& m_watch;
    QCommandLineOption m_imageOption;
    QCommandLineOption m_portOption;
    QCommandLineOption m_verifyOption;
    QString m_imagePath;
    QString m_port;
    bool m_verify = false;
    FlashImageReader m_imageReader;
    std::unique_ptr<MeterSession> m_session;
    std::unique_ptr<RecordingPageReader> m_meterPages;
};

// The screens' background, found as the window finds it; without it a warning on stderr, and
// screens are drawn on a plain picture (a null image).
QImage screenBackground();

} // namespace cablemeter::cli
