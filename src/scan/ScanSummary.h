#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

namespace quarlo {

// What a whole scan met on its way, for the messages the user gets once per
// scan rather than once per address.
struct ScanSummary {
    QDateTime started;           // when the scan started (UTC)
    int answered = 0; // host, blacklist and test queries that got an answer, "not found" included
    int failed = 0;   // queries that got no usable answer
    QMap<QString, QString> refusingZones; // zone -> the operator's reason

    // Something was asked and nothing at all came back.
    bool NoDnsAnswered() const { return answered == 0 && failed > 0; }
};

} // namespace quarlo
