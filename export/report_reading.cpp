#include "export/report_reading.h"

#include <utility>

namespace cablemeter {

ReportReading::ReportReading(PageReader& reader, QImage background, Limits limits)
    : m_reading(reader, std::move(background)), m_limits(std::move(limits))
{
}

bool ReportReading::read()
{
    m_records.clear();
    if (!m_reading.readCatalogue())
        return false;
    return m_reading.readRecords(
        [this](const CatalogueEntry& entry, const QImage& screen, const RecordValues& values) {
            m_records.append(
                {entry, screen, values, checkLimits(entry.kind, values.measured, m_limits)});
            return true;
        });
}

} // namespace cablemeter
