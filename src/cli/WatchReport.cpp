#include "cli/WatchReport.h"

#include "cli/PrintableText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace quarlo {
namespace {

QString timeText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}
QString isoTime(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

QString listText(const QString& name, const QString& zone)
{
    if (name.isEmpty() || name == zone) return Printable(zone);
    return Printable(name) + QStringLiteral(" (") + Printable(zone) + QLatin1Char(')');
}

QString plural(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// "127.0.0.2 Spam source; TXT "..."; delisting: URL"
QString listingDetail(const QStringList& codes, const QStringList& reasons, const QStringList& txt, const QString& link)
{
    QStringList parts;
    QStringList answers;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const QString reason = i < reasons.size() ? reasons[i] : QString();
        answers.append(reason.isEmpty() ? Printable(codes[i])
                                        : Printable(codes[i]) + QLatin1Char(' ') + Printable(reason));
    }
    if (!answers.isEmpty()) parts.append(answers.join(QStringLiteral(", ")));
    for (const QString& text : txt) parts.append(QStringLiteral("TXT \"") + Printable(text) + QLatin1Char('"'));
    if (!link.isEmpty()) parts.append(QStringLiteral("delisting: ") + Printable(link));
    return parts.join(QStringLiteral("; "));
}

QJsonObject changeJson(const HistoryChange& change)
{
    QJsonObject object{{QStringLiteral("change"), HistoryChange::Keyword(change.kind)},
                       {QStringLiteral("zone"), change.zone},
                       {QStringLiteral("list"), change.listName}};
    switch (change.kind) {
    case HistoryChange::Kind::Listed:
        object.insert(QStringLiteral("target"), change.target);
        object.insert(QStringLiteral("codes"), QJsonArray::fromStringList(change.codes));
        object.insert(QStringLiteral("reasons"), QJsonArray::fromStringList(change.reasons));
        object.insert(QStringLiteral("txt"), QJsonArray::fromStringList(change.txt));
        object.insert(QStringLiteral("link"), change.link);
        break;
    case HistoryChange::Kind::Delisted:
        object.insert(QStringLiteral("target"), change.target);
        object.insert(QStringLiteral("listedSince"), isoTime(change.since));
        break;
    case HistoryChange::Kind::Failing:
        object.insert(QStringLiteral("targets"), change.targets);
        object.insert(QStringLiteral("reason"), change.detail);
        object.insert(QStringLiteral("stillListed"), QJsonArray::fromStringList(change.stillListed));
        break;
    case HistoryChange::Kind::Recovered:
        object.insert(QStringLiteral("targets"), change.targets);
        object.insert(QStringLiteral("failingSince"), isoTime(change.since));
        break;
    }
    return object;
}

} // namespace

WatchReport::WatchReport(ScanRecord scan, const std::vector<CheckTarget>& targets, int warning, int critical)
    : record_(std::move(scan)), warning_(warning), critical_(critical)
{
    record_.observations.clear();
    for (const CheckTarget& target : targets) {
        const TargetStatus status = target.status();
        if (status != TargetStatus::Listed && status != TargetStatus::Clean) incomplete_ = true;
    }
}

void WatchReport::add(const ScanObservation& observation)
{
    const QString zone = observation.zone.toCaseFolded();
    if (observation.outcome != ScanObservation::Outcome::NotApplicable) zones_.insert(zone);
    if (ScanObservation::IsFailing(observation.outcome)) failingZones_.insert(zone);
    if (observation.outcome != ScanObservation::Outcome::Listed) return;
    record_.observations.push_back(observation);
    const QString key = observation.target.toCaseFolded();
    if (!listsPerTarget_.contains(key)) listedOrder_.append(observation.target);
    zonesPerTarget_[key].append(observation.zone);
    const int lists = ++listsPerTarget_[key];
    listedTargets_ = static_cast<int>(listsPerTarget_.size());
    mostLists_ = std::max(mostLists_, lists);
}

