#pragma once

#include "platform/screen_picture.h"
#include "screens/renderers.h"
#include "support/fake_page_reader.h"

#include <QMap>
#include <QStringList>

namespace cablemeter::testing {

// Page byte N -> value; every byte not named is 0.
using PageBytes = QMap<int, int>;

inline PageBuffer pageOf(const PageBytes& bytes)
{
    PageBuffer page{};
    for (auto it = bytes.cbegin(); it != bytes.cend(); ++it)
        page[it.key()] = std::uint8_t(it.value());
    return page;
}

using Renderer = bool (*)(ScreenContext&, int);

inline Renderer rendererNamed(const QString& name)
{
    static const QMap<QString, Renderer> renderers = {
        {"Level", DrawLevel}, {"Freq", DrawFreq}, {"Digi", DrawDigi},
        {"Spect", DrawSpect}, {"Scan", DrawScan}, {"Tilt", DrawTilt},
        {"Volt", DrawVolt},   {"CN", DrawCN},     {"VA", DrawVA},
    };
    return renderers.value(name);
}

// A meter, a picture and a status line for a renderer to work with.
struct ScreenBench {
    FakePageReader reader;
    ScreenPicture picture;
    QStringList statuses;
    ScreenContext context{reader, picture, [this](const QString& text) { statuses.append(text); }};

    void setPage(int flashPage, const PageBytes& bytes)
    {
        reader.setPage(flashPage, pageOf(bytes));
    }
};

} // namespace cablemeter::testing
