#include "cli/PrometheusWriter.h"

#include "common/BidiControls.h"

#include <QMap>
#include <QTextStream>
#include <algorithm>

namespace quarlo {

QString PrometheusWriter::LabelValue(const QString& text)
{
    QString value;
    value.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            value += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || IsBidiControl(c.unicode()))
            value += QLatin1Char('?');
        else
            value += c;
    }
    return value;
}

QByteArray PrometheusWriter::Write(const WatchReport& report, const Observations& observations)
{
    QString text;
    QTextStream out(&text);
    const ScanRecord& record = report.record();
    // Every series names its watch, so the textfiles of several watches can
    // share one collector folder without clashing.
    const QString watch = QStringLiteral("watch=\"") + LabelValue(report.watch()) + QLatin1Char('"');
    auto header = [&](const char* name, const char* help) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
    };
    auto single = [&](const char* name, const char* help, const QString& value) {
        header(name, help);
        out << name << '{' << watch << "} " << value << '\n';
    };

    header("quarlo_listed", "1 when the list lists the target in the last scan, 0 when it answered that it does not.");
    struct List {
        QString name;
        int failures = 0;
    };
    QMap<QString, List> lists; // zone -> its name and the targets it gave no usable answer for
    observations([&](const ScanObservation& seen) {
        List& list = lists[seen.zone];
        list.name = seen.listName;
        if (ScanObservation::IsFailing(seen.outcome)) ++list.failures;
        if (!ScanObservation::IsAnswer(seen.outcome)) return;
        out << "quarlo_listed{" << watch << ",target=\"" << LabelValue(seen.target) << "\",zone=\""
            << LabelValue(seen.zone) << "\"} " << (seen.outcome == ScanObservation::Outcome::Listed ? 1 : 0) << '\n';
    });
    header("quarlo_list_failures",
           "Targets the list gave no usable answer for in the last scan (failed, refused or skipped).");
    for (auto it = lists.cbegin(); it != lists.cend(); ++it)
        out << "quarlo_list_failures{" << watch << ",zone=\"" << LabelValue(it.key()) << "\"} " << it->failures << '\n';
    header("quarlo_list_up", "1 when the list gave a usable answer for every target in the last scan, else 0.");
    for (auto it = lists.cbegin(); it != lists.cend(); ++it)
        out << "quarlo_list_up{" << watch << ",zone=\"" << LabelValue(it.key()) << "\",list=\"" << LabelValue(it->name)
            << "\"} " << (it->failures == 0 ? 1 : 0) << '\n';
    single("quarlo_targets", "Targets in the last scan.", QString::number(record.targets));
    single("quarlo_targets_listed", "Targets listed by at least one list in the last scan.",
           QString::number(report.listedTargets()));
    single("quarlo_last_scan_timestamp_seconds", "When the last scan started, in seconds since the epoch.",
           QString::number(record.started.isValid() ? record.started.toSecsSinceEpoch() : 0));
    const double seconds = record.started.isValid() && record.finished.isValid()
        ? std::max<qint64>(0, record.started.msecsTo(record.finished)) / 1000.0
        : 0.0;
    single("quarlo_scan_duration_seconds", "How long the last scan took.", QString::number(seconds, 'f', 3));
    if (report.status() != WatchReport::Unknown)
        single("quarlo_last_success_timestamp_seconds",
               "When the last scan that checked every target completely started, in seconds since the epoch.",
               QString::number(record.started.isValid() ? record.started.toSecsSinceEpoch() : 0));
    single("quarlo_status", "The watch verdict: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.",
           QString::number(int(report.status())));
    single("quarlo_history_written", "1 when the last scan was recorded in the history.",
           QString::number(report.history().written ? 1 : 0));
    single("quarlo_changes", "Changes the last scan found against the history.",
           QString::number(report.changes().size()));
    out.flush();
    return text.toUtf8();
}

} // namespace quarlo