void WatchReport::finish(std::vector<HistoryChange> changes, History history)
{
    changes_ = std::move(changes);
    history_ = std::move(history);
    if (mostLists_ > 0 && mostLists_ >= critical_)
        status_ = Critical;
    else if (history_.locked)
        status_ = Unknown;
    else if (mostLists_ > 0 && mostLists_ >= warning_)
        status_ = Warning;
    else if (incomplete_)
        status_ = Unknown;
    else
        status_ = Ok;
}

QString WatchReport::StatusWord(Status status)
{
    switch (status) {
    case Ok: return QStringLiteral("OK");
    case Warning: return QStringLiteral("WARNING");
    case Critical: return QStringLiteral("CRITICAL");
    case Unknown: return QStringLiteral("UNKNOWN");
    }
    return QString();
}

QString WatchReport::summaryLine() const
{
    QString line =
        QStringLiteral("%1 of %2 listed").arg(listedTargets_).arg(plural(record_.targets, "target", "targets"));
    if (mostLists_ > 0) line += QStringLiteral(" (on up to %1)").arg(plural(mostLists_, "list", "lists"));
    if (incomplete_) line += QStringLiteral(", some not completely checked");
    if (!history_.written) return line + QStringLiteral("; history not written");
    if (!history_.previousScan.isValid()) return line + QStringLiteral("; first recorded scan");
    return line
        + QStringLiteral("; %1 since %2")
              .arg(plural(static_cast<int>(changes_.size()), "change", "changes"), timeText(history_.previousScan));
}

QString WatchReport::listedNames() const
{
    QStringList parts;
    for (qsizetype i = 0; i < listedOrder_.size() && i < kNamedTargets; ++i) {
        const QString key = listedOrder_[i].toCaseFolded();
        parts << Printable(listedOrder_[i]) + QStringLiteral(" on ")
                + plural(listsPerTarget_.value(key), "list", "lists") + QStringLiteral(" (")
                + Printable(zonesPerTarget_.value(key).join(QStringLiteral(", "))) + QLatin1Char(')');
    }
    if (listedOrder_.size() > kNamedTargets)
        parts << QStringLiteral("%1 more").arg(listedOrder_.size() - kNamedTargets);
    return parts.join(QStringLiteral(", "));
}

QString WatchReport::perfData() const
{
    const double seconds = record_.started.isValid() && record_.finished.isValid()
        ? std::max<qint64>(0, record_.started.msecsTo(record_.finished)) / 1000.0
        : 0.0;
    const int lists = static_cast<int>(zones_.size());
    return QStringLiteral(
               "most_lists=%1;%2;%3;0;%4 listed=%5;;;0;%6 targets=%6 lists_ok=%7 lists_failed=%8 duration=%9s")
        .arg(mostLists_)
        .arg(warning_)
        .arg(critical_)
        .arg(lists)
        .arg(listedTargets_)
        .arg(record_.targets)
        .arg(lists - static_cast<int>(failingZones_.size()))
        .arg(failingZones_.size())
        .arg(QString::number(seconds, 'f', 1));
}

QString WatchReport::StartupFailure(const QString& message)
{
    return QStringLiteral("QUARLO UNKNOWN - ") + Printable(message) + QLatin1Char('\n');
}

QString WatchReport::subject() const
{
    return QStringLiteral("Quarlo %1 - %2").arg(StatusWord(status_), summaryLine());
}

