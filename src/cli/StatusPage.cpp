#include "cli/StatusPage.h"

#include "export/ExportLayout.h"
#include "export/HtmlTableWriter.h"
#include "export/TableSnapshot.h"

#include <QColor>
#include <QLocale>

namespace quarlo {

namespace {

QString when(const QDateTime& time)
{
    return time.isValid() ? QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString();
}

// The colours of a monitoring system's states: nobody has to read the word.
QColor statusBackground(const QString& status)
{
    if (status == QLatin1String("OK")) return QColor(0xd4, 0xed, 0xda);
    if (status == QLatin1String("WARNING")) return QColor(0xff, 0xf3, 0xcd);
    if (status == QLatin1String("CRITICAL")) return QColor(0xf8, 0xd7, 0xda);
    if (status == QLatin1String("UNKNOWN")) return QColor(0xe2, 0xe3, 0xe5);
    return QColor();
}

SnapshotCell cell(const QString& text)
{
    return SnapshotCell{text, QColor(), QColor(), false, false, QString()};
}

} // namespace

QByteArray StatusPage::Html(const std::vector<Watch>& watches, const QDateTime& started, qint64 probeScans,
                            const QString& version)
{
    TableSnapshot table;
    table.headers = {QStringLiteral("Watch"),        QStringLiteral("Status"),  QStringLiteral("Last scan"),
                     QStringLiteral("Next scan"),    QStringLiteral("Targets"), QStringLiteral("Listed"),
                     QStringLiteral("Failing lists")};
    table.columnWidths = {260, 90, 150, 150, 70, 70, 260};
    for (const Watch& watch : watches) {
        SnapshotRow row;
        row.hasChildren = !watch.listed.isEmpty() || !watch.problem.isEmpty();
        SnapshotCell name = cell(watch.name);
        name.bold = true;
        SnapshotCell status = cell(watch.running                ? QStringLiteral("scanning")
                                       : watch.status.isEmpty() ? QStringLiteral("not yet scanned")
                                                                : watch.status);
        status.background = statusBackground(watch.status);
        status.bold = !watch.status.isEmpty();
        row.cells = {name,
                     status,
                     cell(when(watch.lastScan)),
                     cell(when(watch.nextScan)),
                     cell(watch.lastScan.isValid() ? QString::number(watch.targets) : QString()),
                     cell(watch.lastScan.isValid() ? QString::number(watch.listed.size()) : QString()),
                     cell(watch.failingLists.join(QStringLiteral(", ")))};
        table.rows.push_back(std::move(row));
        if (!watch.problem.isEmpty()) {
            SnapshotRow problem;
            problem.level = 1;
            SnapshotCell text = cell(watch.problem);
            text.color = QColor(0x84, 0x20, 0x29);
            problem.cells = {text};
            table.rows.push_back(std::move(problem));
        }
        for (const QString& listed : watch.listed) {
            SnapshotRow line;
            line.level = 1;
            SnapshotCell text = cell(listed);
            text.color = QColor(0x84, 0x20, 0x29);
            line.cells = {text, cell(QStringLiteral("listed"))};
            table.rows.push_back(std::move(line));
        }
    }
    ExportLayout layout;
    layout.title = QStringLiteral("Blacklist watch status");
    layout.subTitle = watches.empty() ? QStringLiteral("No scheduled watches (--watch FILE); probes only")
                                      : QStringLiteral("%1 scheduled watches").arg(watches.size());
    layout.paragraph =
        QStringLiteral("Serving since %1; %2 probe scans. Metrics: /metrics; a probe: /probe?target=192.0.2.1")
            .arg(when(started))
            .arg(probeScans);
    layout.programName = QStringLiteral("quarlo-check");
    layout.programVersion = version;
    return HtmlTableWriter::Html(table, layout);
}

} // namespace quarlo
