#pragma once

#include "model/ScanObservation.h"

#include <QDateTime>

namespace quarlo {

// One entry of a target's timeline: the scan at which a list's outcome for
// it became what observation says (it stayed so until the next entry for
// the same list).
struct HistoryEvent {
    QDateTime when; // the scan's start, UTC
    ScanObservation observation;
};

} // namespace quarlo
