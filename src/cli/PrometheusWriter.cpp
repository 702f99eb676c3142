#include "cli/PrometheusWriter.h"

#include "common/BidiControls.h"

#include <QMap>
#include <QTextStream>

namespace quarlo {

QString PrometheusWriter::LabelValue(const QString& text)
{
    QString value;
    value.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('\\')) value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"')) value += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n')) value += QStringLiteral("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || IsBidiControl(c.unicode())) value += QLatin1Char('?');
        else value += c;
    }
    return value;
}

QByteArray PrometheusWriter::Write(const WatchReport& report, const Observations& observations)
{
    QString text;
    QTextStream out(&text);
    const ScanRecord& record = report.record();
    auto header = [&](const char* name, const char* help) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
    };

    header("quarlo_listed", "1 when the list lists the target in the last scan, 0 when it answered that it does not.");
    QMap<QString, int> failures; // zone -> targets without a usable answer
    observations([&](const ScanObservation& seen) {
        if (ScanObservation::IsFailing(seen.outcome)) ++failures[seen.zone];
        else failures[seen.zone] += 0;
        if (!ScanObservation::IsAnswer(seen.outcome)) return;
        out << "quarlo_listed{target=\"" << LabelValue(seen.target) << "\",zone=\"" << LabelValue(seen.zone) << "\"} "
            << (seen.outcome == ScanObservation::Outcome::Listed ? 1 : 0) << '\n';
    });
    header("quarlo_list_failures", "Targets the list gave no usable answer for in the last scan (failed, refused or skipped).");
    for (auto it = failures.cbegin(); it != failures.cend(); ++it)
        out << "quarlo_list_failures{zone=\"" << LabelValue(it.key()) << "\"} " << it.value() << '\n';
    header("quarlo_targets", "Targets in the last scan.");
    out << "quarlo_targets " << record.targets << '\n';
    header("quarlo_targets_listed", "Targets listed by at least one list in the last scan.");
    out << "quarlo_targets_listed " << report.listedTargets() << '\n';
    header("quarlo_last_scan_timestamp_seconds", "When the last scan started, in seconds since the epoch.");
    out << "quarlo_last_scan_timestamp_seconds " << (record.started.isValid() ? record.started.toSecsSinceEpoch() : 0) << '\n';
    header("quarlo_status", "The watch verdict: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.");
    out << "quarlo_status " << int(report.status()) << '\n';
    header("quarlo_history_written", "1 when the last scan was recorded in the history.");
    out << "quarlo_history_written " << (report.history().written ? 1 : 0) << '\n';
    header("quarlo_changes", "Changes the last scan found against the history.");
    out << "quarlo_changes " << report.changes().size() << '\n';
    out.flush();
    return text.toUtf8();
}

} // namespace quarlo
