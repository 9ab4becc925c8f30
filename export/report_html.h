#pragma once

#include "export/report_heading.h"

#include <QList>
#include <QString>

#include <functional>

namespace cablemeter {

struct ReportedRecord;

// The report as HTML: the first page (title, facts, summary table), then one section per record
// with a screen. The same HTML serves a browser as one self-contained file and Qt's rich text
// as the PDF's content; only the pictures' sources and the page breaks differ. Every text from
// the meter, the file system or the user is escaped.
class ReportHtml {
public:
    enum class Target { Browser, RichText };
    // The src of a record's screen picture: a data: URL, or a name the document knows.
    using PictureSource = std::function<QString(const ReportedRecord& record)>;

    // pictureWidth: the width the screens are shown at, in CSS pixels (1/96 inch).
    ReportHtml(Target target, PictureSource pictureSource, int pictureWidth);

    QString html(const ReportHeading& heading, const QList<ReportedRecord>& records) const;

    // The anchor of a record's section.
    static QString sectionAnchor(const ReportedRecord& record);

private:
    QString firstPage(const ReportHeading& heading, const QList<ReportedRecord>& records) const;
    QString summaryTable(const QList<ReportedRecord>& records) const;
    QString recordSection(const ReportedRecord& record) const;

    Target m_target;
    PictureSource m_pictureSource;
    int m_pictureWidth;
};

} // namespace cablemeter
