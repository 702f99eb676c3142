#include "cli/HistoryCsvWriter.h"

#include "cli/PrintableText.h"
#include "common/FormulaGuard.h"

namespace quarlo {
namespace {

// Control characters become "?" so no field spans lines; a field with a
// comma or quote is quoted. A leading formula sign is defused for
// spreadsheets, since TXT texts come from strangers.
QString field(const QString& text)
{
    QString value = FormulaGuarded(Printable(text));
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"'))) return value;
    value.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

QString HistoryCsvWriter::Write(const std::vector<HistoryEvent>& events)
{
    QString out = QStringLiteral("time,target,zone,list,outcome,codes,reasons,txt,link,detail\n");
    for (const HistoryEvent& event : events) {
        const ScanObservation& seen = event.observation;
        const QStringList fields{event.when.toUTC().toString(Qt::ISODate),
                                 seen.target,
                                 seen.zone,
                                 seen.listName,
                                 ScanObservation::Keyword(seen.outcome),
                                 seen.codes.join(QLatin1Char(' ')),
                                 seen.reasons.join(QStringLiteral("; ")),
                                 seen.txt.join(QStringLiteral(" | ")),
                                 seen.link,
                                 seen.detail};
        QStringList row;
        for (const QString& f : fields) row.append(field(f));
        out += row.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

} // namespace quarlo
