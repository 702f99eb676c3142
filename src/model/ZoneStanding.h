#pragma once

#include "model/ScanObservation.h"

#include <QDateTime>

namespace quarlo {

// Where a target stands with one list after the latest scan that asked it:
// "listed since <answerSince> by <listName>", or "not listed since ...".
struct ZoneStanding {
    ScanObservation latest; // the latest outcome (may be a failure)
    QDateTime latestSince;  // since when the latest outcome holds
    // The list's latest real answer (listed or not) and since when it holds,
    // across failures in between; answerSince is invalid when it never answered.
    ScanObservation::Outcome answer = ScanObservation::Outcome::NotListed;
    QDateTime answerSince;
    QDateTime delistedOn; // the latest scan at which it went from listed to not listed; invalid if never
};

} // namespace quarlo
