#pragma once

#include "storage/HistoryStore.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

// What a finished scan hands the history, built in one expression.

// One list's outcome for one target, with the details a listing or a
// failure carries.
inline quarlo::ScanObservation seen(const QString& target, const QString& zone,
                                    quarlo::ScanObservation::Outcome outcome, const QStringList& codes = {})
{
    quarlo::ScanObservation o;
    o.target = target;
    o.zone = zone;
    o.listName = zone.toUpper();
    o.outcome = outcome;
    o.codes = codes;
    for (const QString& code : codes) o.reasons.append(QStringLiteral("reason ") + code);
    if (outcome == quarlo::ScanObservation::Outcome::Listed)
        o.txt = {QStringLiteral("listed, see http://") + zone + QStringLiteral("/")};
    if (quarlo::ScanObservation::IsFailing(outcome)) o.detail = QStringLiteral("timed out");
    o.link = QStringLiteral("http://") + zone + QStringLiteral("/remove");
    return o;
}

// A scan started at started that took 30 seconds.
inline quarlo::ScanRecord scanRecord(const QDateTime& started, std::vector<quarlo::ScanObservation> observations)
{
    quarlo::ScanRecord r;
    r.started = started;
    r.finished = started.addSecs(30);
    r.source = QStringLiteral("test");
    r.listFile = QStringLiteral("/lists/servers.BlackList");
    r.observations = std::move(observations);
    r.targets = static_cast<int>(r.observations.size());
    return r;
}
