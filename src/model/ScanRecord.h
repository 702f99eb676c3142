#pragma once

#include "model/ScanObservation.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace quarlo {

// One completed scan as the history records it.
struct ScanRecord {
    QDateTime started;  // UTC
    QDateTime finished; // UTC
    QString listFile;   // the .BlackList file scanned; empty when none
    QString source;     // "cli", "window", "automation"
    int targets = 0;    // entries scanned, observed or not
    std::vector<ScanObservation> observations;
};

} // namespace quarlo
