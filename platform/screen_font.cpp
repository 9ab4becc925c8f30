#include "platform/screen_font.h"

#include <QFontDatabase>
#include <QStringList>
#include <QtGlobal>

namespace cablemeter {

namespace {

// Where the build puts the font files (see platform/CMakeLists.txt).
constexpr const char* kFontResources[] = {":/cablemeter/fonts/FreeSansBold.ttf",
                                          ":/cablemeter/fonts/FreeSans.ttf"};

QString loadBundledFonts()
{
    QString family;
    for (const char* resource : kFontResources) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(resource));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty())
            qFatal("The screen font %s is missing from the program: rebuild it with the "
                   "fonts-freefont-ttf package installed.",
                   resource);
        family = families.first();
    }
    return family;
}

} // namespace

QString screenFontFamily()
{
    static const QString family = loadBundledFonts();
    return family;
}

} // namespace cablemeter
