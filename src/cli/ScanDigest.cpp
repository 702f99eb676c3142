#include "cli/ScanDigest.h"

#include "cli/PrometheusWriter.h"

#include <QHash>
#include <QTextStream>

namespace quarlo {

void ScanDigest::add(const ScanObservation& seen)
{
    List& list = lists_[seen.zone];
    list.name = seen.listName;
    if (ScanObservation::IsFailing(seen.outcome)) ++list.failures;
    if (seen.outcome == ScanObservation::Outcome::Listed) {
        // A listing whose answer carried no code still counts as one.
        answers_.push_back({seen.target, seen.zone, seen.codes.isEmpty() ? QStringList{QString()} : seen.codes});
        return;
    }
    if (allAnswers_ && seen.outcome == ScanObservation::Outcome::NotListed)
        answers_.push_back({seen.target, seen.zone, {}});
}

QByteArray ScanDigest::probeMetrics(bool success, double seconds) const
{
    QString text;
    QTextStream out(&text);
    auto header = [&](const char* name, const char* help) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
    };
    auto label = [](const QString& value) { return PrometheusWriter::LabelValue(value); };
    header("quarlo_listed",
           "1 per answer code when the list lists the target; 0 (no code) when it answered that it does not.");
    for (const Answer& answer : answers_) {
        const QString prefix = QStringLiteral("quarlo_listed{target=\"") + label(answer.target)
            + QStringLiteral("\",list=\"") + label(answer.zone) + QStringLiteral("\",code=\"");
        if (answer.codes.isEmpty()) out << prefix << "\"} 0\n";
        for (const QString& code : answer.codes) out << prefix << label(code) << "\"} 1\n";
    }
    header("quarlo_list_up", "1 when the list gave a usable answer for every target of the probe, else 0.");
    for (auto it = lists_.cbegin(); it != lists_.cend(); ++it)
        out << "quarlo_list_up{list=\"" << label(it.key()) << "\",name=\"" << label(it->name) << "\"} "
            << (it->failures == 0 ? 1 : 0) << '\n';
    header("quarlo_probe_success", "1 when every target was checked completely by every list, else 0.");
    out << "quarlo_probe_success " << (success ? 1 : 0) << '\n';
    header("quarlo_probe_duration_seconds", "How long the probe's scan took.");
    out << "quarlo_probe_duration_seconds " << QString::number(seconds, 'f', 3) << '\n';
    out.flush();
    return text.toUtf8();
}

QStringList ScanDigest::listedTargets() const
{
    QStringList order;
    QHash<QString, QStringList> zones;
    for (const Answer& answer : answers_) {
        if (answer.codes.isEmpty()) continue;
        QStringList& of = zones[answer.target];
        if (of.isEmpty()) order << answer.target;
        if (!of.contains(answer.zone)) of << answer.zone;
    }
    QStringList lines;
    for (const QString& target : order) {
        const QStringList& of = zones.value(target);
        lines << QStringLiteral("%1 on %2 (%3)")
                     .arg(target, of.size() == 1 ? QStringLiteral("1 list") : QStringLiteral("%1 lists").arg(of.size()),
                          of.join(QStringLiteral(", ")));
    }
    return lines;
}

QStringList ScanDigest::failingLists() const
{
    QStringList lines;
    for (auto it = lists_.cbegin(); it != lists_.cend(); ++it)
        if (it->failures > 0)
            lines << QStringLiteral("%1 (%2)").arg(it.key(),
                                                   it->failures == 1 ? QStringLiteral("1 target")
                                                                     : QStringLiteral("%1 targets").arg(it->failures));
    return lines;
}

} // namespace quarlo
