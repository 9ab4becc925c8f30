#include "export/catalogue_entry.h"

#include "catalogue/catalogue_layout.h"
#include "catalogue/catalogue_line.h"

#include <QByteArrayView>

#include <cstdint>

namespace cablemeter {

namespace {

// Page byte N of the header is byte N - 1 of a catalogue block.
QByteArrayView blockOf(const PageBuffer& headerPage)
{
    return QByteArrayView(reinterpret_cast<const char*>(headerPage.data() + 1), kPageSize);
}

QString trailingBlanksRemoved(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

} // namespace

bool CatalogueEntry::listed() const
{
    return kind <= kLastListedKind;
}

CatalogueEntry catalogueEntry(int slot, const PageBuffer& headerPage)
{
    const QByteArrayView block = blockOf(headerPage);
    CatalogueEntry entry;
    entry.slot = slot;
    entry.kind = std::uint8_t(block[kKindOffset]);
    entry.name = recordName(block);
    entry.stamp = stampText(block).simplified();
    entry.label = trailingBlanksRemoved(kindLabel(entry.kind));
    entry.line = catalogueLine(block);
    return entry;
}

} // namespace cablemeter
