#include "ui/HistoryTips.h"

#include "storage/HistoryStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace quarlo {
namespace {

// A tooltip must never hang the grid behind a writer: reads in WAL mode
// seldom wait at all, and when they would, the tooltip goes without.
constexpr int kTipBusyMs = 100;

} // namespace

HistoryTips::HistoryTips(const QString& path) : path_(path) {}
HistoryTips::~HistoryTips() = default;

void HistoryTips::setPath(const QString& path)
{
    if (path == path_) return;
    path_ = path;
    store_.reset();
    cache_.clear();
}

void HistoryTips::Clear()
{
    cache_.clear();
    // A file that was missing or damaged may be usable after a record.
    if (store_ && !store_->IsOpen()) store_.reset();
}

bool HistoryTips::open()
{
    if (store_) return store_->IsOpen();
    store_ = std::make_unique<HistoryStore>();
    store_->setBusyTimeoutMs(kTipBusyMs);
    // Opening read-only never creates the file; a missing one is no error here.
    if (path_.isEmpty() || !QFileInfo::exists(path_)) return false;
    return store_->Open(path_, true);
}

QString HistoryTips::Lines(const QString& target)
{
    const QString key = target.toCaseFolded();
    if (auto it = cache_.constFind(key); it != cache_.constEnd()) return *it;
    QString text;
    std::vector<ZoneStanding> standing;
    if (open() && store_->Standing(target, &standing)) text = Text(standing);
    cache_.insert(key, text);
    return text;
}

QString HistoryTips::DateText(const QDateTime& when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString HistoryTips::Text(const std::vector<ZoneStanding>& standing)
{
    std::vector<const ZoneStanding*> listed, delisted;
    for (const ZoneStanding& zone : standing) {
        if (zone.answer == ScanObservation::Outcome::Listed && zone.answerSince.isValid())
            listed.push_back(&zone);
        else if (zone.answer == ScanObservation::Outcome::NotListed && zone.delistedOn.isValid())
            delisted.push_back(&zone);
    }
    std::stable_sort(listed.begin(), listed.end(),
                     [](const ZoneStanding* a, const ZoneStanding* b) { return a->answerSince < b->answerSince; });
    std::stable_sort(delisted.begin(), delisted.end(),
                     [](const ZoneStanding* a, const ZoneStanding* b) { return a->delistedOn > b->delistedOn; });
    QStringList lines;
    const auto name = [](const ZoneStanding* zone) {
        return zone->latest.listName.isEmpty() ? zone->latest.zone : zone->latest.listName;
    };
    for (const ZoneStanding* zone : listed)
        lines << QCoreApplication::translate("quarlo::HistoryTips", "Listed since %1 by %2")
                     .arg(DateText(zone->answerSince), name(zone));
    for (const ZoneStanding* zone : delisted)
        lines << QCoreApplication::translate("quarlo::HistoryTips", "Delisted on %1 by %2")
                     .arg(DateText(zone->delistedOn), name(zone));
    return lines.join(QLatin1Char('\n'));
}

} // namespace quarlo
