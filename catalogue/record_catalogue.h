#pragma once

#include "catalogue/catalogue_layout.h"
#include "catalogue/record_kinds.h"

#include <QCoreApplication>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

namespace cablemeter {

class PageReader;
class Picture;
class WindowControls;

// The stored-record catalogue: Read downloads the 32 slot headers into the catalogue file and
// lists the records; a click on a listed record draws it with the renderer of its kind. Owned by
// the window for the whole run.
class RecordCatalogue {
public:
    static constexpr int kListKindEntries = 101;
    static constexpr int kListSlotEntries = 61;
    static constexpr int kProgressMaximum = 100;

    // catalogueFilePath: where "MeterDat.dat" goes (relative: the current directory).
    // programFolder: the program's own folder, where "ZNull.ovl" is looked up first (then in the
    // installed data folder beside it).
    RecordCatalogue(WindowControls& controls, PageReader& reader, Picture& picture,
                    QString catalogueFilePath = QString::fromLatin1(kCatalogueFileName),
                    QString programFolder = QCoreApplication::applicationDirPath(),
                    RendererTable renderers = standardRenderers());

    // The Read button: downloads the catalogue, then lists it. On failure the status line says
    // so, the user gets one message, and the file and the list stay as they were.
    void Command7_Click();
    // A click on the record list: draws the selected record if its kind has a screen.
    void List1_Click();

    // Downloads the 32 header pages and, only when all arrived, writes the catalogue file.
    bool MadeIndex();
    // Rebuilds the record list and the kind and slot tables from the catalogue file.
    bool ProcDat();

    // The kind code and slot number of each list line, by line position.
    const std::array<std::int16_t, kListKindEntries>& listKind() const { return m_listKind; }
    const std::array<std::int32_t, kListSlotEntries>& listSlot() const { return m_listSlot; }

private:
    // Tells the user why a header page did not arrive; the file and the list stay as they were.
    void reportFailedRead();
    // The background for the next screen; a null image (reported once per run) when unreadable.
    QImage loadBackground();

    WindowControls& m_controls;
    PageReader& m_reader;
    Picture& m_picture;
    QString m_catalogueFilePath;
    QString m_programFolder;
    RendererTable m_renderers;

    std::array<std::int16_t, kListKindEntries> m_listKind{};
    std::array<std::int32_t, kListSlotEntries> m_listSlot{};
    bool m_backgroundReported = false;
};

} // namespace cablemeter
