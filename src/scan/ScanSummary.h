#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QtGlobal>

namespace quarlo {

// What a whole scan met on its way, for the messages the user gets once per
// scan rather than once per address.
struct ScanSummary {
    QDateTime started;                    // when the scan started (UTC)
    int answered = 0;                     // host, blacklist and test queries that got an answer, "not found" included
    int failed = 0;                       // queries that got no usable answer
    QMap<QString, QString> refusingZones; // zone -> the operator's reason
    // Queries given up because no reply at all came for longer than their
    // tries could take: the DNS path stalled. They count as failed.
    int abandoned = 0;
    int stalledForMs = 0; // the silence that gave them up

    // Something was asked and nothing at all came back.
    bool NoDnsAnswered() const { return answered == 0 && failed > 0; }
};

// English in logs; the window reads it back into the user's language
// (ui/ShownText).
inline constexpr const char* kStallText =
    QT_TRANSLATE_NOOP("quarlo::EngineText",
                      "No DNS reply came for %1 s; %2 queries were given up as unanswered and "
                      "their targets are not completely checked");

// The user's one line about a stalled DNS path; empty when none stalled.
inline QString StallWarning(const ScanSummary& summary)
{
    if (summary.abandoned <= 0) return {};
    return QString::fromUtf8(kStallText).arg((summary.stalledForMs + 999) / 1000).arg(summary.abandoned);
};

} // namespace quarlo