QString WatchReport::text() const
{
    const QString names = listedNames();
    QString out = QStringLiteral("QUARLO %1 - %2%3 | %4\n")
                      .arg(StatusWord(status_), summaryLine(),
                           names.isEmpty() ? QString() : QStringLiteral("; listed: ") + names, perfData());
    // Long output: every listing as it stands now.
    for (const ScanObservation& seen : record_.observations) {
        const QString detail = listingDetail(seen.codes, seen.reasons, seen.txt, seen.link);
        out += Printable(seen.target) + QStringLiteral(" on ") + listText(seen.listName, seen.zone)
            + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail) + QLatin1Char('\n');
    }
    auto section = [&](HistoryChange::Kind kind, const QString& title, auto&& line) {
        bool first = true;
        for (const HistoryChange& change : changes_) {
            if (change.kind != kind) continue;
            if (first) out += title + QStringLiteral(":\n");
            first = false;
            out += QStringLiteral("  ") + line(change) + QLatin1Char('\n');
        }
    };
    section(HistoryChange::Kind::Listed, QStringLiteral("Newly listed"), [](const HistoryChange& c) {
        const QString detail = listingDetail(c.codes, c.reasons, c.txt, c.link);
        return Printable(c.target) + QStringLiteral(" on ") + listText(c.listName, c.zone)
            + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    });
    section(HistoryChange::Kind::Delisted, QStringLiteral("Delisted"), [](const HistoryChange& c) {
        return Printable(c.target) + QStringLiteral(" from ") + listText(c.listName, c.zone)
            + (c.since.isValid() ? QStringLiteral(" (listed since ") + timeText(c.since) + QLatin1Char(')')
                                 : QString());
    });
    section(HistoryChange::Kind::Failing, QStringLiteral("Lists failing"), [](const HistoryChange& c) {
        return listText(c.listName, c.zone) + QStringLiteral(" for ") + plural(c.targets, "target", "targets")
            + (c.detail.isEmpty() ? QString() : QStringLiteral(": ") + Printable(c.detail))
            + (c.stillListed.isEmpty() ? QString()
                                       : QStringLiteral("; still listed as far as we know (it did not answer): ")
                       + Printable(c.stillListed.join(QStringLiteral(", "))));
    });
    section(HistoryChange::Kind::Recovered, QStringLiteral("Lists recovered"), [](const HistoryChange& c) {
        return listText(c.listName, c.zone) + QStringLiteral(" answers again for ")
            + plural(c.targets, "target", "targets")
            + (c.since.isValid() ? QStringLiteral(" (failing since ") + timeText(c.since) + QLatin1Char(')')
                                 : QString());
    });
    // Without the history nothing could be compared: the listings above are all there is.
    if (!history_.written) out += QStringLiteral("History not written: ") + history_.error + QLatin1Char('\n');
    return out;
}

QByteArray WatchReport::json() const
{
    QJsonArray changes;
    for (const HistoryChange& change : changes_) changes.append(changeJson(change));
    QJsonObject root{
        {QStringLiteral("status"), StatusWord(status_)},
        {QStringLiteral("exitStatus"), int(status_)},
        {QStringLiteral("scan"),
         QJsonObject{{QStringLiteral("started"), isoTime(record_.started)},
                     {QStringLiteral("listFile"), record_.listFile},
                     {QStringLiteral("targets"), record_.targets},
                     {QStringLiteral("listedTargets"), listedTargets_},
                     {QStringLiteral("mostLists"), mostLists_},
                     {QStringLiteral("incomplete"), incomplete_}}},
        {QStringLiteral("history"),
         QJsonObject{{QStringLiteral("written"), history_.written},
                     {QStringLiteral("path"), history_.path},
                     {QStringLiteral("error"), history_.error},
                     {QStringLiteral("previousScan"), isoTime(history_.previousScan)}}},
        {QStringLiteral("changes"), changes},
    };
    root.insert(QStringLiteral("perfData"), perfData());
    {
        QJsonArray listed;
        for (const ScanObservation& seen : record_.observations) {
            if (seen.outcome != ScanObservation::Outcome::Listed) continue;
            listed.append(QJsonObject{{QStringLiteral("target"), seen.target},
                                      {QStringLiteral("zone"), seen.zone},
                                      {QStringLiteral("list"), seen.listName},
                                      {QStringLiteral("codes"), QJsonArray::fromStringList(seen.codes)},
                                      {QStringLiteral("reasons"), QJsonArray::fromStringList(seen.reasons)},
                                      {QStringLiteral("txt"), QJsonArray::fromStringList(seen.txt)},
                                      {QStringLiteral("link"), seen.link}});
        }
        root.insert(QStringLiteral("listed"), listed);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace quarlo
